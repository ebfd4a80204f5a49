#pragma once
// A thread that is created suspended and runs its body once resumed, as scan workers need:
// a worker may only start once its slot is in the pool.
//
// Thread safety: Resume, Join and the priority setting belong to the owning (user-
// interface) thread; Finished may be read from anywhere.

#include <atomic>
#include <functional>
#include <thread>

namespace korvax {

class SuspendedThread {
public:
    explicit SuspendedThread(std::function<void()> body) : body_(std::move(body)) {}
    SuspendedThread(const SuspendedThread&) = delete;
    SuspendedThread& operator=(const SuspendedThread&) = delete;
    ~SuspendedThread();

    // Scan workers run below the user-interface thread: the thread lowers its own
    // scheduling priority as its first step (THREAD_PRIORITY_LOWEST on Windows, nice +10
    // on Linux, where priorities are per thread). Must be called before Resume.
    void SetLowestPriority() { lowestPriority_ = true; }

    // Starts the body on a new thread. Throws std::system_error when no thread can be made.
    void Resume();
    bool Started() const { return thread_.joinable(); }

    // Whether the body has returned (the thread is about to end or has ended).
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    void Join();

    // Called on the new thread when the body has returned, before it ends.
    void OnFinished(std::function<void()> notify) { notifyFinished_ = std::move(notify); }

private:
    std::function<void()> body_;
    std::function<void()> notifyFinished_;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    bool lowestPriority_ = false;
};

// Lowers the calling thread's scheduling priority by `steps` levels: nice levels on Linux
// (at most to 19), Windows' thread priority levels there (at most to
// THREAD_PRIORITY_LOWEST). Refusal is not an error: the thread just keeps its priority.
void LowerCurrentThreadPriority(int steps);

}  // namespace korvax
