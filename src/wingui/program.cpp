#include "wingui/program.h"

#include <commctrl.h>

#include "backup/backup_store.h"
#include "desktop/desktop_arguments.h"
#include "desktop/user_folder.h"
#include "platform/system_info.h"
#include "wingui/error_display.h"
#include "wingui/options.h"
#include "wingui/renew.h"
#include "wingui/restore_window.h"
#include "wingui/statistic.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

constexpr char kHelp[] = R"(Usage: korvax.exe [--help | --version] [--user-folder] [--] [FOLDER...]

Korvax, the desktop virus scanner. Each FOLDER goes into the settings window's list of
folders to check; press "Начать проверку" (start check) to check them.

The database is virbase.kvd in the folder korvax.exe is started in; updates are appended
to it.

  --user-folder   start in your own data folder (%LOCALAPPDATA%\Korvax), as the Start
                  menu's shortcut does: it is made when missing, the installed default
                  database is copied there when it holds none, and the database is taken
                  from there (FOLDERs are read from where korvax.exe was started)
  -h, --help      show this help and exit
  --version       show the version and exit
  --              every later argument is a FOLDER, even one beginning with "-"

Every cure can be undone: before a file is cured, its original is kept in your backup
store (%LOCALAPPDATA%\Korvax\backups, the one korvax-scan.exe uses too). In the
statistics window, the list's context menu puts a cured file back or opens the restore
window. KORVAX_LANG=en in the environment shows the windows in English.

Exit status: 0 when the main window is closed, 2 when cpudll.dll cannot be loaded.
)";

// A text the user asked for (the help, the version): on standard output when it leads
// somewhere (a console, a pipe, a file), else in a message box.
void Answer(const std::string& text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        ::AttachConsole(ATTACH_PARENT_PROCESS);
        out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    }
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return;
    }
    ::MessageBoxW(nullptr, Wide(text).c_str(), L"Korvax", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

Program::Program(const ProgramOptions& options) {
    form1_ = std::make_unique<TForm1>(state_, options.startup);
    if (!form1_->LibraryBound()) return;
    form2_ = std::make_unique<TForm2>(*form1_, [this] { form1_->SettingsClosed(); });
    form3_ = std::make_unique<TForm3>(*form1_);
    form4_ = std::make_unique<TForm4>(state_);
    // The user's own store, the one korvax-scan keeps originals in too: a cure made by
    // either can be undone from the other.
    const std::string store = options.startup.backupFolder.empty() ? DefaultBackupFolder() : options.startup.backupFolder;
    restore_ = std::make_unique<RestoreWindow>(state_, *form3_, store, *options.startup.backupCalls);
    form1_->AttachWindows(*form2_, *form3_, *form4_, *restore_);
    RestoreWindow* restore = restore_.get();
    form3_->restoreRequested = [restore](const std::string& path) { Guarded([&] { restore->RestoreFiles({path}); }); };
    form3_->backupsRequested = [restore] { Guarded([&] { restore->ShowBackups(); }); };
    form1_->onClosed = [] { ::PostQuitMessage(0); };
    for (const std::string& folder : options.folders) form2_->AddFolder(FullFolderPath(folder));
}

Program::~Program() = default;

int Program::Run() {
    form1_->Show();
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) DispatchProgramMessage(message);
    return static_cast<int>(message.wParam);
}

std::string FullFolderPath(const std::string& folder) {
    const std::wstring wide = Wide(folder);
    const DWORD length = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return folder;
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return folder;
    full.resize(written);
    // No trailing separator, but at a root ("C:\", "\\server\share\").
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return Utf8(full);
}

int KorvaxMain(int argc, char** argv) {
    const DesktopArguments arguments = ReadDesktopArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.help) {
        Answer(kHelp);
        return 0;
    }
    if (arguments.version) {
        Answer(std::string("korvax ") + KORVAX_VERSION + "\n");
        return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
    try {
        ProgramOptions options;
        if (arguments.userFolder) {
            const std::string started = CurrentDirectory();
            for (const std::string& folder : arguments.folders) options.folders.push_back(FullFolderPath(AbsoluteFrom(started, folder)));
            for (const std::string& message : EnterUserFolder(UserFolderPlacesFromEnvironment())) ShowError(Wide(message));
        } else {
            options.folders = arguments.folders;
        }
        Program program(options);
        if (!program.Started()) {
            ShowError(Wide("korvax: " + program.StartFailure()));
            return 2;
        }
        return program.Run();
    } catch (const std::exception& failure) {
        ShowError(failure);
        return 1;
    }
}

}  // namespace korvax::wingui
