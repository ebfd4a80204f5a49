#include "cli/run_clock.h"

#include <sys/resource.h>
#include <time.h>

#include <cstdio>

namespace korvax::cli {
namespace {

double CpuSeconds(clockid_t clock) {
    timespec value{};
    ::clock_gettime(clock, &value);
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

}  // namespace

RunClock::RunClock()
    : start_(std::chrono::steady_clock::now()),
      uiCpuAtStart_(CpuSeconds(CLOCK_THREAD_CPUTIME_ID)),
      processCpuAtStart_(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID)) {}

std::string RunClock::report(std::int32_t workersCreated) const {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    char text[200];
    std::snprintf(text, sizeof text, "wall %.2f s, ui-thread cpu %.2f s, process cpu %.2f s, peak rss %.1f MB, workers %d",
                  wall, CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - uiCpuAtStart_,
                  CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processCpuAtStart_,
                  static_cast<double>(usage.ru_maxrss) / 1024.0, workersCreated);
    return text;
}

}  // namespace korvax::cli
