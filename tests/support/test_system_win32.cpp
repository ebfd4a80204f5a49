#include <windows.h>

#include <cstdlib>

#include "platform/wide_text.h"
#include "test_system.h"

namespace korvax::test {
namespace {

std::wstring Wide(const std::string& text) {
    const auto units = WideFromUtf8(text);
    return units ? std::wstring(units->begin(), units->end()) : std::wstring();
}

}  // namespace

// Through the C runtime, which keeps a copy of its own for getenv and passes it on to the
// programs a test starts; SetEnvironmentVariableW alone would change the system's only.
void SetEnvironment(const std::string& name, const std::string& value) {
    ::_wputenv_s(Wide(name).c_str(), Wide(value).c_str());
}

void UnsetEnvironment(const std::string& name) { ::_wputenv_s(Wide(name).c_str(), L""); }

bool MakeFifo(const std::string& /*path*/) { return false; }

bool MakeSymbolicLink(const std::string& target, const std::string& link) {
    const DWORD targetAttributes = ::GetFileAttributesW(Wide(target).c_str());
    const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                        (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY)
                             ? SYMBOLIC_LINK_FLAG_DIRECTORY
                             : 0);
    if (!::CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(), flags)) return false;
    const DWORD attributes = ::GetFileAttributesW(Wide(link).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::pair<std::uint64_t, std::uint64_t> IdentityOf(const std::string& path) {
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {0, 0};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known) return {0, 0};
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::uint32_t KeptModeOf(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    // Those a replacement carries; how the file is stored is the file system's business.
    return attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_READONLY);
}

void SetKeptMode(const std::string& path, std::uint32_t mode) {
    ::SetFileAttributesW(Wide(path).c_str(), mode != 0 ? mode : FILE_ATTRIBUTE_NORMAL);
}

const std::uint32_t kKeptMode = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
const std::uint32_t kOtherMode = FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::pair<std::uint32_t, std::uint32_t> UserIds() { return {0, 0}; }

}  // namespace korvax::test
