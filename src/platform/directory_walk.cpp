#include "platform/directory_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvax {

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

DirectoryListing::DirectoryListing(const std::string& folder) {
    open(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

DirectoryListing::DirectoryListing(const DirectoryListing& parent, const std::string& name) {
    if (parent.dir_ == nullptr) {
        openFailure_ = parent.openFailure_;
        return;
    }
    open(::openat(::dirfd(static_cast<DIR*>(parent.dir_)), name.c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

void DirectoryListing::open(int fd) {
    if (fd >= 0) {
        dir_ = ::fdopendir(fd);
        if (dir_ != nullptr) return;
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    openFailure_ = std::strerror(errno);
}

DirectoryListing::~DirectoryListing() {
    if (dir_ != nullptr) ::closedir(static_cast<DIR*>(dir_));
}

std::optional<DirectoryEntry> DirectoryListing::next() {
    if (dir_ == nullptr) return std::nullopt;
    const dirent* raw = ::readdir(static_cast<DIR*>(dir_));
    if (raw == nullptr) return std::nullopt;
    DirectoryEntry entry;
    entry.name = raw->d_name;
    if (entry.name == "." || entry.name == "..") {
        entry.kind = EntryKind::Directory;
        return entry;
    }
    struct stat info {};
    if (::fstatat(::dirfd(static_cast<DIR*>(dir_)), raw->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
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
