// A preload library for the end-to-end tests: it sits between our programs and the C
// library and disturbs a file replacement from outside, as a failing disk or a hostile
// user would. Configured by the environment:
//
//   KORVAX_FAULT_STEP   create | write | fchown | fchmod | fsetxattr | fsync | close | link | rename
//   KORVAX_FAULT_CALL   which call of that step fails (1 = the first)
//   KORVAX_FAULT_ERRNO  EIO | ENOSPC | EDQUOT | EROFS | EPERM (a user who may not give a
//                       file away, at fchown)
//   KORVAX_SWAP_PATH    at the first replacement's creation (after the file was read),
//   KORVAX_SWAP_TARGET  SWAP_PATH is renamed to SWAP_PATH.swapped and a symbolic link to
//                       SWAP_TARGET put in its place
//   KORVAX_SLOW_WRITES  replacement writes go in 64 KiB pieces, a millisecond apart, so
//                       that a test can kill the program in the middle of one; each piece
//                       written is told on stderr
//
// Only calls on a replacement count: descriptors made by openat with O_TMPFILE, or with
// O_CREAT | O_EXCL under one of our temporary names, and every linkat and renameat.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

namespace {

constexpr int kMaxFd = 65536;
std::atomic<bool> gReplacementFd[kMaxFd];
std::atomic<int> gCalls{0};
std::atomic<bool> gSwapped{false};

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

const char* Setting(const char* name) {
    const char* value = ::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

int FaultErrno() {
    const char* name = Setting("KORVAX_FAULT_ERRNO");
    if (name == nullptr || strcmp(name, "EIO") == 0) return EIO;
    if (strcmp(name, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(name, "EDQUOT") == 0) return EDQUOT;
    if (strcmp(name, "EROFS") == 0) return EROFS;
    if (strcmp(name, "EPERM") == 0) return EPERM;
    return EIO;
}

// Whether this call of `step` is the one to fail (errno is then set).
bool Fails(const char* step) {
    const char* failing = Setting("KORVAX_FAULT_STEP");
    if (failing == nullptr || strcmp(failing, step) != 0) return false;
    const char* call = Setting("KORVAX_FAULT_CALL");
    const int which = call != nullptr ? atoi(call) : 1;
    if (gCalls.fetch_add(1) + 1 != which) return false;
    errno = FaultErrno();
    return true;
}

bool IsReplacement(int fd) { return fd >= 0 && fd < kMaxFd && gReplacementFd[fd].load(); }

void Swap() {
    const char* path = Setting("KORVAX_SWAP_PATH");
    const char* target = Setting("KORVAX_SWAP_TARGET");
    if (path == nullptr || target == nullptr || gSwapped.exchange(true)) return;
    char moved[4200];
    snprintf(moved, sizeof moved, "%s.swapped", path);
    if (::rename(path, moved) != 0 || ::symlink(target, path) != 0) {
        fprintf(stderr, "write_faults: the swap of %s failed: %s\n", path, strerror(errno));
        abort();
    }
}

}  // namespace

extern "C" {

int openat(int folder, const char* name, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const bool named = (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && strstr(name, ".korvax-") != nullptr;
    if (unnamed || named) {
        Swap();
        if (Fails("create")) return -1;
    }
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    const int fd = real(folder, name, flags, mode);
    if ((unnamed || named) && fd >= 0 && fd < kMaxFd) gReplacementFd[fd].store(true);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    if (!IsReplacement(fd)) return real(fd, data, size);
    if (Fails("write")) return -1;
    if (Setting("KORVAX_SLOW_WRITES") != nullptr) {
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
        const ssize_t written = real(fd, data, std::min<size_t>(size, 65536));
        // Tells a test watching stderr how far the write-back had come when it was killed.
        dprintf(STDERR_FILENO, "write-faults: piece written\n");
        return written;
    }
    return real(fd, data, size);
}

int fchown(int fd, uid_t owner, gid_t group) {
    static const auto real = Next<int (*)(int, uid_t, gid_t)>("fchown");
    if (IsReplacement(fd) && Fails("fchown")) return -1;
    return real(fd, owner, group);
}

int fchmod(int fd, mode_t mode) {
    static const auto real = Next<int (*)(int, mode_t)>("fchmod");
    if (IsReplacement(fd) && Fails("fchmod")) return -1;
    return real(fd, mode);
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    static const auto real = Next<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr");
    if (IsReplacement(fd) && Fails("fsetxattr")) return -1;
    return real(fd, name, value, size, flags);
}

int fsync(int fd) {
    static const auto real = Next<int (*)(int)>("fsync");
    if (IsReplacement(fd) && Fails("fsync")) return -1;
    return real(fd);
}

int close(int fd) {
    static const auto real = Next<int (*)(int)>("close");
    const bool replacement = IsReplacement(fd);
    if (replacement) gReplacementFd[fd].store(false);
    const int result = real(fd);
    // A close that reports a late write error has closed the descriptor all the same.
    if (replacement && Fails("close")) return -1;
    return result;
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    static const auto real = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
    if (Fails("link")) return -1;
    return real(fromFolder, from, toFolder, to, flags);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    static const auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
    if (Fails("rename")) return -1;
    return real(fromFolder, from, toFolder, to);
}

}  // extern "C"
