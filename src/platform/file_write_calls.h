#pragma once
// The system calls by which a file's contents are replaced, behind one interface, so that
// tests can make any step fail the way a failing or full disk does (a write that stops
// after N bytes, a flush that reports EIO) and check that nothing is lost.
//
// Each call has the contract of the POSIX call it is named after: a result below 0 is a
// failure with errno set. The system's calls are used unless a caller passes others.
//
// Thread safety: SystemFileWriteCalls() has no state and may be used from any thread.

#include <sys/types.h>

#include <cstddef>

namespace korvax {

class FileWriteCalls {
public:
    virtual ~FileWriteCalls() = default;
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual int Fchown(int fd, uid_t owner, gid_t group);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Fsync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
};

FileWriteCalls& SystemFileWriteCalls();

}  // namespace korvax
