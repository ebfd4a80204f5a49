#pragma once
// How the per-file check reaches the file it treats: it loads the file once and saves each
// cured image over it. The check itself only sees bytes, so tests and fuzzers drive the
// real pass and cure loop with a file held in memory, or with a disk whose writes fail.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/write_back_guard.h"

namespace korvax {

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // The file's bytes, whole. Throws Failure ("Cannot open file %s") when it cannot be
    // read, is no regular file or holds more than `maxSize` bytes.
    virtual std::vector<std::uint8_t> Load(std::int64_t maxSize) = 0;
    // Replaces the file's contents with `image`, all or nothing. Throws Failure when the
    // file cannot be rewritten; it is then as it was.
    virtual void Save(std::span<const std::uint8_t> image) = 0;
    // What the file was when it was loaded (size, mode, owner), where that is known.
    virtual std::optional<FileFacts> Facts() const { return std::nullopt; }
    // The file the last Save left (before any, the one loaded), where that is known.
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
};

}  // namespace korvax
