#include "platform/directory_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvax {

struct DirectoryListing::Folder {
    explicit Folder(DIR* opened) : dir(opened) {}
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { ::closedir(dir); }

    DIR* dir;
};

namespace {

// The listing of the folder open at `fd`; null, with the system's reason in `failure`,
// when it could not be opened.
std::unique_ptr<DirectoryListing::Folder> OpenListing(int fd, std::string& failure) {
    if (fd >= 0) {
        if (DIR* dir = ::fdopendir(fd)) return std::make_unique<DirectoryListing::Folder>(dir);
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    failure = std::strerror(errno);
    return nullptr;
}

}  // namespace

NamedEntry LookAtNamedPath(const std::string& path) {
    NamedEntry entry;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        entry.failure = std::strerror(errno);
        return entry;
    }
    if (S_ISDIR(info.st_mode)) {
        entry.kind = EntryKind::Directory;
    } else if (S_ISREG(info.st_mode)) {
        entry.kind = EntryKind::RegularFile;
        entry.size = info.st_size;
    } else {
        entry.kind = EntryKind::Other;
    }
    return entry;
}

bool EntryExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

DirectoryListing::DirectoryListing(const std::string& folder) {
    folder_ = OpenListing(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), openFailure_);
}

DirectoryListing::DirectoryListing(const DirectoryListing& parent, const std::string& name) {
    if (parent.folder_ == nullptr) {
        openFailure_ = parent.openFailure_;
        return;
    }
    folder_ = OpenListing(::openat(::dirfd(parent.folder_->dir), name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                          openFailure_);
}

DirectoryListing::~DirectoryListing() = default;

std::optional<DirectoryEntry> DirectoryListing::next() {
    if (folder_ == nullptr) return std::nullopt;
    const dirent* raw = ::readdir(folder_->dir);
    if (raw == nullptr) return std::nullopt;
    DirectoryEntry entry;
    entry.name = raw->d_name;
    if (entry.name == "." || entry.name == "..") {
        entry.kind = EntryKind::Directory;
        return entry;
    }
    struct stat info {};
    if (::fstatat(::dirfd(folder_->dir), raw->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.kind = EntryKind::Unknown;
        return entry;
    }
    if (S_ISDIR(info.st_mode)) {
        entry.kind = EntryKind::Directory;
    } else if (S_ISREG(info.st_mode)) {
        entry.kind = EntryKind::RegularFile;
        entry.size = info.st_size;
    } else if (S_ISLNK(info.st_mode)) {
        entry.kind = EntryKind::SymbolicLink;
    } else {
        entry.kind = EntryKind::Other;
    }
    return entry;
}

}  // namespace korvax
