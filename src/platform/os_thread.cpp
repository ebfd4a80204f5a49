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

SuspendedThread::~SuspendedThread() { Join(); }

void SuspendedThread::Resume() {
    thread_ = std::thread([this] {
        // Two steps below normal on the platform this design comes from; ten nice levels
        // here give the user-interface thread a clearly larger share when both compete.
        if (lowestPriority_) LowerCurrentThreadPriority(10);
        body_();
        finished_.store(true, std::memory_order_release);
        if (notifyFinished_) notifyFinished_();
    });
}

void SuspendedThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace korvax
