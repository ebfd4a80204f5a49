#include "check/scan_scheduler.h"

#include <algorithm>

#include "check/collected_files.h"
#include "platform/system_info.h"
#include "collection/collect_files.h"

namespace korvax {
namespace {

class Check {
public:
    Check(ProgramState& state, CheckDisplay& display, MessagePump& pump, const CheckOptions& options)
        : state_(state), display_(display), pump_(pump), options_(options) {}

    void run() {
        prepare();
        try {
            collect();
            loop();
        } catch (...) {
            display_.ShowPreparing(false);
            teardown();
            throw;
        }
        teardown();
    }

private:
    ThreadList& threads() { return *state_.pool.Threads; }
    void process() { pump_.ProcessPendingMessages(); }

    void prepare() {
        state_.StopRequested = false;
        display_.ShowPreparing(true);
        display_.SetButtonEnabled(MainButton::Settings, false);
        display_.SetButtonEnabled(MainButton::Start, false);
        display_.SetButtonEnabled(MainButton::Update, false);
        state_.CheckRunning = true;
        RefreshPlan(state_.pool);
        state_.pool.Threads = std::make_unique<ThreadList>();
        state_.files.TotalFiles = 0;
        state_.files.QueueCursor = 0;
        state_.pool.CheckedCount = 0;
        state_.pool.PendingCount = 0;
    }

    void collect() {
        CollectOptions collectOptions = options_.collect;
        collectOptions.onPassedOver = [this](const std::string& path, PassedOver why, const std::string& detail) {
            display_.NotCollected(path, why, detail);
        };
        for (int i = 0; i < display_.FolderCount(); ++i) {
            const std::string folder = display_.FolderAt(i);
            state_.files.FileQueues.emplace_back();
            CollectFiles(state_.files.FileQueues.back(), folder, state_.files, pump_, collectOptions);
            display_.ShowTotal(state_.files.TotalFiles);
        }
        display_.ShowPreparing(false);
        SleepMilliseconds(5);
        display_.SetButtonEnabled(MainButton::Stop, true);
    }

    void loop() {
        while (!state_.StopRequested) {
            process();
            // One millisecond per worker, and one even while the pool is empty: a pass
            // without any sleep would keep a processor busy with the loop itself, and on a
            // small machine that alone holds the load at 60 % or more, so the first worker
            // would never be added and the check would never start.
            SleepMilliseconds(std::max<std::int64_t>(1, static_cast<std::int64_t>(threads().size())));
            if (state_.CpuLoad <= kDispatchUpToLoad || threads().size() <= 1) {
                dispatch();
                if (shouldGrow()) addWorker();
            }
            // Above the dispatch limit with two workers or more the pass leaves the pool
            // alone: the workers finish what they hold and the load can drop.
            if (state_.pool.CheckedCount == state_.files.TotalFiles) state_.StopRequested = true;
        }
    }

    void dispatch() {
        for (std::size_t i = 0; i < threads().size(); ++i) {
            process();
            ThreadSlot& slot = *threads()[i];
            if (slot.State.load(std::memory_order_acquire) == slot_state::kIdle && FilesLeft(state_) > 0) {
                process();
                TakeNextFile(state_.files, slot.FileName);
                ++state_.pool.PendingCount;
                // Publishes the name: the worker reads it only after it has seen this.
                slot.State.store(slot_state::kAssigned, std::memory_order_release);
            }
        }
    }

    bool shouldGrow() {
        return PoolMayGrow(FilesLeft(state_), state_.CpuLoad, threads().size(), state_.pool.PendingCount);
    }

    void addWorker() {
        auto slot = std::make_unique<ThreadSlot>();
        slot->State.store(slot_state::kIdle, std::memory_order_relaxed);
        slot->ThreadId = state_.NextThreadId;
        process();
        WorkerEnvironment environment{state_.pool, state_.sync,
                                      [this](const ResultRow& row) { display_.AddRow(row); }, options_.fileCheck};
        slot->Worker = options_.makeWorker ? options_.makeWorker(environment)
                                           : std::make_unique<TKern>(true, environment);
        slot->Worker->SetId(state_.NextThreadId);
        slot->Worker->SetLowestPriority();
        ++state_.NextThreadId;
        ThreadSlot& added = *slot;
        threads().push_back(std::move(slot));  // in the pool before it starts: it looks itself up there
        added.Worker->Resume();
        process();
    }

    void teardown() {
        // Last slot first. Out of the pool before the worker is ended, so its next lookup
        // fails; released only after the wait, so a file in progress can still finish.
        while (!threads().empty()) {
            std::unique_ptr<ThreadSlot> slot = std::move(threads().back());
            threads().pop_back();
            if (slot->Worker) {
                slot->Worker->Terminate();
                slot->Worker->WaitFor();
            }
        }
        state_.files.FileQueues.clear();
        SleepMilliseconds(600);
        state_.CheckRunning = false;
        display_.SetButtonEnabled(MainButton::Settings, true);
        display_.SetButtonEnabled(MainButton::Start, true);
        display_.SetButtonEnabled(MainButton::Update, true);
        display_.SetButtonEnabled(MainButton::Stop, false);
    }

    ProgramState& state_;
    CheckDisplay& display_;
    MessagePump& pump_;
    const CheckOptions& options_;
};

}  // namespace

std::int64_t FilesLeft(const ProgramState& state) {
    return static_cast<std::int64_t>(state.files.TotalFiles) - state.pool.CheckedCount - state.pool.PendingCount;
}

bool PoolMayGrow(std::int64_t filesLeft, std::int32_t cpuLoad, std::size_t workers, std::int32_t pendingCount) {
    if (filesLeft <= 0) return false;
    if (cpuLoad >= kGrowBelowLoad) return false;
    if (workers < kFreeGrowthWorkers) return true;
    const double ratio = (static_cast<double>(pendingCount) + 1.0) / (static_cast<double>(workers) + 1.0);
    return ratio < kGrowthRatio;
}

void SpeedButton3Click(ProgramState& state, CheckDisplay& display, MessagePump& pump, const CheckOptions& options) {
    // Every file is collected first and checked later: one that grew past the size limit
    // meanwhile is not loaded.
    CheckOptions checked = options;
    FilesInHand inHand;
    checked.fileCheck = ForCollectedFiles(checked.fileCheck, checked.collect, inHand);
    Check(state, display, pump, checked).run();
}

}  // namespace korvax
