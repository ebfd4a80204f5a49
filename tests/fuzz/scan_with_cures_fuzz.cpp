// libFuzzer target: any (database, file) pair checked as a worker checks a file, pass
// after pass with its cures and saves, on a file held in memory. Nothing may crash, hang
// or touch memory outside a buffer, and what the check saved must be what it last cured.
//
// Input layout: two bytes (little-endian) give the database's length; the database
// follows, and the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "database/read_records.h"
#include "engine/file_check.h"
#include "platform/failure.h"

namespace {

// Cures may grow an image up to this; larger growth fails as an allocation failure does.
constexpr std::int64_t kFuzzMaxImage = 1 << 20;

// The file, in memory: loaded once, every save kept.
class MemoryFile : public korvax::FileAccess {
public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
    std::vector<std::uint8_t> Load(std::int64_t maxSize) override {
        if (static_cast<std::int64_t>(bytes_.size()) > maxSize) throw korvax::CannotOpenFile("fuzz");
        return bytes_;
    }
    void Save(std::span<const std::uint8_t> image) override {
        bytes_.assign(image.begin(), image.end());
        ++saves;
    }
    int saves = 0;

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t databaseSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::span<const std::uint8_t> database(data + 2, databaseSize);
    const std::span<const std::uint8_t> file(data + 2 + databaseSize, size - 2 - databaseSize);

    korvax::VirusDatabase base;
    try {
        korvax::ReadRecords(database, base);
    } catch (const korvax::DatabaseFormatError&) {
    }
    MemoryFile memory(file);
    korvax::DetectionCounters counters;
    int rows = 0;
    korvax::FileCheckOptions options;
    options.maxImageSize = kFuzzMaxImage;
    const korvax::FileCheckOutcome outcome =
        korvax::CheckFile("fuzz", memory, base, counters, [&](const korvax::ResultRow&) { ++rows; }, options);
    // Every save is a counted cure with its row; at most one more row closes the file.
    if (outcome.cures != memory.saves || counters.CuredCount.load() != memory.saves) std::abort();
    if (rows < memory.saves || rows > memory.saves + 1) std::abort();
    return 0;
}
