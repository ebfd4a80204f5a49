#pragma once
// A file on disk as the per-file check reaches it: read whole, replaced atomically.

#include <string>

#include "engine/file_access.h"
#include "platform/file_write_calls.h"

namespace korvax {

class DiskFile : public FileAccess {
public:
    // `calls` make the replacement's system calls (tests pass ones that fail).
    explicit DiskFile(std::string path, FileWriteCalls& calls = SystemFileWriteCalls())
        : path_(std::move(path)), calls_(calls) {}

    std::vector<std::uint8_t> Load(std::int64_t maxSize) override;
    void Save(std::span<const std::uint8_t> image) override;

private:
    std::string path_;
    FileWriteCalls& calls_;
};

}  // namespace korvax
