#include "platform/file_in_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/posix/file_write_calls.h"
#include "platform/posix/folder_files.h"

namespace korvax {
namespace {

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now through `calls` and says whether the close succeeded (it may report a
    // late write error on some file systems). The descriptor is gone either way.
    bool close(FileWriteCalls& calls) { return calls.Close(release()) == 0; }

private:
    int fd_;
};

// Removes a temporary name from its folder unless the rename has taken it over.
class TemporaryName {
public:
    explicit TemporaryName(int folder) : folder_(folder) {}
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName() {
        if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
    }
    void take(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }
    bool held() const { return !name_.empty(); }
    void release() { name_.clear(); }

private:
    int folder_;
    std::string name_;
};

struct SplitPath {
    std::string folder;
    std::string name;
};

SplitPath Split(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    if (slash == 0) return {"/", path.substr(1)};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// Opens `folder` as a directory without following any symbolic link on the way. The
// kernel does it in one step where it can (openat2 with RESOLVE_NO_SYMLINKS); elsewhere
// the path is walked one folder at a time, each opened with O_NOFOLLOW.
int OpenFolderWithoutLinks(const std::string& folder) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, folder.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != ENOSYS && errno != EPERM && errno != E2BIG) return -1;

    Descriptor current(::open(folder.starts_with('/') ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid()) return -1;
    std::size_t start = 0;
    while (start < folder.size()) {
        std::size_t end = folder.find('/', start);
        if (end == std::string::npos) end = folder.size();
        const std::string component = folder.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        const int next = ::openat(current.get(), component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return -1;
        current.reset(next);
    }
    return current.release();
}

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

// Failures that only say the process may not (or the file system cannot) carry an
// attribute or an owner over: the replacement goes on without it.
bool MayNotSet(int error) {
    return error == EPERM || error == EACCES || error == ENOTSUP || error == EOPNOTSUPP;
}

// Copies every extended attribute of `from` to `to` (POSIX ACLs are attributes too).
// Returns false when one could not be read or written for another reason than lacking
// the right to it: the replacement would silently lose it.
bool CopyAttributes(int from, int to, FileWriteCalls& calls) {
    std::vector<char> names;
    for (;;) {
        const ssize_t size = ::flistxattr(from, nullptr, 0);
        if (size < 0) return MayNotSet(errno);
        if (size == 0) return true;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) return MayNotSet(errno);  // grew meanwhile: ask again
    }
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        at += std::char_traits<char>::length(name) + 1;
        ssize_t size = 0;
        for (;;) {
            size = ::fgetxattr(from, name, nullptr, 0);
            if (size < 0) break;
            value.resize(static_cast<std::size_t>(size));
            size = ::fgetxattr(from, name, value.data(), value.size());
            if (size >= 0 || errno != ERANGE) break;
        }
        if (size < 0) {
            if (errno == ENODATA) continue;  // removed meanwhile
            if (MayNotSet(errno)) continue;
            return false;
        }
        if (calls.Fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0 && !MayNotSet(errno)) {
            return false;
        }
    }
    return true;
}

// A temporary name beside `name`, recognisable as ours and short enough for any file
// system, even beside a name of the longest length.
std::string TemporaryNameFor(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    return "." + name.substr(0, 200) + ".korvax-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// The replacement's descriptor, made in `folder`: unnamed where the file system allows,
// else under a temporary name that `temporary` then holds. -1 when neither can be made.
int CreateReplacement(int folder, const std::string& name, mode_t mode, FileWriteCalls& calls,
                      TemporaryName& temporary) {
    const int unnamed = calls.OpenAt(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (unnamed >= 0) return unnamed;
    // Only a file system without unnamed files falls back; any other failure is one.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = TemporaryNameFor(name);
        const int fd = calls.OpenAt(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                    mode);
        if (fd >= 0) {
            temporary.take(std::move(candidate));
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Gives the unnamed file `fd` the name `to` in `folder`: through /proc where it is
// mounted, else by its descriptor (which needs privileges). Fails with EEXIST when the
// name is taken: a link never replaces anything.
bool LinkUnnamed(int fd, int folder, const char* to, FileWriteCalls& calls) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (calls.LinkAt(AT_FDCWD, self.c_str(), folder, to, AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != ENOENT) return false;
    return calls.LinkAt(fd, "", folder, to, AT_EMPTY_PATH) == 0;
}

// Gives an unnamed replacement a temporary name in `folder`, so that it can be renamed
// over the file.
bool NameReplacement(int fd, int folder, const std::string& name, FileWriteCalls& calls, TemporaryName& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = TemporaryNameFor(name);
        if (LinkUnnamed(fd, folder, candidate.c_str(), calls)) {
            temporary.take(std::move(candidate));
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// Makes a finished rename durable; a failure here can no longer undo the replacement,
// so it is not reported.
void FlushFolder(int folder) { ::fsync(folder); }

OwnerNotKept OwnerAndGroupNotKept(const std::string& path, std::uint32_t owner, std::uint32_t group) {
    return OwnerNotKept(path, "its owner and group (uid " + std::to_string(owner) + ", gid " + std::to_string(group) +
                                  ") cannot be kept by this user, and a file never changes hands: nothing was written");
}

}  // namespace

struct FileInFolder::Opened {
    Opened(int folderFd, int fileFd, std::string fileName) : folder(folderFd), file(fileFd), name(std::move(fileName)) {}
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() {
        ::close(file);
        ::close(folder);
    }
    int folder;
    int file;          // the file as read: the source of its metadata
    std::string name;  // the last component
};

FileInFolder::FileInFolder(const std::string& path, LinkPolicy policy, FileWriteCalls& calls)
    : path_(path), calls_(calls) {
    std::string resolved = path;
    if (policy == LinkPolicy::ResolveOnce) {
        char buffer[PATH_MAX];
        if (::realpath(path.c_str(), buffer) == nullptr) throw CannotOpenFile(path);
        resolved = buffer;
    }
    SplitPath parts = Split(resolved);
    if (parts.name.empty() || parts.name == "." || parts.name == "..") throw CannotOpenFile(path);

    Descriptor folder(OpenFolderWithoutLinks(parts.folder));
    if (!folder.valid()) {
        if (errno == ELOOP) throw FileChangedDuringCheck(path);
        throw CannotOpenFile(path);
    }
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    Descriptor file(::openat(folder.get(), parts.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ELOOP) throw FileChangedDuringCheck(path);
        throw CannotOpenFile(path);
    }
    struct stat original {};
    if (::fstat(file.get(), &original) != 0 || !S_ISREG(original.st_mode)) throw CannotOpenFile(path);
    struct stat folderInfo {};
    if (::fstat(folder.get(), &folderInfo) != 0) throw CannotOpenFile(path);
    place_ = {static_cast<std::uint64_t>(folderInfo.st_dev), static_cast<std::uint64_t>(folderInfo.st_ino), parts.name};
    ownership_ = {static_cast<std::uint32_t>(original.st_uid), static_cast<std::uint32_t>(original.st_gid),
                  static_cast<std::uint32_t>(original.st_mode & 07777)};
    openedSize_ = static_cast<std::int64_t>(original.st_size);
    device_ = static_cast<std::uint64_t>(original.st_dev);
    inode_ = static_cast<std::uint64_t>(original.st_ino);
    opened_ = std::make_unique<Opened>(folder.get(), file.get(), std::move(parts.name));
    folder.release();
    file.release();
}

FileInFolder::~FileInFolder() = default;

std::vector<std::uint8_t> FileInFolder::ReadAll(std::int64_t maxSize) {
    const int file = opened_->file;
    struct stat info {};
    if (::fstat(file, &info) != 0 || info.st_size > maxSize) throw CannotOpenFile(path_);
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        throw CannotOpenFile(path_);
    }
    // The file may change between fstat and the reads; read until the end of file, never
    // past `maxSize`. The buffer grows only once a byte beyond it is known to exist: growing it
    // first would copy every file once more only to find its end where fstat said.
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            std::uint8_t probe = 0;
            const ssize_t n = ::pread(file, &probe, 1, static_cast<off_t>(used));
            if (n == 0) break;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || static_cast<std::int64_t>(used) >= maxSize) throw CannotOpenFile(path_);
            try {
                bytes.resize(std::min<std::size_t>(static_cast<std::size_t>(maxSize), bytes.size() + 65536));
            } catch (const std::bad_alloc&) {
                throw CannotOpenFile(path_);
            }
            bytes[used++] = probe;
            continue;
        }
        const ssize_t n = ::pread(file, bytes.data() + used, bytes.size() - used, static_cast<off_t>(used));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw CannotOpenFile(path_);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

void FileInFolder::Replace(std::span<const std::uint8_t> bytes) { Replace(bytes, ownership_); }

void FileInFolder::Replace(std::span<const std::uint8_t> bytes, const FileOwnership& as) {
    FileWriteCalls& calls = calls_;
    const int folder = opened_->folder;
    const int file = opened_->file;
    const std::string& name = opened_->name;
    if ((ownership_.mode & S_IWUSR) == 0) throw CannotCreateFile(path_);
    if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0) throw CannotCreateFile(path_);

    TemporaryName temporary(folder);
    Descriptor fd(CreateReplacement(folder, name, 0600, calls, temporary));
    if (!fd.valid()) throw CannotCreateFile(path_);
    if (!WriteAll(calls, fd.get(), bytes)) throw StreamWriteError();
    // Owner first: changing the owner clears set-id bits and file capabilities, which the
    // mode and the attributes then restore. A replacement that stayed ours would make the
    // file ours: set-user-ID to us, its ACL and its mode now keeping its owner out. So a
    // file whose owner and group we may not give it is not written; and the owner it got
    // is looked at, for a file system that says yes to a change it does not make.
    if (calls.Fchown(fd.get(), static_cast<uid_t>(as.owner), static_cast<gid_t>(as.group)) != 0) {
        if (errno == EPERM) throw OwnerAndGroupNotKept(path_, as.owner, as.group);
        throw CannotCreateFile(path_);
    }
    struct stat owned {};
    if (::fstat(fd.get(), &owned) != 0) throw CannotCreateFile(path_);
    if (owned.st_uid != as.owner || owned.st_gid != as.group) throw OwnerAndGroupNotKept(path_, as.owner, as.group);
    if (calls.Fchmod(fd.get(), static_cast<mode_t>(as.mode & 07777)) != 0) throw CannotCreateFile(path_);
    if (!CopyAttributes(file, fd.get(), calls)) throw CannotCreateFile(path_);
    if (calls.Fsync(fd.get()) != 0) throw StreamWriteError();
    struct stat replacement {};
    if (::fstat(fd.get(), &replacement) != 0) throw StreamWriteError();
    // The replacement is closed before it gets a name, so that a close that reports a
    // late write error still stops it. An unnamed one is kept reachable meanwhile by a
    // path-only descriptor, which is what gives it its name below.
    const bool unnamed = !temporary.held();
    Descriptor reference;
    if (unnamed) {
        reference.reset(::open(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), O_PATH | O_CLOEXEC));
        // Without /proc, only the open descriptor can name it: named first, closed then.
        if (!reference.valid() && !NameReplacement(fd.get(), folder, name, calls, temporary)) {
            throw CannotCreateFile(path_);
        }
    }
    if (!fd.close(calls)) throw StreamWriteError();

    // The last look before the rename: the name must still be the file that was read.
    // (A swap after this look only replaces whatever entry then stands there: a rename
    // never writes through a link.)
    struct stat now {};
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(now.st_mode) ||
        now.st_dev != device_ || now.st_ino != inode_) {
        throw FileChangedDuringCheck(path_);
    }
    // An unnamed replacement has a name only from here to the rename, two system calls
    // apart: the one moment a kill can leave it behind.
    if (reference.valid() && !NameReplacement(reference.get(), folder, name, calls, temporary)) {
        throw CannotCreateFile(path_);
    }
    if (calls.RenameAt(folder, temporary.name().c_str(), folder, name.c_str()) != 0) {
        throw CannotCreateFile(path_);
    }
    temporary.release();
    FlushFolder(folder);
    device_ = static_cast<std::uint64_t>(replacement.st_dev);
    inode_ = static_cast<std::uint64_t>(replacement.st_ino);
}

std::string LinkFreeFolderPath(const std::string& folder) {
    Descriptor opened(OpenFolderWithoutLinks(folder));
    if (opened.valid() || errno != ELOOP) return folder;
    char buffer[PATH_MAX];
    if (::realpath(folder.c_str(), buffer) == nullptr) return folder;
    std::string resolved(buffer);
    if (resolved.back() != '/') resolved += '/';
    return resolved;
}

std::string LinkFreeFilePath(const std::string& path) {
    const SplitPath parts = Split(path);
    const std::string folder = parts.folder.ends_with('/') ? parts.folder : parts.folder + "/";
    struct stat info {};
    if (LinkFreeFolderPath(folder) == folder && ::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        return path;
    }
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) return path;
    return buffer;
}

