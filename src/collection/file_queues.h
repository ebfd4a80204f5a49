#pragma once
// The files of one check, queued per folder, and the round robin that hands them out.
//
// Thread safety: used on the user-interface thread only; workers never see the queues.

#include <cstdint>
#include <deque>
#include <string>

#include "platform/file_name.h"

namespace korvax {

// One folder's qualifying files, in the order the walk met them.
using FileQueue = std::deque<std::string>;

struct FileCollection {
    // One queue per folder of the check list, in list order; empty between checks. A deque,
    // so that a queue being filled stays where it is while others are appended.
    std::deque<FileQueue> FileQueues;
    // The queue the next take tries first.
    std::int32_t QueueCursor = 0;
    // Names added in the current check; never lowered during a check.
    std::int32_t TotalFiles = 0;
};

// Copies the next name, round robin over the folders, into `buffer` and removes it from
// its queue: each take moves the cursor past the queue it served, and an exhausted queue
// is passed over without costing a turn. Precondition: some queue holds a name (the
// scheduler only takes while files are left); when none does, it throws instead of
// looping for ever.
void TakeNextFile(FileCollection& collection, FileNameBuffer& buffer);

}  // namespace korvax
