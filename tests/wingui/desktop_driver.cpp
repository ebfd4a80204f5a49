// Drives korvax.exe from outside, as a user would, through the window system only: starts
// it on a folder, presses "Начать проверку", and once the check has ended reads back what
// its windows show, then closes it with its close box. Prints, one a line (UTF-8):
//
//   total<TAB>N            "Всего:" of the main window
//   counters<TAB>C<TAB>U<TAB>V   checked, cured and virus counts of the statistics window
//   row<TAB>PATH<TAB>STATUS<TAB>ACTION   each row of the statistics window's list
//   exit<TAB>N             korvax.exe's exit status once its main window was closed
//
//   desktop_driver.exe KORVAX_EXE WORKING_FOLDER [ARGUMENT...]
//   desktop_driver.exe command WORKING_FOLDER COMMAND_LINE
//
// The second form runs COMMAND_LINE as it stands (program and arguments, quoted as the
// system reads them), as Explorer runs the command of a menu entry. Before the check,
// both print the settings window's list as the program started with it:
//
//   folder<TAB>PATH        each folder of the list
//
// Exit status 0 when all of it could be read, else 1 with the reason on stderr.
//
// For the screenshots (scripts/screenshots-windows.sh) it also presses one button of a
// running korvax.exe, or types a text into one of its controls, and returns at once:
//
//   desktop_driver.exe press WINDOW_TITLE CONTROL_ID
//   desktop_driver.exe type WINDOW_TITLE CONTROL_ID TEXT
//   desktop_driver.exe select WINDOW_TITLE CONTROL_ID ROW    (a row of a report list)
//   desktop_driver.exe where WINDOW_TITLE CONTROL_ID         (prints its place on the screen: x y width height)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wingui/mainunit.h"
#include "wingui/options.h"
#include "wingui/statistic.h"
#include "wingui/win_text.h"

namespace {

using korvax::wingui::Utf8;
using korvax::wingui::Wide;

struct Found {
    DWORD process;
    std::wstring title;
    HWND window = nullptr;
};

// EnumWindows' callback: a named function, as the 32-bit system calls it with its own
// calling convention (stdcall), which a lambda cannot take on.
BOOL CALLBACK IsWantedWindow(HWND window, LPARAM data) {
    auto* wanted = reinterpret_cast<Found*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {}, text[64] = {};
    ::GetClassNameW(window, name, 64);
    ::GetWindowTextW(window, text, 64);
    if (owner == wanted->process && wanted->title == text && lstrcmpW(name, L"KorvaxWindow") == 0) {
        wanted->window = window;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of `process` titled `title` (one of the program's own windows).
HWND FindProgramWindow(DWORD process, const std::wstring& title) {
    Found found{process, title};
    ::EnumWindows(IsWantedWindow, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

std::string Text(HWND control) {
    wchar_t text[256] = {};
    ::SendMessageW(control, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return Utf8(text);
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "desktop_driver: %s\n", why.c_str());
    return 1;
}

// The rows of a report list in another process: its texts are read through a buffer in
// that process's memory, which the list fills.
std::vector<std::string> Rows(HANDLE process, HWND list) {
    constexpr int kChars = 4096;
    std::vector<std::string> rows;
    auto* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t),
                                                       MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return rows;
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string line;
        for (int column = 0; column < 3; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            item.cchTextMax = kChars;
            ::WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
            std::vector<wchar_t> text(kChars, L'\0');
            ::ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), (kChars - 1) * sizeof(wchar_t), nullptr);
            line += (column > 0 ? "\t" : "") + Utf8(text.data());
        }
        rows.push_back(line);
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return rows;
}

// What a message box on the screen says (one the program stopped at), if there is one.
std::string BoxText() {
    HWND box = ::FindWindowW(L"#32770", nullptr);
    std::string said;
    if (box != nullptr) {
        for (HWND part = ::GetWindow(box, GW_CHILD); part != nullptr; part = ::GetWindow(part, GW_HWNDNEXT)) {
            said += " " + Text(part);
        }
    }
    return said.empty() ? std::string() : "; a message box says:" + said;
}

// Starts `command` (of the program `application`, or the program it names first when that
// is null) in `folder`, prints the list of folders, presses "Начать проверку" and prints
// what the windows show once the check has ended.
int DriveCheck(const wchar_t* application, std::wstring command, const wchar_t* folder) {
    STARTUPINFOW start{};
    start.cb = sizeof(start);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(application, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &start, &child)) {
        return Fail("cannot start " + Utf8(command) + " (error " + std::to_string(::GetLastError()) + ")");
    }
    // A failure leaves no program behind that would hold the test's Wine.
    const auto abandon = [&child](const std::string& why) {
        ::TerminateProcess(child.hProcess, 1);
        return Fail(why);
    };
    HWND main = nullptr;
    for (int waited = 0; main == nullptr && waited < 600; ++waited) {
        ::Sleep(100);  // the start-up measures the clock for half a second
        main = FindProgramWindow(child.dwProcessId, L"Korvax");
        if (main != nullptr && !::IsWindowVisible(main)) main = nullptr;
    }
    if (main == nullptr) return abandon("korvax.exe showed no main window within a minute" + BoxText());
    ::WaitForInputIdle(child.hProcess, 10000);
    HWND settings = FindProgramWindow(child.dwProcessId, Wide("Настройки"));
    if (settings == nullptr) settings = FindProgramWindow(child.dwProcessId, L"Settings");
    if (settings == nullptr) return abandon("no settings window");
    // A list box's texts are copied between the processes by the system itself.
    HWND list = ::GetDlgItem(settings, korvax::wingui::kListBox1);
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < count; ++entry) {
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(entry), 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(text.data()))));
        std::printf("folder\t%s\n", Utf8(text).c_str());
    }

    // The press returns when the check has ended: it runs inside the button's handler. A
    // message box the check ended with would hold it: then what it says is the failure.
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(::GetDlgItem(main, korvax::wingui::kSpeedButton3), BM_CLICK, 0, 0, SMTO_NORMAL, 600000,
                               &ignored)) {
        return abandon("the check did not end within ten minutes" + BoxText());
    }
    HWND statistics = FindProgramWindow(child.dwProcessId, Wide("Статистика"));
    if (statistics == nullptr) statistics = FindProgramWindow(child.dwProcessId, L"Statistics");
    if (statistics == nullptr) return abandon("no statistics window");
    ::Sleep(1200);  // two refreshes of the figures
    std::printf("total\t%s\n", Text(::GetDlgItem(main, korvax::wingui::kLabel1 + 9)).c_str());
    std::printf("counters\t%s\t%s\t%s\n", Text(::GetDlgItem(statistics, korvax::wingui::kStatLabel5)).c_str(),
                Text(::GetDlgItem(statistics, korvax::wingui::kStatLabel6)).c_str(),
                Text(::GetDlgItem(statistics, korvax::wingui::kStatLabel7)).c_str());
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, child.dwProcessId);
    if (process == nullptr) return abandon("cannot read korvax.exe's memory");
    for (const std::string& row : Rows(process, ::GetDlgItem(statistics, korvax::wingui::kListView1))) {
        std::printf("row\t%s\n", row.c_str());
    }
    ::CloseHandle(process);

    ::PostMessageW(main, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(child.hProcess, 30000) != WAIT_OBJECT_0) return Fail("korvax.exe did not end when closed");
    DWORD status = 0;
    ::GetExitCodeProcess(child.hProcess, &status);
    std::printf("exit\t%lu\n", status);
    return 0;
}

}  // namespace

