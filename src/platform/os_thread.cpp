#include "platform/os_thread.h"

namespace korvax {

SuspendedThread::~SuspendedThread() { Join(); }

void SuspendedThread::Resume() {
    thread_ = std::thread([this] {
        // Two steps below normal on Windows (THREAD_PRIORITY_LOWEST); ten nice levels on
        // Linux give the user-interface thread a clearly larger share when both compete.
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
