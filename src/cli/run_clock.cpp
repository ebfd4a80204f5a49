#include "cli/run_clock.h"

#include <cstdio>

#include "platform/terminal_process.h"

namespace korvax::cli {

RunClock::RunClock()
    : start_(std::chrono::steady_clock::now()),
      uiCpuAtStart_(ThreadCpuSeconds()),
      processCpuAtStart_(ProcessCpuSeconds()) {}

std::string RunClock::report(std::int32_t workersCreated) const {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[200];
    std::snprintf(text, sizeof text, "wall %.2f s, ui-thread cpu %.2f s, process cpu %.2f s, peak rss %.1f MB, workers %d",
                  wall, ThreadCpuSeconds() - uiCpuAtStart_, ProcessCpuSeconds() - processCpuAtStart_,
                  static_cast<double>(PeakResidentBytes()) / (1024.0 * 1024.0), workersCreated);
    return text;
}

}  // namespace korvax::cli
