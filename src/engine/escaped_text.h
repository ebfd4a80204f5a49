#pragma once
// Text that must stay one unambiguous line: file paths and virus names in the rows and
// messages the terminal tools print. File names are whatever bytes the file system holds
// (a newline, a tab, an escape sequence, bytes that are not UTF-8), so anything that could
// break a line, move the cursor or be misread is written as a C-style escape:
//
//   \\        a backslash
//   \t \n \r  tab, line feed, carriage return
//   \xHH      (two uppercase hex digits) any other control byte 0x00-0x1F and 0x7F, each
//             byte of a C1 control U+0080-U+009F (\xC2\x80 to \xC2\x9F), and every byte
//             that is not part of well-formed UTF-8
//
// Everything else, valid UTF-8 without controls or backslash, stands as it is, so an
// ordinary name prints unchanged. The escaped text holds no tab, so a tab still separates
// a row's columns. UnescapeText gives the original bytes back.
//
// Pure functions; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace korvax {

std::string EscapeText(std::string_view bytes);

// The bytes EscapeText was given. Empty optional when `text` is not escaped text: a
// backslash at the end, or followed by anything but \, t, n, r or x and two hex digits
// (either case).
std::optional<std::string> UnescapeText(std::string_view text);

}  // namespace korvax
