#include "platform/posix/file_write_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korvax {

int FileWriteCalls::OpenAt(int folder, const char* name, int flags, mode_t mode) {
    return ::openat(folder, name, flags, mode);
}

ssize_t FileWriteCalls::Write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int FileWriteCalls::Fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }

int FileWriteCalls::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int FileWriteCalls::Fsetxattr(int fd, const char* name, const void* value, std::size_t size, int flags) {
    return ::fsetxattr(fd, name, value, size, flags);
}

int FileWriteCalls::Fsync(int fd) { return ::fsync(fd); }

int FileWriteCalls::Close(int fd) { return ::close(fd); }

int FileWriteCalls::LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    return ::linkat(fromFolder, from, toFolder, to, flags);
}

int FileWriteCalls::RenameAt(int fromFolder, const char* from, int toFolder, const char* to) {
    return ::renameat(fromFolder, from, toFolder, to);
}

FileWriteCalls& SystemFileWriteCalls() {
    static FileWriteCalls calls;
    return calls;
}

namespace {

int ErrorOf(WriteFault fault) {
    switch (fault) {
        case WriteFault::DiskFull: return ENOSPC;
        case WriteFault::ReadOnlyDisk: return EROFS;
        case WriteFault::NotPermitted: return EPERM;
        case WriteFault::IoError: return EIO;
    }
    return EIO;
}

// The system's calls, each step failing as the plan says. Creating is any open that may
// make a file; naming a finished file (a link or a rename) is the rename step.
class PlannedCalls : public FileWriteCalls {
public:
    explicit PlannedCalls(InjectedWriteFaults::Plan& plan) : plan_(plan) {}

    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
        if (creates && fails(WriteStep::Create)) return -1;
        return FileWriteCalls::OpenAt(folder, name, flags, mode);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        if (fails(WriteStep::Write)) return -1;
        if (plan_.diskSpace) {
            if (*plan_.diskSpace <= 0) return refuse(ENOSPC);
            size = std::min<std::size_t>(size, static_cast<std::size_t>(*plan_.diskSpace));
        }
        const ssize_t written = FileWriteCalls::Write(fd, data, size);
        if (written > 0 && plan_.diskSpace) *plan_.diskSpace -= written;
        return written;
    }
    int Fchown(int fd, uid_t owner, gid_t group) override {
        return fails(WriteStep::Owner) ? -1 : FileWriteCalls::Fchown(fd, owner, group);
    }
    int Fsync(int fd) override { return fails(WriteStep::Flush) ? -1 : FileWriteCalls::Fsync(fd); }
    int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        return fails(WriteStep::Rename) ? -1 : FileWriteCalls::LinkAt(fromFolder, from, toFolder, to, flags);
    }
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to) override {
        return fails(WriteStep::Rename) ? -1 : FileWriteCalls::RenameAt(fromFolder, from, toFolder, to);
    }

private:
    bool fails(WriteStep step) {
        const auto fault = plan_.next(step);
        if (!fault) return false;
        errno = ErrorOf(*fault);
        return true;
    }
    static int refuse(int error) {
        errno = error;
        return -1;
    }

    InjectedWriteFaults::Plan& plan_;
};

}  // namespace

InjectedWriteFaults::InjectedWriteFaults() : calls_(std::make_unique<PlannedCalls>(plan_)) {}

InjectedWriteFaults::~InjectedWriteFaults() = default;

}  // namespace korvax
