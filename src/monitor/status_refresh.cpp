#include "monitor/status_refresh.h"

#include <algorithm>

namespace korvax {

StatusFigures RefreshStatus(CpuUsageFunction usage, std::int32_t& CpuLoad, const WorkerPool& pool,
                            std::int32_t TotalFiles) {
    CpuLoad = usage();
    StatusFigures figures;
    const std::int64_t magnitude = CpuLoad < 0 ? -static_cast<std::int64_t>(CpuLoad) : CpuLoad;
    figures.load = std::to_string(magnitude) + "%";
    figures.pool = std::to_string(pool.PendingCount) + "/" + std::to_string(pool.Threads->size());
    if (TotalFiles > 0) {
        // 32-bit arithmetic as the gauge has always done it: the product wraps past 2^31.
        const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(pool.CheckedCount) * 100U);
        figures.gauge = std::clamp(product / TotalFiles, 0, 100);
    }
    figures.checked = std::to_string(pool.CheckedCount);
    figures.cured = std::to_string(pool.counters.CuredCount.load());
    figures.viruses = std::to_string(pool.counters.VirusCount.load());
    return figures;
}

}  // namespace korvax
