#pragma once
// What the scan workers share with the user-interface thread: the pool of slots, the
// per-check counters, the run's detection counters and the database.
//
// Ownership and threads: everything here is owned by the program and lives on the
// user-interface thread, except where a field says otherwise. Workers reach the pool and
// the per-check counters only through synchronised calls; they read the database without
// a lock (it changes only while no check runs) and raise the detection counters atomically.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "database/virus_database.h"
#include "engine/file_check.h"
#include "platform/file_name.h"

namespace korvax {

class TKern;

namespace slot_state {
inline constexpr std::uint8_t kIdle = 0;
inline constexpr std::uint8_t kBusy = 1;
inline constexpr std::uint8_t kAssigned = 2;
}  // namespace slot_state

// One worker's place in the pool. The scheduler writes FileName and then publishes state 2
// (release); the worker reads the name only after it has seen 2 (acquire). Each state
// change is made by one side only, from the value the other side left: 0 -> 2 by the
// scheduler, 2 -> 1 by the worker, 1 -> 0 by the worker's finish call.
struct ThreadSlot {
    ThreadSlot();
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;
    ~ThreadSlot();  // ends and releases the worker (defined where TKern is complete)

    std::unique_ptr<TKern> Worker;
    std::int32_t ThreadId = 0;
    FileNameBuffer FileName{};
    std::atomic<std::uint8_t> State{slot_state::kIdle};
};

// The pool in order of creation; the list owns its slots. It is replaced by a new empty
// one at the start of every check, when no worker exists.
using ThreadList = std::vector<std::unique_ptr<ThreadSlot>>;

struct WorkerPool {
    std::unique_ptr<ThreadList> Threads = std::make_unique<ThreadList>();
    // Files finished in the current check; handed out and not yet finished. Changed on the
    // user-interface thread only.
    std::int32_t CheckedCount = 0;
    std::int32_t PendingCount = 0;
    // Over the whole run, raised by workers.
    DetectionCounters counters;
    VirusDatabase VirusBase;
    // VirusBase compiled for the fast pass; built again before a check whenever VirusBase
    // has changed (load, update), never while workers run.
    ScanPlan VirusPlan;
};

// Builds the plan again if the database changed since it was built. Only while no worker
// exists.
inline const ScanPlan& RefreshPlan(WorkerPool& pool) {
    if (!pool.VirusPlan.BuiltFrom(pool.VirusBase)) pool.VirusPlan = ScanPlan(pool.VirusBase);
    return pool.VirusPlan;
}

}  // namespace korvax
