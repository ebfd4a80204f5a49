#include "engine/file_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/failure.h"

namespace korvax {

FileImage::FileImage(std::vector<std::uint8_t> bytes, std::int64_t maxSize)
    : bytes_(std::move(bytes)), maxSize_(maxSize) {
    if (static_cast<std::int64_t>(bytes_.size()) > std::min<std::int64_t>(maxSize_, kMaxImageSize)) {
        throw OutOfMemoryExpanding();
    }
}

std::int32_t FileImage::read(std::uint8_t* out, std::int32_t count) {
    const std::int32_t available = (position_ >= 0 && position_ < size()) ? size() - position_ : 0;
    const std::int32_t copied = std::clamp(count, 0, available);
    if (copied > 0) {
        std::memcpy(out, bytes_.data() + position_, static_cast<std::size_t>(copied));
        position_ += copied;
    }
    return copied;
}

void FileImage::setSize(std::int64_t newSize) {
    if (newSize < 0 || newSize > std::min<std::int64_t>(maxSize_, kMaxImageSize)) {
        throw OutOfMemoryExpanding();
    }
    try {
        bytes_.resize(static_cast<std::size_t>(newSize), 0);
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryExpanding();
    } catch (const std::length_error&) {
        throw OutOfMemoryExpanding();
    }
}

void FileImage::write(std::span<const std::uint8_t> data) {
    if (position_ < 0) return;
    const std::int64_t end = static_cast<std::int64_t>(position_) + static_cast<std::int64_t>(data.size());
    if (end > size()) setSize(end);
    if (!data.empty()) std::memcpy(bytes_.data() + position_, data.data(), data.size());
    position_ = static_cast<std::int32_t>(end);
}

void FileImage::resize(std::int64_t newSize) {
    setSize(newSize);
    if (position_ > size()) position_ = size();
}

}  // namespace korvax
