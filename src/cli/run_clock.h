#pragma once
// The figures `korvax-scan --stats` reports: where the time and memory of a check went.

#include <chrono>
#include <cstdint>
#include <string>

namespace korvax::cli {

class RunClock {
public:
    RunClock();
    // "wall 12.3 s, ui-thread cpu 1.2 s, process cpu 20.1 s, peak rss 35 MB, workers 7"
    std::string report(std::int32_t workersCreated) const;

private:
    std::chrono::steady_clock::time_point start_;
    double uiCpuAtStart_ = 0;
    double processCpuAtStart_ = 0;
};

}  // namespace korvax::cli
