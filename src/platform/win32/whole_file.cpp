#include "platform/whole_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/system_info.h"
#include "platform/win32/system_path.h"

namespace korvax {
namespace {

// Another program that holds a file open (a scanner, an indexer, a backup) often lets go
// within milliseconds: ask again a few times before reporting the file unreadable.
constexpr int kBusyRetries = 5;
constexpr std::int64_t kBusyPauseMilliseconds = 20;

win32::OwnedHandle OpenForReading(const std::wstring& path) {
    for (int attempt = 0;; ++attempt) {
        win32::OwnedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file.valid()) return file;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt == kBusyRetries) return file;
        SleepMilliseconds(kBusyPauseMilliseconds);
    }
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::int64_t maxSize) {
    const auto wide = win32::SystemPath(path);
    if (!wide) throw CannotOpenFile(path);
    const win32::OwnedHandle file = OpenForReading(*wide);
    if (!file.valid()) throw CannotOpenFile(path);
    // A pipe, a console or a device named like a file is never read from.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) throw CannotOpenFile(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw CannotOpenFile(path);
    }
    const auto size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                                info.nFileSizeLow);
    if (size > maxSize) throw CannotOpenFile(path);
    // Read to the end, not to the size: the file may have grown since.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (static_cast<std::int64_t>(bytes.size()) > maxSize) throw CannotOpenFile(path);
            bytes.resize(std::min<std::size_t>(bytes.size() * 2, static_cast<std::size_t>(maxSize) + 1));
        }
        const std::size_t room = std::min<std::size_t>(bytes.size() - filled, 1U << 30);
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(room), &got, nullptr)) {
            throw CannotOpenFile(path);
        }
        if (got == 0) break;
        filled += got;
    }
    if (static_cast<std::int64_t>(filled) > maxSize) throw CannotOpenFile(path);
    bytes.resize(filled);
    return bytes;
}

void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    if (EntryExists(path)) {
        ReplaceFileContents(path, bytes, calls);
        return;
    }
    CreateFileWhole(path, bytes, calls);
}

}  // namespace korvax
