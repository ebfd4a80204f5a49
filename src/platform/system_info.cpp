#include "platform/system_info.h"

#include <pthread.h>
#include <sched.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace korvax {

std::uint64_t ReadCycleCounter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#elif defined(__aarch64__)
    std::uint64_t value;
    asm volatile("mrs %0, cntvct_el0" : "=r"(value));
    return value;
#else
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

RealTimePriority::RealTimePriority() {
    sched_param current{};
    if (::pthread_getschedparam(::pthread_self(), &policy_, &current) != 0) return;
    priority_ = current.sched_priority;
    sched_param raised{};
    raised.sched_priority = ::sched_get_priority_max(SCHED_FIFO);
    raised_ = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &raised) == 0;
}

RealTimePriority::~RealTimePriority() {
    if (!raised_) return;
    sched_param previous{};
    previous.sched_priority = priority_;
    ::pthread_setschedparam(::pthread_self(), policy_, &previous);
}

void SleepMilliseconds(std::int64_t milliseconds) {
    if (milliseconds <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t TotalPhysicalMemory() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return 0;
    return static_cast<std::int64_t>(info.totalram) * info.mem_unit;
}

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1U << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace korvax
