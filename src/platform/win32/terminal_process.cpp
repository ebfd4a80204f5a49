#include "platform/terminal_process.h"

#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <thread>

namespace korvax {
namespace {

std::atomic<int> gStopRequests{0};

// Runs on a thread the system starts for the event. Returning TRUE keeps the program
// running; FALSE hands the event to the default handler, which ends it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return gStopRequests.fetch_add(1) == 0 ? TRUE : FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The program ends as soon as this returns: wait here while the main thread
        // finishes the files in hand and returns from main (which ends the process and
        // this thread), or until the system's grace runs out.
        gStopRequests.fetch_add(1);
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

double Seconds(const FILETIME& kernel, const FILETIME& user) {
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
}

}  // namespace

int OnlineProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallStopRequests() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool StopRequested() { return gStopRequests.load() != 0; }

double ThreadCpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    return Seconds(kernel, user);
}

double ProcessCpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return Seconds(kernel, user);
}

std::int64_t PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return static_cast<std::int64_t>(counters.PeakWorkingSetSize);
}

}  // namespace korvax
