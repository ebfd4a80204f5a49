#pragma once
// Text for a console window: the program writes UTF-8, a console takes UTF-16 through its
// wide interface. Bytes arrive in pieces, and a piece may end inside a character; that
// part waits for the rest. Only src/platform/win32/ and the platform's tests include this.

#include <string>

namespace korvax::win32 {

// Takes from `pending` every byte up to the last whole character (a sequence cut at the
// end stays there) and returns it as UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring TakeConsoleText(std::string& pending);

}  // namespace korvax::win32
