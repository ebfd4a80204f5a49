#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_in_folder.h"
#include "platform/posix/file_write_calls.h"
#include "platform/posix/folder_files.h"
#include "platform/trusted_path.h"

namespace korvax {

struct PrivateFolder::Opened {
    explicit Opened(int fd) : folder(fd) {}
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() { ::close(folder); }
    int folder;
};

namespace {

std::string Named(const std::string& folder, const std::string& name) {
    return folder + (folder.ends_with('/') ? "" : "/") + name;
}

}  // namespace

PrivateFolder::PrivateFolder(const std::string& path) : path_(path) {
    // Root writing originals where another user's link points, or into a folder another
    // user can reach, would hand that user root's writes.
    std::string resolved;
    try {
        resolved = RequireTrusted(path, TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing);
    } catch (const NotTrusted& failure) {
        throw FolderRefused("The backup folder is refused. " + std::string(failure.what()));
    } catch (const Failure&) {
        throw FolderRefused("Cannot make the backup folder " + path + ": the folder above it cannot be reached");
    }
    if (::mkdir(resolved.c_str(), 0700) != 0 && errno != EEXIST) {
        throw FolderRefused("Cannot make the backup folder " + path + ": " + std::strerror(errno));
    }
    const int fd = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw FolderRefused("Cannot open the backup folder " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw FolderRefused("The backup folder " + path + " is no folder");
    }
    // Checked on the folder that was opened, which every later step goes through.
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        throw FolderRefused("The backup folder " + path +
                            " can be written by other users: use a folder of your own with mode 0700");
    }
    folder_ = std::make_unique<Opened>(fd);
}

PrivateFolder::~PrivateFolder() = default;

bool PrivateFolder::CreateNewFile(const std::string& name, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    return CreateFileAt(folder_->folder, name, bytes, 0600, calls, Named(path_, name));
}

void PrivateFolder::AppendLine(const std::string& name, std::string_view line, FileWriteCalls& calls) {
    const std::string path = Named(path_, name);
    std::string text(line);
    text += '\n';
    std::lock_guard lock(appending_);
    const int fd = calls.OpenAt(folder_->folder, name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw CannotCreateFile(path);
    // A line cut short by an earlier failure (a full disk) may stand at the end, without
    // its line end: this line starts on a fresh one, or both would be lost to the reader.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd, &info) == 0 && info.st_size > 0 && ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') {
        text.insert(text.begin(), '\n');
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = calls.Write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A part of the line may stand at the end now; the reader passes over a last
            // line without its line end, and the next line starts on a fresh one.
            if (done > 0) calls.Write(fd, "\n", 1);
            calls.Close(fd);
            throw StreamWriteError();
        }
        done += static_cast<std::size_t>(n);
    }
    const bool flushed = calls.Fsync(fd) == 0;
    const bool closed = calls.Close(fd) == 0;
    if (!flushed || !closed) throw StreamWriteError();
}

bool PrivateFolder::Remove(const std::string& name) {
    if (::unlinkat(folder_->folder, name.c_str(), 0) == 0) return true;
    if (errno == ENOENT) return false;
    throw CannotCreateFile(Named(path_, name));
}

std::vector<std::uint8_t> PrivateFolder::Read(const std::string& name, bool missingIsEmpty) const {
    const int fd = ::openat(folder_->folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (missingIsEmpty && errno == ENOENT) return {};
        throw CannotOpenFile(Named(path_, name));
    }
    struct stat info {};
    std::vector<std::uint8_t> bytes;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw CannotOpenFile(Named(path_, name));
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t used = 0;
    while (used < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + used, bytes.size() - used, static_cast<off_t>(used));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(used);
    return bytes;
}

}  // namespace korvax