bool IsAbsolutePath(const std::string& path) { return path.starts_with('/'); }

std::string AbsolutePath(const std::string& path) {
    std::string joined = path;
    if (!path.starts_with('/')) {
        char buffer[PATH_MAX];
        if (::getcwd(buffer, sizeof buffer) == nullptr) throw CannotOpenFile(path);
        joined = std::string(buffer) + "/" + path;
    }
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        std::string component = joined.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (!components.empty()) components.pop_back();
            continue;
        }
        components.push_back(std::move(component));
    }
    std::string absolute;
    for (const std::string& component : components) absolute += "/" + component;
    return absolute.empty() ? "/" : absolute;
}

bool CreateFileAt(int folder, const std::string& name, std::span<const std::uint8_t> bytes, mode_t mode,
                  FileWriteCalls& calls, const std::string& path) {
    TemporaryName temporary(folder);
    Descriptor fd(CreateReplacement(folder, name, mode, calls, temporary));
    if (!fd.valid()) throw CannotCreateFile(path);
    if (!WriteAll(calls, fd.get(), bytes)) throw StreamWriteError();
    if (calls.Fsync(fd.get()) != 0) throw StreamWriteError();
    // The file gets its name by a link, never a rename: a file that appeared meanwhile is
    // never replaced.
    if (temporary.held()) {
        if (!fd.close(calls)) throw StreamWriteError();
        if (calls.LinkAt(folder, temporary.name().c_str(), folder, name.c_str(), 0) != 0) {
            if (errno == EEXIST) return false;
            throw CannotCreateFile(path);
        }
        // The temporary name goes with `temporary`; the file stays under its own.
    } else {
        Descriptor reference(::open(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), O_PATH | O_CLOEXEC));
        if (reference.valid()) {
            if (!fd.close(calls)) throw StreamWriteError();
            if (!LinkUnnamed(reference.get(), folder, name.c_str(), calls)) {
                if (errno == EEXIST) return false;
                throw CannotCreateFile(path);
            }
        } else {
            if (!LinkUnnamed(fd.get(), folder, name.c_str(), calls)) {
                if (errno == EEXIST) return false;
                throw CannotCreateFile(path);
            }
            if (!fd.close(calls)) {
                ::unlinkat(folder, name.c_str(), 0);
                throw StreamWriteError();
            }
        }
    }
    FlushFolder(folder);
    return true;
}

void CreateFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    const SplitPath parts = Split(path);
    if (parts.name.empty()) throw CannotCreateFile(path);
    Descriptor folder(::open(parts.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) throw CannotCreateFile(path);
    if (!CreateFileAt(folder.get(), parts.name, bytes, 0666, calls, path)) throw CannotCreateFile(path);
}

}  // namespace korvax
