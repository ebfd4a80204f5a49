#pragma once
// The worker's image of one file: its bytes, held whole in memory, and a current position.
//
// Positions and sizes are 32-bit signed values. The position may be set anywhere, also
// below 0 or past the end; a read there copies nothing. A write at a position p >= 0 grows
// the image so that it ends at least at p + n; the bytes a growth adds are 0.
//
// Not thread-safe: an image belongs to one worker.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/whole_file.h"

namespace korvax {

class FileImage {
public:
    // `maxSize` bounds how far the image may grow; beyond it, growth fails with "Out of
    // memory while expanding memory stream" just as a failed allocation does.
    explicit FileImage(std::int64_t maxSize = kMaxImageSize) : maxSize_(maxSize) {}
    FileImage(std::vector<std::uint8_t> bytes, std::int64_t maxSize = kMaxImageSize);

    std::int32_t size() const { return static_cast<std::int32_t>(bytes_.size()); }
    std::int32_t position() const { return position_; }
    void seek(std::int32_t position) { position_ = position; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // Copies min(count, size - position) bytes (none when the position lies outside the
    // image or count <= 0) into `out` and advances the position by the bytes copied.
    // Returns the number copied.
    std::int32_t read(std::uint8_t* out, std::int32_t count);

    // Stores `data` at the position and leaves the position after it. The image first
    // grows to position + size when that lies past the end. A position below 0 stores
    // nothing. Fails with "Out of memory while expanding memory stream" when the end would
    // lie past the largest size.
    void write(std::span<const std::uint8_t> data);

    // Keeps the first bytes; a smaller size cuts the rest off, a larger one adds zeros. A
    // position past the new end is pulled back to it, also when the size grows. A size
    // below 0 or past the largest size fails with "Out of memory while expanding memory
    // stream", and the image stays as it was.
    void resize(std::int64_t newSize);

    std::int64_t maxSize() const { return maxSize_; }

private:
    void setSize(std::int64_t newSize);  // checked, zero-filling, keeps the position

    std::vector<std::uint8_t> bytes_;
    std::int32_t position_ = 0;
    std::int64_t maxSize_;
};

}  // namespace korvax
