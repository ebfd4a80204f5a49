#include "platform/system_info.h"

#include <pthread.h>
#include <sched.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace korvax {

RealTimePriority::RealTimePriority() {
    sched_param current{};
    if (::pthread_getschedparam(::pthread_self(), &savedClass_, &current) != 0) return;
    savedPriority_ = current.sched_priority;
    sched_param raised{};
    raised.sched_priority = ::sched_get_priority_max(SCHED_FIFO);
    raised_ = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &raised) == 0;
}

RealTimePriority::~RealTimePriority() {
    if (!raised_) return;
    sched_param previous{};
    previous.sched_priority = savedPriority_;
    ::pthread_setschedparam(::pthread_self(), savedClass_, &previous);
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

std::tm UtcCalendarTime(std::time_t time) {
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    return parts;
}

std::int64_t ProcessId() { return ::getpid(); }

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
