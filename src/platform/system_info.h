#pragma once
// Small OS services the scanner's start-up and monitor use.
//
// Thread safety: RealTimePriority changes the calling thread (and the process's class on
// Windows) and belongs to that thread; the rest has no state.

#include <cstdint>
#include <ctime>
#include <string>

namespace korvax {

// The processor's cycle counter (the time-stamp counter on x86).
std::uint64_t ReadCycleCounter();

// Raises the calling process and thread to the highest real-time priority for as long as
// the object lives, and restores what was there before: on Windows the real-time priority
// class and a time-critical thread, on Linux SCHED_FIFO at its highest priority for the
// thread. Refusal is silent: the measurement then runs at normal priority.
class RealTimePriority {
public:
    RealTimePriority();
    RealTimePriority(const RealTimePriority&) = delete;
    RealTimePriority& operator=(const RealTimePriority&) = delete;
    ~RealTimePriority();

private:
    int savedClass_ = 0;     // the scheduling policy (Linux) or the process's priority class (Windows)
    int savedPriority_ = 0;  // the thread's priority
    bool raised_ = false;
};

// Gives up the processor for `milliseconds` (0 or less: only lets others run).
void SleepMilliseconds(std::int64_t milliseconds);

// Total physical memory in bytes.
std::int64_t TotalPhysicalMemory();

// The calendar fields of `time` in UTC (safe from any thread, unlike std::gmtime).
std::tm UtcCalendarTime(std::time_t time);

// The running process's id.
std::int64_t ProcessId();

// The current working directory (without a trailing separator but at a root), or an
// empty text when it cannot be read.
std::string CurrentDirectory();

// The folder that holds the running program (no trailing separator), or an empty text.
std::string ProgramDirectory();

}  // namespace korvax
