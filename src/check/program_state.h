#pragma once
// The state the whole program shares, owned by the program and passed by reference: the
// worker pool and its counters, the database, the file queues, and the check's flags.
//
// Thread safety: lives on the user-interface thread. Workers touch only what WorkerPool
// allows them (see worker_pool.h), through `sync`.

#include <cstdint>
#include <string>

#include "worker/worker_pool.h"
#include "platform/sync_queue.h"
#include "collection/file_queues.h"
#include "monitor/status_refresh.h"

namespace korvax {

struct ProgramState {
    // Created on, and so bound to, the user-interface thread.
    SyncQueue sync;
    WorkerPool pool;
    FileCollection files;
    // Id of the next worker: never reset, so ids stay unique over the whole run.
    std::int32_t NextThreadId = 0;
    // Set by the stop button (or Ctrl-C) and by the end test; the check loop ends on it.
    bool StopRequested = false;
    // The last processor load read by the refresh, in percent; read as a signed number.
    std::int32_t CpuLoad = 0;
    // Full path of the database file, fixed at start-up.
    std::string BasePath;
    // Twice the physical memory, kept as the design asks; nothing limits the pool by it.
    std::int64_t MemoryLimit = 0;
    // True from the start button to the end of the teardown: the database must not change.
    bool CheckRunning = false;
};

// The numbers the periodic refresh shows, as they stand now.
CheckCounts CountsOf(const ProgramState& state);

}  // namespace korvax
