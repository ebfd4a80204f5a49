#pragma once
// The database compiled for fast passes: every record decoded once, and the entries sorted
// by what their first test needs, so that a pass evaluates only the entries that can
// match and those whose outcome depends on where the stream stands.
//
// Why that is exact: between two entries a pass carries only the stream position, and an
// entry's first test that touches the stream is often independent of it:
//   - a comparison in mode 0, 1 or 2 (mode 2 adds its offset to a match position that is
//     0 when an entry begins) reads the window at a fixed place; failing, it leaves the
//     stream at that place plus the bytes it could read;
//   - a search in mode 2 searches from 0; failing, it leaves the stream at the image size.
// Records before the first test (variables, cure instructions, types the pass passes over)
// never touch the stream. So an entry whose independent first test fails is known to fail,
// and where it leaves the stream, without evaluating it; every other entry is evaluated in
// full, in database order, from exactly the position the entries before it would have left.
//
// Thread safety: built while no check runs (at load, after an update), then read by every
// worker at once without a lock. It refers to the database's records, so it must be built
// again whenever the database changes.

#include <cstdint>
#include <span>
#include <vector>

#include "database/virus_database.h"
#include "engine/pattern_search.h"
#include "engine/search_sweep.h"

namespace korvax {

// One record after the head, decoded.
struct PlanRecord {
    std::uint8_t type = 0;
    std::uint8_t mode = 0;       // comparisons and groups
    bool search = false;         // comparisons: a forward search rather than a test in place
    std::int32_t offset = 0;     // comparisons and groups
    std::int32_t count = 0;      // groups: members
    MaskedPattern pattern;       // comparisons
    const Record* source = nullptr;  // variables and cure instructions keep their record
};

enum class FirstTest : std::uint8_t {
    Skipped,     // the skip flag is set: the entry never matches and moves nothing
    Evaluate,    // depends on the stream position, or has no test, or cannot be read
    Comparison,  // a comparison at a fixed place
    Search,      // a search from position 0
};

struct PlanEntry {
    const VirusEntry* entry = nullptr;
    std::uint32_t firstRecord = 0;  // PlanRecord of the entry's record 1
    std::int32_t recordCount = 0;   // the entry's records, its head included
    FirstTest kind = FirstTest::Evaluate;
    std::uint32_t slot = 0;         // the comparison or search of its first test
    std::int32_t place = 0;         // where a first comparison reads
    std::uint32_t testRecord = 0;   // PlanRecord of the first comparison or search
};

class ScanPlan {
public:
    ScanPlan() = default;
    explicit ScanPlan(const VirusDatabase& base);

    // Whether this plan was built from `base` as it stands (entries are only ever added).
    bool BuiltFrom(const VirusDatabase& base) const { return &base == base_ && base.size() == entries_.size(); }
    const VirusDatabase* base() const { return base_; }

    const std::vector<PlanEntry>& entries() const { return entries_; }
    const PlanRecord& record(const PlanEntry& entry, std::int32_t index) const {
        return records_[entry.firstRecord + static_cast<std::uint32_t>(index) - 1];
    }

    // Comparisons at fixed places, distinct, sorted by place.
    struct PlacedComparison {
        std::int32_t place = 0;
        std::uint32_t mask = 0;     // window words: byte i in bits 8i..8i+7
        std::uint32_t pattern = 0;
    };
    std::span<const PlacedComparison> comparisons() const { return comparisons_; }
    // Entries (in database order) whose first test is comparison or search `slot`.
    std::span<const std::uint32_t> comparisonEntries(std::uint32_t slot) const;
    std::span<const std::uint32_t> searchEntries(std::uint32_t slot) const;
    const SearchSweep& searches() const { return searches_; }
    // Entries evaluated in every pass, in database order.
    std::span<const std::uint32_t> alwaysEvaluated() const { return alwaysEvaluated_; }
    // The last entry at or before `index` whose first test is independent, or -1.
    std::int32_t lastIndependent(std::uint32_t index) const { return lastIndependent_[index]; }

private:
    const VirusDatabase* base_ = nullptr;
    std::vector<PlanRecord> records_;
    std::vector<PlanEntry> entries_;
    std::vector<PlacedComparison> comparisons_;
    std::vector<std::uint32_t> comparisonEntryStart_;
    std::vector<std::uint32_t> comparisonEntry_;
    SearchSweep searches_;
    std::vector<std::uint32_t> searchEntryStart_;
    std::vector<std::uint32_t> searchEntry_;
    std::vector<std::uint32_t> alwaysEvaluated_;
    std::vector<std::int32_t> lastIndependent_;
};

}  // namespace korvax
