#include "platform/os_thread.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvax {

void LowerCurrentThreadPriority(int steps) {
    // On Linux a nice value belongs to the thread (task), not to the whole process.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno != 0) return;
    ::setpriority(PRIO_PROCESS, tid, std::min(current + steps, 19));
}

}  // namespace korvax
