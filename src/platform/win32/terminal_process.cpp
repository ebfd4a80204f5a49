#include "platform/terminal_process.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/console_events.h"
#include "platform/win32/console_text.h"
#include "platform/win32/system_path.h"

namespace korvax {
namespace {

// A stream to a console window: the program's UTF-8, written through WriteConsoleW at
// every line end and flush.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n' || pending_.size() >= 4096) sync();
        return c;
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        pending_.append(data, static_cast<std::size_t>(size));
        if (pending_.find('\n') != std::string::npos || pending_.size() >= 4096) sync();
        return size;
    }
    int sync() override {
        const std::wstring text = win32::TakeConsoleText(pending_);
        for (std::size_t done = 0; done < text.size();) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 16384));
            if (!::WriteConsoleW(console_, text.data() + done, piece, &written, nullptr) || written == 0) return -1;
            done += written;
        }
        return 0;
    }

private:
    HANDLE console_;
    std::string pending_;
};

// Where `stream` writes to a console, it writes through the console's wide interface from
// now on. The buffer lives as long as the program: the streams flush into it at exit.
void WriteConsoleWide(std::ostream& stream, DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return;
    stream.flush();
    stream.rdbuf(new ConsoleBuffer(handle));
}

std::atomic<int> gStopRequests{0};

// Runs on a thread the system starts for the event. Returning TRUE keeps the program
// running; FALSE hands the event to the default handler, which ends it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (win32::AnswerConsoleEvent(event, gStopRequests.fetch_add(1))) {
        case win32::ConsoleAnswer::StopAndGoOn: return TRUE;
        case win32::ConsoleAnswer::StopAndWait:
            // The program ends as soon as this returns: wait here while the main thread
            // finishes the files in hand and returns from main (which ends the process and
            // this thread), or until the system's grace runs out.
            ::Sleep(INFINITE);
            return TRUE;
        case win32::ConsoleAnswer::Ignore: gStopRequests.fetch_sub(1); return FALSE;
        case win32::ConsoleAnswer::EndNow: return FALSE;
    }
    return FALSE;
}

double Seconds(const FILETIME& kernel, const FILETIME& user) {
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
}

}  // namespace

void StartTerminalProgram(int& argc, char**& argv) {
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide != nullptr) {
        arguments.clear();
        for (int i = 0; i < count; ++i) arguments.push_back(win32::ProgramText(wide[i], ::wcslen(wide[i])));
        ::LocalFree(wide);
        pointers.clear();
        for (std::string& argument : arguments) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        argc = count;
        argv = pointers.data();
    }
    // Bytes out as they are written: no "\r" added before a "\n".
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    WriteConsoleWide(std::cout, STD_OUTPUT_HANDLE);
    WriteConsoleWide(std::cerr, STD_ERROR_HANDLE);
    WriteConsoleWide(std::clog, STD_ERROR_HANDLE);
}

int OnlineProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallStopRequests() {
    // A program started in a process group of its own (as `start` and many launchers do)
    // begins with Ctrl-C turned off: it is turned on, so that Ctrl-C stops the check.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

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

namespace win32 {

ConsoleAnswer AnswerConsoleEvent(DWORD event, int requestsBefore) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: return requestsBefore == 0 ? ConsoleAnswer::StopAndGoOn : ConsoleAnswer::EndNow;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: return ConsoleAnswer::StopAndWait;
        default: return ConsoleAnswer::Ignore;
    }
}

}  // namespace win32
}  // namespace korvax
