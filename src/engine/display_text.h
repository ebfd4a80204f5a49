#pragma once
// Turning stored text bytes into text a screen or terminal can show. Virus names are bytes
// from the database: names written by today's tools are UTF-8, older ones are Windows-1251.

#include <cstddef>
#include <string>
#include <string_view>

namespace korvax {

// `bytes` unchanged when they are valid UTF-8; otherwise each byte decoded from
// Windows-1251 into UTF-8. The one byte that code page leaves undefined, 0x98, becomes
// U+0098 so that nothing is lost.
// One exception: a text of exactly 99 bytes (layout::kMaxShownName, where a long virus name
// is cut for its status text) that is UTF-8 but for a character cut off at its very end is
// a UTF-8 name cut inside a character: it is shown without that partial character.
std::string DisplayText(std::string_view bytes);

// DisplayText on one line: its control characters and backslashes escaped as
// EscapeText does (engine/escaped_text.h), so that a name read from a database or a file
// system shows every character and never breaks a line or a list row.
std::string DisplayLine(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// The length of the well-formed UTF-8 sequence that begins at bytes[at] (1 for an ASCII
// byte), or 0 when none begins there: a stray continuation byte, a cut sequence, an
// overlong form, a surrogate or a code point past U+10FFFF. `at` < bytes.size().
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at);

}  // namespace korvax
