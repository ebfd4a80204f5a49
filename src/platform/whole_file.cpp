#include "platform/whole_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/failure.h"
#include "platform/file_write_calls.h"

namespace korvax {
namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now through `calls` and reports whether the close itself succeeded (it may
    // report a late write error on some file systems).
    bool close(FileWriteCalls& calls) {
        const int fd = fd_;
        fd_ = -1;
        return calls.Close(fd) == 0;
    }

private:
    int fd_;
};

// Removes the temporary file unless the rename has taken it over.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

bool WriteAll(FileWriteCalls& calls, int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = calls.Write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the rename itself durable; a failure here cannot undo the replacement any more,
// so it is not reported.
void FlushFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::int64_t maxSize) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) throw CannotOpenFile(path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) throw CannotOpenFile(path);
    if (info.st_size > maxSize) throw CannotOpenFile(path);

    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        throw CannotOpenFile(path);
    }
    // The file may change between fstat and the reads; read until the end of file, never
    // past `maxSize`.
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (static_cast<std::int64_t>(used) >= maxSize) {
                std::uint8_t probe = 0;
                const ssize_t n = ::read(fd.get(), &probe, 1);
                if (n == 0) break;
                if (n < 0 && errno == EINTR) continue;
                throw CannotOpenFile(path);
            }
            const std::size_t grown =
                std::min<std::size_t>(static_cast<std::size_t>(maxSize), bytes.size() + 65536);
            bytes.resize(grown);
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw CannotOpenFile(path);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

namespace {

// Makes a new, empty temporary file beside `target`, named after it so that a leftover is
// recognisable. `mode` as for open(2): the umask applies.
FileDescriptor CreateTemporaryBeside(FileWriteCalls& calls, const std::string& target, mode_t mode,
                                     std::string& temporaryPath) {
    const std::string stem = FolderOf(target) + "/." + NameOf(target) + ".korvax-" + std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = stem + std::to_string(counter.fetch_add(1));
        const int fd = calls.Open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) return FileDescriptor(fd);
        if (errno != EEXIST) break;
    }
    return FileDescriptor(-1);
}

// Writes `bytes` into the temporary file, gives it the original's owner and permission
// bits (when there was an original), flushes it and renames it over `target`.
void CommitTemporary(FileWriteCalls& calls, FileDescriptor& fd, TemporaryFile& temporary,
                     std::span<const std::uint8_t> bytes, const std::string& target, const struct stat* original,
                     const std::string& path) {
    if (!WriteAll(calls, fd.get(), bytes)) throw StreamWriteError();
    if (original != nullptr) {
        // Owner first: changing the owner may clear set-id bits, which the mode then
        // restores. Only a privileged process may give a file away; elsewhere the new
        // file stays ours, which is not worth failing the write for.
        if (calls.Fchown(fd.get(), original->st_uid, original->st_gid) != 0) {
        }
        if (calls.Fchmod(fd.get(), original->st_mode & 07777) != 0) throw CannotCreateFile(path);
    }
    if (calls.Fsync(fd.get()) != 0) throw StreamWriteError();
    if (!fd.close(calls)) throw StreamWriteError();
    if (calls.Rename(temporary.path().c_str(), target.c_str()) != 0) throw CannotCreateFile(path);
    temporary.release();
    FlushFolder(FolderOf(target));
}

}  // namespace

void ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    // Resolve links first: the file that changes is the link's target, and the link stays.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) throw CannotCreateFile(path);
    const std::string target(resolved);

    struct stat info {};
    if (::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) throw CannotCreateFile(path);
    if ((info.st_mode & S_IWUSR) == 0) throw CannotCreateFile(path);
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) throw CannotCreateFile(path);

    std::string temporaryPath;
    FileDescriptor fd = CreateTemporaryBeside(calls, target, 0600, temporaryPath);
    if (!fd.valid()) throw CannotCreateFile(path);
    TemporaryFile temporary(temporaryPath);
    CommitTemporary(calls, fd, temporary, bytes, target, &info, path);
}

void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        ReplaceFileContents(path, bytes, calls);
        return;
    }
    std::string temporaryPath;
    FileDescriptor fd = CreateTemporaryBeside(calls, path, 0666, temporaryPath);
    if (!fd.valid()) throw CannotCreateFile(path);
    TemporaryFile temporary(temporaryPath);
    CommitTemporary(calls, fd, temporary, bytes, path, nullptr, path);
}

}  // namespace korvax
