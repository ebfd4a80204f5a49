#pragma once
// A scan worker. It polls its slot every millisecond; when the slot holds a file it checks
// the file (load, scan, cure, write back, rescan) and reports the rows, then gives the
// slot back. Everything it does to the pool, the per-check counters and the result list
// goes through synchronised calls on the user-interface thread.
//
// A worker is created suspended and started only once its slot is in the pool, because it
// finds its slot there by id. After Terminate it finishes the file in hand (all its
// passes, rows and the finish call) and ends at the top of its next cycle.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/file_check.h"
#include "worker/worker_pool.h"
#include "platform/os_thread.h"
#include "platform/sync_queue.h"

namespace korvax {

// Where result rows go: runs on the user-interface thread (the statistics list, or the
// terminal's stdout).
using RowSink = std::function<void(const ResultRow&)>;

struct WorkerEnvironment {
    WorkerPool& pool;
    SyncQueue& sync;
    RowSink addRow;
    FileCheckOptions checkOptions{};
};

class TKern {
public:
    // `createSuspended` false starts the thread at once (the scheduler never does that).
    TKern(bool createSuspended, WorkerEnvironment environment);
    TKern(const TKern&) = delete;
    TKern& operator=(const TKern&) = delete;
    // Requests termination and waits for the thread to end (a worker's owner normally has
    // done both already, serving synchronised calls while it waited).
    ~TKern();

    void SetId(std::int32_t id) { Id = id; }
    std::int32_t id() const { return Id; }

    void SetLowestPriority() { thread_.SetLowestPriority(); }
    void Resume() { thread_.Resume(); }
    void Terminate() { terminated_.store(true, std::memory_order_release); sync_.Wake(); }
    bool Finished() const { return thread_.Finished(); }

    // Waits on the user-interface thread until the thread has ended, serving the workers'
    // synchronised calls (and nothing else) meanwhile: this worker may be inside one.
    void WaitFor();

private:
    void Execute();
    void HandleFile();
    // Synchronised routines, run on the user-interface thread.
    void FindMySlot();
    void FinishFile();
    void ReportResult(const ResultRow& row);

    std::int32_t Id = 0;
    ThreadSlot* Slot = nullptr;
    bool SlotFound = false;
    ThreadList* PoolList = nullptr;

    WorkerPool& pool_;
    SyncQueue& sync_;
    RowSink addRow_;
    FileCheckOptions checkOptions_;
    std::atomic<bool> terminated_{false};
    SuspendedThread thread_;
};

}  // namespace korvax
