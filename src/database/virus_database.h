#pragma once
// The database in memory: an ordered list of entries, each an ordered list of records
// beginning (normally) with the head record that names the virus. The program's own is
// the worker pool's `VirusBase`.
//
// Thread safety: a VirusDatabase is read by every scan worker at once without a lock, so it
// must not change while a check runs; it only grows (start-up load, update) while no
// worker exists.

#include <cstddef>
#include <vector>

#include "database/record_header.h"

namespace korvax {

struct VirusEntry {
    std::vector<Record> records;

    // The entry as a list that alternates each record's header and data: record k is
    // items 2k and 2k+1. The interpreter's "List index out of bounds" names these indexes.
    std::size_t itemCount() const { return 2 * records.size(); }
    friend bool operator==(const VirusEntry&, const VirusEntry&) = default;
};

using VirusDatabase = std::vector<VirusEntry>;

}  // namespace korvax
