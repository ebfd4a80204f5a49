#pragma once
// The POSIX calls a file's replacement is made with (see platform/file_write_calls.h).
// Each call has the contract of the POSIX call it is named after: a result below 0 is a
// failure with errno set. Only the platform layer and its tests include this.

#include <sys/types.h>

#include <cstddef>

#include "platform/file_write_calls.h"

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

}  // namespace korvax
