#include "monitor/status_refresh.h"

#include <algorithm>

namespace korvax {

StatusFigures RefreshStatus(CpuUsageFunction usage, std::int32_t& CpuLoad, const CheckCounts& counts) {
    CpuLoad = usage();
    StatusFigures figures;
    const std::int64_t magnitude = CpuLoad < 0 ? -static_cast<std::int64_t>(CpuLoad) : CpuLoad;
    figures.load = std::to_string(magnitude) + "%";
    figures.pool = std::to_string(counts.pending) + "/" + std::to_string(counts.workers);
    if (counts.total > 0) {
        // 32-bit arithmetic as the gauge has always done it: the product wraps past 2^31.
        const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(counts.checked) * 100U);
        figures.gauge = std::clamp(product / counts.total, 0, 100);
    }
    figures.checked = std::to_string(counts.checked);
    figures.cured = std::to_string(counts.cured);
    figures.viruses = std::to_string(counts.viruses);
    return figures;
}

}  // namespace korvax
