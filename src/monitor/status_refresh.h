#pragma once
// The periodic refresh (every 500 ms): read the processor load, then work out every figure
// the windows show. The windows (or the terminal) only write the texts.
//
// Runs on the user-interface thread.

#include <cstdint>
#include <optional>
#include <string>

#include "monitor/cpu_load.h"

namespace korvax {

// The check's numbers the figures are made from, read on the user-interface thread.
struct CheckCounts {
    std::int32_t pending = 0;   // PendingCount
    std::int64_t workers = 0;   // slots in the pool
    std::int32_t checked = 0;   // CheckedCount
    std::int32_t cured = 0;     // CuredCount
    std::int32_t viruses = 0;   // VirusCount
    std::int32_t total = 0;     // TotalFiles
};

struct StatusFigures {
    std::string load;            // |CpuLoad| and "%": the sign is dropped for display only
    std::string pool;            // "PendingCount/workers"
    std::optional<int> gauge;    // 0..100; unset while nothing was collected
    std::string checked;         // CheckedCount
    std::string cured;           // CuredCount
    std::string viruses;         // VirusCount
};

// Reads the load into `CpuLoad` (once per call) and computes the figures. The progress is
// CheckedCount * 100 / TotalFiles in 32-bit integers, truncated toward zero and clamped to
// the gauge's 0..100; with TotalFiles 0 or below the gauge keeps what it showed.
StatusFigures RefreshStatus(CpuUsageFunction usage, std::int32_t& CpuLoad, const CheckCounts& counts);

}  // namespace korvax
