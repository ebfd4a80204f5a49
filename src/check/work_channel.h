#pragma once
// The names the walk has collected and no worker has taken yet: a bounded first-in,
// first-out channel between one walking thread and the worker threads.
//
// Thread safety: every member may be called from any thread at once.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace korvax {

class WorkChannel {
public:
    explicit WorkChannel(std::size_t capacity) : capacity_(capacity) {}

    // Adds `name`, waiting while the channel is full. False when the channel was stopped.
    bool Put(std::string name);
    // The oldest name, waiting while none is there. Nothing once the channel is closed and
    // empty, or at once when it was stopped.
    std::optional<std::string> Take();
    // No more names will come: takers drain what is left, then get nothing.
    void Close();
    // Everything ends now: waiting puts and takes return, and what is left is dropped.
    void Stop();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> names_;
    std::size_t capacity_;
    bool closed_ = false;
    bool stopped_ = false;
};

}  // namespace korvax
