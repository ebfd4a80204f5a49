#pragma once
// Keeping a backup store from growing without bound. Every cure keeps its file's original,
// so a store that only grew would fill the disk of a machine checked every day. Older
// backups are pruned, oldest first, once the store holds more than a size limit or they are
// older than an age limit; but never the newest backup of a file, the one a restore of that
// file puts back. When the newest backups alone hold more than the size limit, nothing
// more is pruned and the outcome says so: a user who wants room must decide what to drop.
//
// Defaults that a desktop user never has to touch: a gigabyte holds the originals of
// thousands of programs, and three months is longer than a wrong cure goes unnoticed.
//
// Not thread-safe: run it when no check writes to the store (before a check starts).

#include <cstdint>
#include <string>

#include "platform/file_write_calls.h"
#include "platform/private_folder.h"

namespace korvax {

inline constexpr std::int64_t kDefaultStoreBytes = std::int64_t{1} << 30;  // 1 GiB
inline constexpr int kDefaultStoreDays = 90;

struct StoreLimits {
    std::int64_t maxBytes = kDefaultStoreBytes;
    int maxDays = kDefaultStoreDays;
};

struct PruneOutcome {
    int pruned = 0;                 // backups whose originals were removed
    std::int64_t prunedBytes = 0;
    std::int64_t keptBytes = 0;     // the originals still kept
    bool newestOverLimit = false;   // the newest backups alone hold more than maxBytes
};

// Prunes the store in `folder` under `limits`, as of `now` (seconds since 1970, UTC).
// Each pruned backup gets a "pruned" line in the index before its original is removed, so
// an interrupted prune never leaves a line naming a file that is gone unsaid. Failure when
// the index cannot be read or written.
PruneOutcome PruneStore(PrivateFolder& folder, const StoreLimits& limits, std::int64_t now,
                        FileWriteCalls& calls = SystemFileWriteCalls());

// What a prune did, in a line for the user (empty when it did nothing worth saying).
std::string PruneMessage(const PruneOutcome& outcome, const StoreLimits& limits, const std::string& folder);

}  // namespace korvax
