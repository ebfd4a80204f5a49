#include "platform/terminal_process.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <csignal>

namespace korvax {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void OnStopSignal(int) { gStopRequested = 1; }

double Seconds(clockid_t clock) {
    timespec value{};
    if (::clock_gettime(clock, &value) != 0) return 0;
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

}  // namespace

void StartTerminalProgram(int& /*argc*/, char**& /*argv*/) {
    // Arguments and output are bytes already, taken and written as they are.
}

int OnlineProcessorCount() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void InstallStopRequests() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second signal ends the program
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return gStopRequested != 0; }

double ThreadCpuSeconds() { return Seconds(CLOCK_THREAD_CPUTIME_ID); }

double ProcessCpuSeconds() { return Seconds(CLOCK_PROCESS_CPUTIME_ID); }

std::int64_t PeakResidentBytes() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;  // Linux counts kilobytes
}

}  // namespace korvax