// The control `id` of the program's window titled `title`, in any process.
HWND ControlOf(const std::wstring& title, int id) {
    HWND window = nullptr;
    for (int waited = 0; window == nullptr && waited < 100; ++waited) {
        window = ::FindWindowW(L"KorvaxWindow", title.c_str());
        if (window == nullptr) ::Sleep(100);
    }
    return window != nullptr ? ::GetDlgItem(window, id) : nullptr;
}

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && (std::wstring(argv[1]) == L"press" || std::wstring(argv[1]) == L"type")) {
        HWND control = ControlOf(argv[2], _wtoi(argv[3]));
        if (control == nullptr) return Fail("no control " + Utf8(argv[3]) + " in a window \"" + Utf8(argv[2]) + "\"");
        if (std::wstring(argv[1]) == L"press") {
            ::PostMessageW(control, BM_CLICK, 0, 0);
        } else if (argc >= 5) {
            ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        }
        return 0;
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"where") {
        HWND control = ControlOf(argv[2], _wtoi(argv[3]));
        if (control == nullptr) return Fail("no control " + Utf8(argv[3]) + " in a window \"" + Utf8(argv[2]) + "\"");
        RECT place{};
        ::GetWindowRect(control, &place);
        std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right - place.left, place.bottom - place.top);
        return 0;
    }
    if (argc >= 5 && std::wstring(argv[1]) == L"select") {
        HWND list = ControlOf(argv[2], _wtoi(argv[3]));
        if (list == nullptr) return Fail("no list " + Utf8(argv[3]) + " in a window \"" + Utf8(argv[2]) + "\"");
        DWORD owner = 0;
        ::GetWindowThreadProcessId(list, &owner);
        HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
        void* remote = process != nullptr ? ::VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE)
                                          : nullptr;
        if (remote == nullptr) return Fail("cannot reach the list's process");
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(_wtoi(argv[4])), reinterpret_cast<LPARAM>(remote));
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        ::CloseHandle(process);
        return 0;
    }
    if (argc == 4 && std::wstring(argv[1]) == L"command") return DriveCheck(nullptr, argv[3], argv[2]);
    if (argc < 3) {
        return Fail("usage: desktop_driver.exe KORVAX_EXE WORKING_FOLDER [ARGUMENT...]\n"
                    "       desktop_driver.exe command WORKING_FOLDER COMMAND_LINE");
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    for (int i = 3; i < argc; ++i) command += L" \"" + std::wstring(argv[i]) + L"\"";
    return DriveCheck(argv[1], command, argv[2]);
}
