#pragma once
// Shared by the Win32 window tests: a program started in a temporary folder of its own
// (a database assembled from signature source, the backup store inside it, the quiet load
// library), failures recorded instead of shown in message boxes, controls found by their
// ids and pressed by message, and the layout rules every window keeps: each control
// inside the client area, none over another except where the design puts it there, and
// every caption whole in its control.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "language/signature_source.h"
#include "platform/current_directory.h"
#include "platform/system_info.h"
#include "test_support.h"
#include "wingui/error_display.h"
#include "wingui/options.h"
#include "wingui/program.h"
#include "wingui/renew.h"
#include "wingui/restore_window.h"
#include "wingui/statistic.h"
#include "wingui/win_text.h"

namespace korvax::wingui::test {

using korvax::test::Bytes;
using korvax::test::BytesOf;
using korvax::test::ReadBytes;
using korvax::test::TempFolder;

// A cure that takes a 16-byte header off a program, a detection without cure.
inline constexpr char kTestDatabase[] = R"(
entry "Test.Prepend"
match at 0 pattern "KVXP"
copy toend from 16 to 0
size cut 16
entry "Test.Mark"
match at 0 pattern "KVXM"
)";

inline Bytes CleanProgram(int n) {
    Bytes program = BytesOf("MZ clean program " + std::to_string(n));
    program.resize(program.size() + 40, 0x90);
    return program;
}

inline Bytes PrependInfected(const Bytes& program) {
    Bytes infected = BytesOf("KVXP");
    infected.resize(16, 0);
    infected.insert(infected.end(), program.begin(), program.end());
    return infected;
}

// Writes `bytes` as the file `name` (WTF-8, '\\'-separated, below `folder`), making the
// folders on the way: through the wide calls, so that any name is written as it is.
inline std::string WriteAt(const std::string& folder, const std::string& name, const Bytes& bytes) {
    std::string path = folder;
    std::size_t start = 0;
    for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', start)) {
        path = folder + "\\" + name.substr(0, at);
        ::CreateDirectoryW(Wide(path).c_str(), nullptr);
        start = at + 1;
    }
    path = folder + "\\" + name;
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return path;
}

// Always reports 5 % (quiet_cpu_load.cpp).
inline constexpr char kQuietLoadLibrary[] = "korvax-quiet-cpudll.dll";

class ProgramFixture {
public:
    explicit ProgramFixture(bool withDatabase = true, std::vector<std::string> folders = {}) : kept_(CurrentDirectory()) {
        if (withDatabase) write("virbase.kvd", AssembleSource(kTestDatabase));
        previous_ = SetErrorDisplay([this](const std::wstring& message) { errors.push_back(Utf8(message)); });
        ChangeCurrentDirectory(temp.path().string());
        options_.startup.steps.loadLibrary = kQuietLoadLibrary;
        options_.startup.steps.measureMhz = [] { return 2394.7L; };
        options_.startup.backupFolder = file("store");
        options_.folders = std::move(folders);
        program = std::make_unique<Program>(options_);
        if (program->Started()) ::ShowWindow(main().Handle(), SW_SHOW);
    }
    ~ProgramFixture() {
        program.reset();
        SetErrorDisplay(previous_);
        try {
            ChangeCurrentDirectory(kept_);
        } catch (...) {
        }
    }

    TForm1& main() { return program->Form1(); }
    TForm2& settings() { return program->Form2(); }
    TForm3& statistics() { return program->Form3(); }
    TForm4& update() { return program->Form4(); }
    RestoreWindow& restore() { return program->Restore(); }
    ProgramState& state() { return program->State(); }

    static std::string Text(const Window& window, int id) { return Utf8(WindowText(window.Control(id))); }
    static bool Enabled(const Window& window, int id) { return ::IsWindowEnabled(window.Control(id)) != FALSE; }
    static bool Shown(const Window& window, int id) { return ::IsWindowVisible(window.Control(id)) != FALSE; }
    // Presses a button by message, as a click does; a disabled button cannot be pressed.
    static void Press(const Window& window, int id) {
        HWND button = window.Control(id);
        if (!::IsWindowEnabled(button)) throw std::logic_error("pressing a disabled button " + std::to_string(id));
        ::SendMessageW(button, BM_CLICK, 0, 0);
    }

    // The rows of a report list as "first|second|...".
    static std::vector<std::string> Rows(HWND list) {
        std::vector<std::string> rows;
        HWND header = ListView_GetHeader(list);
        const int columns = Header_GetItemCount(header);
        for (int row = 0; row < ListView_GetItemCount(list); ++row) {
            std::string line;
            for (int column = 0; column < columns; ++column) {
                wchar_t text[2048] = {};
                ListView_GetItemText(list, row, column, text, static_cast<int>(std::size(text)));
                line += (column > 0 ? "|" : "") + Utf8(text);
            }
            rows.push_back(line);
        }
        return rows;
    }
    std::vector<std::string> rows() { return Rows(statistics().Control(kListView1)); }

    // Lists `folders` in the settings window and presses "Начать проверку"; the press
    // returns when the check has ended.
    void runCheck(const std::vector<std::string>& folders) {
        for (const std::string& folder : folders) settings().AddFolder(folder);
        Press(main(), kSpeedButton3);
    }

    // A file below the test's folder (see WriteAt), and its path.
    std::string write(const std::string& name, const Bytes& bytes) { return WriteAt(folder(), name, bytes); }
    std::string folder() const { return temp.path().string(); }
    std::string file(const std::string& name) const { return folder() + "\\" + name; }

    TempFolder temp;
    std::unique_ptr<Program> program;
    std::vector<std::string> errors;

private:
    std::string kept_;
    ErrorDisplay previous_;
    ProgramOptions options_;
};

// A pair of controls the design puts one over the other.
using Overlap = std::pair<int, int>;

// What is wrong with the layout of `window`'s controls, one line each: a visible control
// outside the client area, two that overlap (but the pairs in `allowed`, and a control
// inside a group box), a caption cut (its text wider or taller than its control leaves
// room for).
std::vector<std::string> LayoutProblems(const Window& window, const std::set<Overlap>& allowed = {});

}  // namespace korvax::wingui::test
