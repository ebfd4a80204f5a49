#pragma once
// One whole check, run on the user-interface thread (the start button's handler, or
// korvax-scan's main): collect the files of every listed folder, then loop, handing files
// to idle workers and growing the pool while the processor has room, until every file is
// finished or a stop is requested; then end every worker and empty the queues.
//
// The loop keeps the program responsive by processing pending messages itself: once at
// the top of every pass, once per slot and once more per file handed out, twice per worker
// added. The refresh (which reads the load), the stop button and the workers' synchronised
// calls all run inside those steps.

#include <functional>
#include <memory>

#include "check/check_display.h"
#include "check/program_state.h"
#include "collection/collect_files.h"
#include "worker/tkern.h"
#include "platform/message_pump.h"

namespace korvax {

// Pool rules: below this load (percent) the pool may grow; above the dispatch limit with
// two workers or more, nothing is handed out in that pass.
inline constexpr std::int32_t kGrowBelowLoad = 60;
inline constexpr std::int32_t kDispatchUpToLoad = 60;
inline constexpr std::size_t kFreeGrowthWorkers = 16;
inline constexpr double kGrowthRatio = 0.99;

struct CheckOptions {
    FileCheckOptions fileCheck{};
    // What the walk collects (exclusions, size limit, folders entered); what it passes over
    // goes to the display whatever is set here.
    CollectOptions collect{};
    // Makes a worker (created suspended). Tests replace it to make creation fail.
    std::function<std::unique_ptr<TKern>(WorkerEnvironment)> makeWorker;
};

// Runs one check. A failure inside it (a worker that cannot be created, say) ends every
// worker already created, empties the queues and restores the buttons before it is
// raised again to the caller, so nothing is left running.
void SpeedButton3Click(ProgramState& state, CheckDisplay& display, MessagePump& pump,
                       const CheckOptions& options = {});

// The stop button: the loop sees it when the pass in progress ends.
inline void SpeedButton4Click(ProgramState& state) { state.StopRequested = true; }

// Files left: the names still waiting in the queues.
std::int64_t FilesLeft(const ProgramState& state);

// Whether a dispatching pass adds a worker: files are left, the load is below 60, and the
// pool has fewer than 16 workers or (pending + 1) / (workers + 1) is below 0.99, which
// from 16 workers on lets it grow only while some workers are idle after the dispatch.
bool PoolMayGrow(std::int64_t filesLeft, std::int32_t cpuLoad, std::size_t workers, std::int32_t pendingCount);

}  // namespace korvax
