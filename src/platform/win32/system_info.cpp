#include "platform/system_info.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/system_path.h"

namespace korvax {

RealTimePriority::RealTimePriority() {
    const DWORD priorityClass = ::GetPriorityClass(::GetCurrentProcess());
    const int threadPriority = ::GetThreadPriority(::GetCurrentThread());
    if (priorityClass == 0 || threadPriority == THREAD_PRIORITY_ERROR_RETURN) return;
    savedClass_ = static_cast<int>(priorityClass);
    savedPriority_ = threadPriority;
    // Without the right to raise it, Windows grants the high class instead of the real-time
    // one and says yes: the measurement still runs above ordinary work.
    const bool classRaised = ::SetPriorityClass(::GetCurrentProcess(), REALTIME_PRIORITY_CLASS) != 0;
    const bool threadRaised = ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
    raised_ = classRaised || threadRaised;
}

RealTimePriority::~RealTimePriority() {
    if (!raised_) return;
    ::SetThreadPriority(::GetCurrentThread(), savedPriority_);
    ::SetPriorityClass(::GetCurrentProcess(), static_cast<DWORD>(savedClass_));
}

void SleepMilliseconds(std::int64_t milliseconds) {
    // Sleep(0) gives the rest of the time slice to a ready thread, as a yield does.
    ::Sleep(milliseconds <= 0 ? 0 : static_cast<DWORD>(std::min<std::int64_t>(milliseconds, INFINITE - 1)));
}

std::int64_t TotalPhysicalMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status)) return 0;
    return static_cast<std::int64_t>(status.ullTotalPhys);
}

std::tm UtcCalendarTime(std::time_t time) {
    std::tm parts{};
    ::gmtime_s(&parts, &time);
    return parts;
}

std::int64_t ProcessId() { return ::GetCurrentProcessId(); }

std::string ProgramDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        // Cut to fit: the buffer was too small.
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
    const auto separator = buffer.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::string() : win32::ProgramText(buffer.substr(0, separator));
}

std::string CurrentDirectory() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return {};
    std::wstring buffer(needed, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0 || length >= needed) return {};
    buffer.resize(length);
    return win32::ProgramText(buffer);
}

}  // namespace korvax
