#include "check/program_state.h"

namespace korvax {

CheckCounts CountsOf(const ProgramState& state) {
    CheckCounts counts;
    counts.pending = state.pool.PendingCount;
    counts.workers = static_cast<std::int64_t>(state.pool.Threads->size());
    counts.checked = state.pool.CheckedCount;
    counts.cured = state.pool.counters.CuredCount.load();
    counts.viruses = state.pool.counters.VirusCount.load();
    counts.total = state.files.TotalFiles;
    return counts;
}

}  // namespace korvax
