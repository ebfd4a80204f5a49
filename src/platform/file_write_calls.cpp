#include "platform/file_write_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>

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

}  // namespace korvax
