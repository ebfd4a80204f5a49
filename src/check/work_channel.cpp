#include "check/work_channel.h"

namespace korvax {

bool WorkChannel::Put(std::string name) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || names_.size() < capacity_; });
    if (stopped_) return false;
    names_.push_back(std::move(name));
    changed_.notify_all();
    return true;
}

std::optional<std::string> WorkChannel::Take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || closed_ || !names_.empty(); });
    if (stopped_ || names_.empty()) return std::nullopt;
    std::string name = std::move(names_.front());
    names_.pop_front();
    changed_.notify_all();
    return name;
}

void WorkChannel::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

void WorkChannel::Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    names_.clear();
    changed_.notify_all();
}

}  // namespace korvax
