#include "platform/make_folders.h"

#include <windows.h>

#include "platform/win32/system_path.h"

namespace korvax {

bool MakeFolder(const std::string& folder) {
    const auto wide = win32::SystemPath(folder);
    if (!wide) return false;
    if (::CreateDirectoryW(wide->c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace korvax
