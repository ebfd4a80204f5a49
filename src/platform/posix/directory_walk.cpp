#include "platform/directory_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvax {

struct DirectoryListing::Folder {
    explicit Folder(DIR* opened) : dir(opened) {}
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { ::closedir(dir); }

    DIR* dir;
};

namespace {

std::unique_ptr<DirectoryListing::Folder> OpenListing(int fd) {
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<DirectoryListing::Folder>(dir);
}

}  // namespace

DirectoryListing::DirectoryListing(const std::string& folder)
    : folder_(OpenListing(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))) {}

DirectoryListing::DirectoryListing(const DirectoryListing& parent, const std::string& name) {
    if (parent.folder_ == nullptr) return;
    folder_ = OpenListing(::openat(::dirfd(parent.folder_->dir), name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
