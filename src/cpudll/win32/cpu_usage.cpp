// cpudll.dll: the processor load in percent, for the scanner's monitor (Windows).
//
// The load is the share of non-idle time in the system-wide times GetSystemTimes gives,
// since the previous call (since the library was loaded, for the first call). The kernel
// time it reports includes the idle time. One call takes a few microseconds: prompt enough
// for a call every 500 ms on the user-interface thread.

#include <windows.h>

#include <cstdint>
#include <mutex>

namespace {

struct CpuTimes {
    std::uint64_t busy = 0;
    std::uint64_t total = 0;
    bool valid = false;
};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

CpuTimes ReadCpuTimes() {
    CpuTimes times;
    FILETIME idle{}, kernel{}, user{};
    if (!::GetSystemTimes(&idle, &kernel, &user)) return times;
    times.total = Ticks(kernel) + Ticks(user);
    const std::uint64_t idleTicks = Ticks(idle);
    times.busy = times.total >= idleTicks ? times.total - idleTicks : 0;
    times.valid = true;
    return times;
}

std::mutex gLock;
CpuTimes gPrevious = ReadCpuTimes();

}  // namespace

// Exported undecorated by cpudll.def; the C calling convention, no arguments.
extern "C" std::int32_t CpuUsage(void) {
    std::lock_guard lock(gLock);
    const CpuTimes now = ReadCpuTimes();
    if (!now.valid) return 0;
    const CpuTimes before = gPrevious;
    gPrevious = now;
    if (!before.valid || now.total <= before.total) return 0;
    const std::uint64_t total = now.total - before.total;
    const std::uint64_t busy = now.busy >= before.busy ? now.busy - before.busy : 0;
    const std::uint64_t percent = (busy * 100 + total / 2) / total;
    return static_cast<std::int32_t>(percent > 100 ? 100 : percent);
}
