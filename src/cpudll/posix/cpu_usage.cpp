// libcpudll.so: the processor load in percent, for the scanner's monitor (Linux).
//
// The load is the share of non-idle time in the system-wide counters of /proc/stat since
// the previous call (since the library was loaded, for the first call). Each call reads
// one small file: prompt enough for a call every 500 ms on the user-interface thread.

#include <cstdint>
#include <cstdio>
#include <mutex>

namespace {

struct CpuTimes {
    unsigned long long busy = 0;
    unsigned long long total = 0;
    bool valid = false;
};

CpuTimes ReadCpuTimes() {
    CpuTimes times;
    std::FILE* stat = std::fopen("/proc/stat", "re");
    if (stat == nullptr) return times;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    const int fields = std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system,
                                   &idle, &iowait, &irq, &softirq, &steal);
    std::fclose(stat);
    if (fields < 4) return times;
    const unsigned long long idleAll = idle + iowait;
    times.total = user + nice + system + idle + iowait + irq + softirq + steal;
    times.busy = times.total - idleAll;
    times.valid = true;
    return times;
}

std::mutex gLock;
CpuTimes gPrevious;

__attribute__((constructor)) void TakeFirstReading() { gPrevious = ReadCpuTimes(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t CpuUsage(void) {
    std::lock_guard lock(gLock);
    const CpuTimes now = ReadCpuTimes();
    if (!now.valid) return 0;
    const CpuTimes before = gPrevious;
    gPrevious = now;
    if (!before.valid || now.total <= before.total) return 0;
    const unsigned long long total = now.total - before.total;
    const unsigned long long busy = now.busy >= before.busy ? now.busy - before.busy : 0;
    return static_cast<std::int32_t>((busy * 100 + total / 2) / total);
}
