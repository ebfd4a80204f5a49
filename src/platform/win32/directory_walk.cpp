#include "platform/directory_walk.h"

#include <windows.h>

#include "platform/win32/found_entry.h"
#include "platform/win32/system_path.h"

namespace korvax {

using win32::OwnedHandle;

// The folder is held open, without delete sharing, for as long as it is listed: nobody can
// rename or remove it meanwhile, nor any folder above it that a walk holds, so the name
// the search uses keeps meaning the folder that was checked.
struct DirectoryListing::Folder {
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
        if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    }

    std::string path;  // WTF-8, ending with a backslash
    OwnedHandle pinned;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found{};
    bool foundPending = false;
};

namespace {

std::string WithSeparator(std::string path) {
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
    return path;
}

// Opens the folder at `path` for listing. With `refuseReparse`, a folder that carries a
// reparse point (link, junction, mount point, or anything else) yields no listing.
std::unique_ptr<DirectoryListing::Folder> OpenFolder(const std::string& path, bool refuseReparse) {
    auto folder = std::make_unique<DirectoryListing::Folder>();
    folder->path = WithSeparator(path);
    const auto wide = win32::SystemPath(folder->path);
    if (!wide) return nullptr;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (refuseReparse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    folder->pinned = OwnedHandle(::CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                                               nullptr));
    if (!folder->pinned.valid()) return nullptr;
    // The attributes alone: a volume's serial number, which GetFileInformationByHandle also
    // asks for, is slow to read on some systems (Wine), and a walk opens every folder.
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(folder->pinned.get(), FileBasicInfo, &info, sizeof info)) return nullptr;
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return nullptr;
    if (refuseReparse && (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return nullptr;
    const auto pattern = win32::SystemPath(folder->path + "*");
    if (!pattern) return nullptr;
    // Every entry, hidden and system ones included: the search has no attribute filter.
    folder->search = ::FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &folder->found, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH);
    folder->foundPending = folder->search != INVALID_HANDLE_VALUE;
    return folder;
}

}  // namespace

NamedEntry LookAtNamedPath(const std::string& path) {
    NamedEntry entry;
    const auto wide = win32::SystemPath(path);
    if (!wide) {
        entry.failure = win32::SystemMessage(ERROR_INVALID_NAME);
        return entry;
    }
    // Opened for its attributes only, following links (the user means what a link names),
    // and never a device: a path that names one is no file.
    const win32::OwnedHandle handle(::CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        entry.failure = win32::SystemMessage(::GetLastError());
        return entry;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle.get(), &info)) {
        entry.kind = EntryKind::Other;
        return entry;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        entry.kind = EntryKind::Directory;
    } else {
        entry.kind = EntryKind::RegularFile;
        entry.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                               info.nFileSizeLow);
    }
    return entry;
}

bool EntryExists(const std::string& path) {
    const auto wide = win32::SystemPath(path);
    return wide && ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

DirectoryListing::DirectoryListing(const std::string& folder) : folder_(OpenFolder(folder, false)) {
    if (folder_ == nullptr) openFailure_ = win32::SystemMessage(::GetLastError());
}

DirectoryListing::DirectoryListing(const DirectoryListing& parent, const std::string& name) {
    if (parent.folder_ == nullptr) {
        openFailure_ = parent.openFailure_;
        return;
    }
    folder_ = OpenFolder(parent.folder_->path + name, true);
    if (folder_ == nullptr) openFailure_ = win32::SystemMessage(::GetLastError());
}

DirectoryListing::~DirectoryListing() = default;

std::optional<DirectoryEntry> DirectoryListing::next() {
    if (folder_ == nullptr || folder_->search == INVALID_HANDLE_VALUE) return std::nullopt;
    if (!folder_->foundPending && !::FindNextFileW(folder_->search, &folder_->found)) return std::nullopt;
    folder_->foundPending = false;
    const WIN32_FIND_DATAW& found = folder_->found;
    DirectoryEntry entry;
    entry.name = win32::ProgramText(found.cFileName, ::wcsnlen(found.cFileName, MAX_PATH));
    if (entry.name == "." || entry.name == "..") {
        entry.kind = EntryKind::Directory;
        return entry;
    }
    entry.kind = win32::KindOfFoundEntry(found.dwFileAttributes, found.dwReserved0);
    if (entry.kind == EntryKind::RegularFile) {
        entry.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                                               found.nFileSizeLow);
    }
    return entry;
}

}  // namespace korvax
