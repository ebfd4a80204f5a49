#include "platform/win32/console_text.h"

#include <windows.h>

namespace korvax::win32 {

std::wstring TakeConsoleText(std::string& pending) {
    // How many bytes at the end may begin a character that is still to come: at most the
    // three of a four-byte sequence, counted back from the end to its lead byte.
    std::size_t whole = pending.size();
    for (std::size_t back = 1; back <= 3 && back <= pending.size(); ++back) {
        const auto byte = static_cast<unsigned char>(pending[pending.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF8 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) whole = pending.size() - back;
        break;
    }
    std::wstring text;
    if (whole > 0) {
        // Without MB_ERR_INVALID_CHARS, what is no UTF-8 comes out as U+FFFD.
        const int units = ::MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), nullptr, 0);
        text.resize(static_cast<std::size_t>(units));
        ::MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), text.data(), units);
    }
    pending.erase(0, whole);
    return text;
}

}  // namespace korvax::win32
