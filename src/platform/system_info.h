#pragma once
// Small OS services the scanner's start-up and monitor use.

#include <cstdint>
#include <string>

namespace korvax {

// The processor's cycle counter (the time-stamp counter on x86).
std::uint64_t ReadCycleCounter();

// Raises the calling process and thread to the highest real-time priority for as long as
// the object lives, and restores what was there before. Refusal is silent: the
// measurement then runs at normal priority.
class RealTimePriority {
public:
    RealTimePriority();
    RealTimePriority(const RealTimePriority&) = delete;
    RealTimePriority& operator=(const RealTimePriority&) = delete;
    ~RealTimePriority();

private:
    int policy_ = 0;
    int priority_ = 0;
    bool raised_ = false;
};

void SleepMilliseconds(std::int64_t milliseconds);

// Total physical memory in bytes.
std::int64_t TotalPhysicalMemory();

// The current working directory, or an empty text when it cannot be read.
std::string CurrentDirectory();

// The folder that holds the running program (no trailing '/'), or an empty text.
std::string ProgramDirectory();

}  // namespace korvax
