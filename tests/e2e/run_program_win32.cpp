// Running a program of ours as a Windows user would: the wide command line (so arguments
// keep every character), standard output and error through pipes, exit code.
#include <windows.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/wide_text.h"
#include "run_program.h"

namespace korvax::e2e {
namespace {

std::wstring Wide(const std::string& text) {
    const auto units = WideFromUtf8(text);
    if (!units) throw std::runtime_error("not WTF-8: " + text);
    return std::wstring(units->begin(), units->end());
}

// One argument quoted as CommandLineToArgvW and the C runtime read it back.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    return quoted + L"\"";
}

// The test's own environment with `settings` added ("NAME=value" each, replacing a
// variable of that name), as CreateProcessW takes it.
std::wstring EnvironmentBlock(const std::vector<std::string>& settings) {
    std::vector<std::wstring> entries;
    for (const std::string& setting : settings) entries.push_back(Wide(setting));
    wchar_t* inherited = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = inherited; *entry != L'\0'; entry += ::wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::wstring name = text.substr(0, text.find(L'=', 1));
        bool replaced = false;
        for (const std::wstring& setting : entries) replaced = replaced || setting.rfind(name + L"=", 0) == 0;
        if (!replaced) entries.push_back(text);
    }
    ::FreeEnvironmentStringsW(inherited);
    std::wstring block;
    for (const std::wstring& entry : entries) block += entry + L'\0';
    return block + L'\0';
}

}  // namespace

// The Windows side keeps its handles and reader threads here, behind the POSIX-shaped
// members: pid_ holds the process id, outFd_/errFd_ index `gRunning`.
struct Running {
    HANDLE process = nullptr;
    HANDLE out = nullptr;
    HANDLE err = nullptr;
    std::mutex mutex;
    std::string outText;
    std::string errText;
    std::thread outReader;
    std::thread errReader;
    bool outDone = false;
    bool errDone = false;
};

namespace {

std::mutex gTable;
std::vector<std::unique_ptr<Running>> gRunning;

Running& Find(int index) {
    std::lock_guard lock(gTable);
    return *gRunning.at(static_cast<std::size_t>(index));
}

void ReadAll(Running& running, HANDLE pipe, std::string& into, bool& done) {
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        std::lock_guard lock(running.mutex);
        into.append(buffer, got);
    }
    std::lock_guard lock(running.mutex);
    done = true;
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, const std::vector<std::string>& environment) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inheritable, 0) || !::CreatePipe(&errRead, &errWrite, &inheritable, 0)) {
        throw std::runtime_error("CreatePipe");
    }
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    const HANDLE input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr);

    std::wstring command = Quoted(Wide(program));
    for (const std::string& argument : arguments) command += L" " + Quoted(Wide(argument));
    std::wstring block = EnvironmentBlock(environment);
    const std::wstring folder = workingFolder.empty() ? std::wstring() : Wide(workingFolder);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    // A process group of its own: Ctrl-Break reaches it alone.
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                          CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP, block.data(),
                                          folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    ::CloseHandle(input);
    if (!started) {
        ::CloseHandle(outRead);
        ::CloseHandle(errRead);
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(::GetLastError()) + ")");
    }
    ::CloseHandle(process.hThread);
    auto running = std::make_unique<Running>();
    running->process = process.hProcess;
    running->out = outRead;
    running->err = errRead;
    Running& kept = *running;
    kept.outReader = std::thread([&kept] { ReadAll(kept, kept.out, kept.outText, kept.outDone); });
    kept.errReader = std::thread([&kept] { ReadAll(kept, kept.err, kept.errText, kept.errDone); });
    std::lock_guard lock(gTable);
    gRunning.push_back(std::move(running));
    outFd_ = static_cast<int>(gRunning.size() - 1);
    pid_ = static_cast<int>(process.dwProcessId);
}

RunningProgram::~RunningProgram() {
    if (outFd_ < 0) return;
    Running& running = Find(outFd_);
    if (running.process != nullptr) {
        ::TerminateProcess(running.process, 137);
        ::WaitForSingleObject(running.process, INFINITE);
    }
    if (running.outReader.joinable()) running.outReader.join();
    if (running.errReader.joinable()) running.errReader.join();
    if (running.process != nullptr) ::CloseHandle(running.process);
    ::CloseHandle(running.out);
    ::CloseHandle(running.err);
    running.process = nullptr;
}

bool RunningProgram::pump(int timeoutMs) {
    Running& running = Find(outFd_);
    ::Sleep(static_cast<DWORD>(timeoutMs));
    std::lock_guard lock(running.mutex);
    result_.out = running.outText;
    result_.err = running.errText;
    return !(running.outDone && running.errDone);
}

void RunningProgram::waitForOutput(const std::function<bool(const std::string&)>& ready) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < until) {
        const bool open = pump(10);
        if (ready(result_.out) || !open) return;
    }
}

void RunningProgram::signal(int /*signalNumber*/) {
    // What Ctrl-Break typed in its console does: the program's process group hears it.
    ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid_));
}

ProgramResult RunningProgram::finish() {
    Running& running = Find(outFd_);
    ::WaitForSingleObject(running.process, INFINITE);
    if (running.outReader.joinable()) running.outReader.join();
    if (running.errReader.joinable()) running.errReader.join();
    DWORD code = 0;
    ::GetExitCodeProcess(running.process, &code);
    ::CloseHandle(running.process);
    running.process = nullptr;
    result_.exitStatus = static_cast<int>(code);
    result_.out = running.outText;
    result_.err = running.errText;
    return result_;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingFolder, const std::vector<std::string>& environment) {
    return RunningProgram(program, arguments, workingFolder, environment).finish();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace korvax::e2e
