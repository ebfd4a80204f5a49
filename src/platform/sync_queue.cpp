#include "platform/sync_queue.h"

namespace korvax {

void SyncQueue::Synchronize(const std::function<void()>& routine) {
    if (OnUiThread()) {
        routine();
        return;
    }
    Call call;
    call.routine = &routine;
    std::unique_lock lock(mutex_);
    pending_.push_back(&call);
    uiWake_.notify_one();
    callDone_.wait(lock, [&] { return call.done; });
    if (call.failure) std::rethrow_exception(call.failure);
}

int SyncQueue::RunPending() {
    std::deque<Call*> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(pending_);
    }
    for (Call* call : batch) {
        std::exception_ptr failure;
        try {
            (*call->routine)();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        call->failure = failure;
        call->done = true;
    }
    if (!batch.empty()) {
        std::lock_guard lock(mutex_);
        callDone_.notify_all();
    }
    return static_cast<int>(batch.size());
}

void SyncQueue::ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds poll) {
    for (;;) {
        RunPending();
        if (done()) return;
        std::unique_lock lock(mutex_);
        uiWake_.wait_for(lock, poll, [&] { return !pending_.empty() || woken_; });
        woken_ = false;
    }
}

void SyncQueue::Wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    uiWake_.notify_one();
}

}  // namespace korvax
