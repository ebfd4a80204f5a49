#pragma once
// The system calls by which a file is created or its contents replaced, behind one
// interface, so that tests can make any step fail the way a failing or full disk does (a
// write that stops after N bytes, a flush or a rename that reports EIO) and check that
// nothing is lost and nothing is left behind.
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
    // Creating the replacement: an unnamed file (O_TMPFILE) or a named temporary one.
    virtual int OpenAt(int folder, const char* name, int flags, mode_t mode);
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual int Fchown(int fd, uid_t owner, gid_t group);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Fsetxattr(int fd, const char* name, const void* value, std::size_t size, int flags);
    virtual int Fsync(int fd);
    virtual int Close(int fd);
    // Giving an unnamed replacement its temporary name.
    virtual int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags);
    virtual int RenameAt(int fromFolder, const char* from, int toFolder, const char* to);
};

FileWriteCalls& SystemFileWriteCalls();

}  // namespace korvax
