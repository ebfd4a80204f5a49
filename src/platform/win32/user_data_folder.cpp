#include "platform/user_data_folder.h"

#include <windows.h>

#include "platform/win32/system_path.h"

namespace korvax {

std::string UserDataFolder() {
    // The user's local application data, which Windows keeps per user and never roams.
    wchar_t buffer[32768];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer)) return {};
    return win32::ProgramText(buffer, length) + "\\Korvax";
}

}  // namespace korvax
