#include "platform/file_write_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace korvax {

int FileWriteCalls::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

ssize_t FileWriteCalls::Write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int FileWriteCalls::Fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }

int FileWriteCalls::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int FileWriteCalls::Fsync(int fd) { return ::fsync(fd); }

int FileWriteCalls::Close(int fd) { return ::close(fd); }

int FileWriteCalls::Rename(const char* from, const char* to) { return std::rename(from, to); }

FileWriteCalls& SystemFileWriteCalls() {
    static FileWriteCalls calls;
    return calls;
}

}  // namespace korvax
