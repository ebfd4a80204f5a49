#include "worker/tkern.h"

#include <algorithm>
#include <exception>

#include "platform/system_info.h"

namespace korvax {

ThreadSlot::ThreadSlot() = default;
ThreadSlot::~ThreadSlot() = default;

TKern::TKern(bool createSuspended, WorkerEnvironment environment)
    : pool_(environment.pool),
      sync_(environment.sync),
      addRow_(std::move(environment.addRow)),
      checkOptions_(environment.checkOptions),
      thread_([this] { Execute(); }) {
    // Wake a waiting user-interface thread as soon as the thread ends.
    thread_.OnFinished([this] { sync_.Wake(); });
    if (!createSuspended) thread_.Resume();
}

TKern::~TKern() {
    Terminate();
    thread_.Join();
}

void TKern::WaitFor() {
    if (!thread_.Started()) return;
    sync_.ServeUntil([this] { return thread_.Finished(); });
    thread_.Join();
}

void TKern::Execute() {
    while (!terminated_.load(std::memory_order_acquire)) {
        SleepMilliseconds(1);
        SlotFound = false;
        // The list is replaced only when no worker exists, so reading the pointer here
        // cannot race with its replacement.
        PoolList = pool_.Threads.get();
        try {
            sync_.Synchronize([this] { FindMySlot(); });
        } catch (const std::exception&) {
            continue;  // a failed lookup is a lookup that found nothing
        }
        if (!SlotFound) continue;
        SlotFound = false;
        if (Slot->State.load(std::memory_order_acquire) != slot_state::kAssigned) continue;
        Slot->State.store(slot_state::kBusy, std::memory_order_relaxed);
        HandleFile();
    }
}

void TKern::HandleFile() {
    const std::string path(Slot->FileName.data());
    const ReportRow report = [this](const ResultRow& row) { sync_.Synchronize([&] { ReportResult(row); }); };
    if (pool_.VirusPlan.BuiltFrom(pool_.VirusBase)) {
        CheckCollectedFile(path, pool_.VirusPlan, pool_.counters, report, checkOptions_);
    } else {
        // A pool whose plan was never built (a test's) checks with the reference pass.
        CheckCollectedFile(path, pool_.VirusBase, pool_.counters, report, checkOptions_);
    }
    // Whatever happened above, the file counts as checked and the slot is given back
    // (FinishFile itself cannot fail).
    sync_.Synchronize([this] { FinishFile(); });
}

void TKern::FindMySlot() {
    // Every slot is looked at (ids are unique), up to the pool's current size.
    const std::size_t count = std::min(PoolList->size(), pool_.Threads->size());
    for (std::size_t i = 0; i < count; ++i) {
        ThreadSlot* slot = (*PoolList)[i].get();
        if (slot->ThreadId == Id) {
            Slot = slot;
            SlotFound = true;
        }
    }
}

void TKern::FinishFile() {
    ++pool_.CheckedCount;
    --pool_.PendingCount;
    Slot->State.store(slot_state::kIdle, std::memory_order_release);
}

void TKern::ReportResult(const ResultRow& row) {
    if (addRow_) addRow_(row);
}

}  // namespace korvax
