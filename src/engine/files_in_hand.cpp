#include "engine/files_in_hand.h"

#include <utility>

namespace korvax {

FilesInHand::Hold::Hold(Hold&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), place_(std::move(other.place_)) {}

FilesInHand::Hold& FilesInHand::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        release();
        owner_ = std::exchange(other.owner_, nullptr);
        place_ = std::move(other.place_);
    }
    return *this;
}

FilesInHand::Hold::~Hold() { release(); }

void FilesInHand::Hold::release() {
    if (owner_ == nullptr) return;
    {
        std::lock_guard lock(owner_->mutex_);
        owner_->held_.erase(place_);
    }
    owner_->freed_.notify_all();
    owner_ = nullptr;
}

FilesInHand::Hold FilesInHand::TryHold(const FilePlace& place) {
    std::lock_guard lock(mutex_);
    if (!held_.insert(place).second) return {};
    return Hold(*this, place);
}

void FilesInHand::WaitUntilFree(const FilePlace& place) {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return held_.count(place) == 0; });
}

}  // namespace korvax
