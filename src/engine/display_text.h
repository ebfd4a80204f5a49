#pragma once
// Turning stored text bytes into text a screen or terminal can show. Virus names are bytes
// from the database: names written by today's tools are UTF-8, older ones are Windows-1251.

#include <string>
#include <string_view>

namespace korvax {

// `bytes` unchanged when they are valid UTF-8; otherwise each byte decoded from
// Windows-1251 into UTF-8. The one byte that code page leaves undefined, 0x98, becomes
// U+0098 so that nothing is lost.
std::string DisplayText(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

}  // namespace korvax
