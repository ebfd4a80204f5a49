#pragma once
// The one way worker threads reach the user-interface thread: a synchronised call. The
// worker hands a routine over and blocks until the user-interface thread has run it; a
// failure raised inside the routine is raised again in the worker.
//
// The user-interface thread runs the pending routines whenever it processes its messages
// (RunPending), and, while it waits for a worker to end, serves these calls and nothing
// else (ServeUntil).
//
// Thread safety: Synchronize may be called from any number of threads other than the
// user-interface thread at once; RunPending and ServeUntil only on the user-interface
// thread. The queue's lock is the only lock in the program's scanning path.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace korvax {

class SyncQueue {
public:
    // Makes the calling thread the user-interface thread (the one that creates the queue
    // by default). A call of Synchronize from that thread runs the routine directly.
    SyncQueue() : uiThread_(std::this_thread::get_id()) {}
    SyncQueue(const SyncQueue&) = delete;
    SyncQueue& operator=(const SyncQueue&) = delete;

    void Synchronize(const std::function<void()>& routine);

    // Runs every routine handed over so far, in the order they came. Returns how many ran.
    int RunPending();

    // Serves synchronised calls until `done()` holds. `done` is tested after every served
    // batch and whenever Wake is called, and at least every `poll`.
    void ServeUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds poll = std::chrono::milliseconds(1));

    // Wakes a ServeUntil so that it tests its condition now (a worker about to end).
    void Wake();

private:
    bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }

    struct Call {
        const std::function<void()>* routine = nullptr;
        std::exception_ptr failure;
        bool done = false;
    };

    std::mutex mutex_;
    std::condition_variable uiWake_;
    std::condition_variable callDone_;
    std::deque<Call*> pending_;
    bool woken_ = false;
    std::thread::id uiThread_;
};

}  // namespace korvax
