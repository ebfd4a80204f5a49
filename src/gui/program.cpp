#include "gui/program.h"

#include <QApplication>

#include <cstring>
#include <iostream>

#include "backup/backup_store.h"
#include "desktop/desktop_arguments.h"
#include "desktop/user_folder.h"
#include "platform/system_info.h"
#include "gui/mainunit.h"
#include "gui/exception_display.h"
#include "gui/folder_bytes.h"
#include "gui/options.h"
#include "gui/renew.h"
#include "gui/restore_window.h"
#include "gui/statistic.h"
#include "gui/window_language.h"

namespace korvax {
namespace {

constexpr char kHelp[] = R"(Usage: korvax [--help | --version] [--user-folder] [--] [FOLDER...]

Korvax, the desktop virus scanner. Each FOLDER goes into the settings window's list of
folders to check; press "Начать проверку" (start check) to check them.

The database is virbase.kvd in the folder korvax is started in; updates are appended to
it. The menu's launcher starts korvax in the user's data folder ($XDG_DATA_HOME/korvax, by
default ~/.local/share/korvax) with a copy of the installed default database.

Every cure can be undone. Before a file is cured, its original is kept in the user's
backup store ($XDG_DATA_HOME/korvax/backups, the one korvax-scan uses too); a file whose
original cannot be kept is not cured. In the statistics window, the list's context menu
puts a cured file back ("Восстановить", restore) or opens the restore window, which lists
everything the store can still put back. A file put back is trusted: the next check leaves
it alone while it stays as it is.

  -h, --help      print this help and exit
  --version       print the version and exit
  --user-folder   start in the user's data folder, as the launcher does: make it, copy
                  the installed default database there if it holds none, and take the
                  database from there (FOLDERs are read from where korvax was started)
  --              every later argument is a FOLDER, even one beginning with "-"

The toolkit's own options (-platform NAME, -style NAME, ...) are taken as well.
KORVAX_LANG=en in the environment shows the windows in English.

Exit status: 0 when the main window is closed, 2 when libcpudll.so cannot be loaded.
)";

// Every failure that reaches the event dispatch ends up in the standard exception display;
// handlers catch their own (Guarded), this is the net under them.
class KorvaxApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& failure) {
            ShowException(failure);
        } catch (...) {
            ShowException(QStringLiteral("Unknown exception"));
        }
        return false;
    }
};

}  // namespace

Program::Program(const ProgramOptions& options) {
    TForm1::Startup startup;
    startup.loadLibrary = options.loadLibrary;
    startup.measureMhz = options.measureMhz;
    startup.backupCalls = options.backupCalls;
    form1_ = std::make_unique<TForm1>(state_, startup);
    if (!form1_->LibraryBound()) return;
    form2_ = std::make_unique<TForm2>(*form1_, form1_->Background());
    form3_ = std::make_unique<TForm3>(*form1_);
    form4_ = std::make_unique<TForm4>(state_);
    // The user's own store, the one korvax-scan keeps originals in too: a cure made by
    // either can be undone from the other.
    restore_ = std::make_unique<RestoreWindow>(state_, *form3_, DefaultBackupFolder(), *options.backupCalls);
    form1_->AttachWindows(*form2_, *form3_, *form4_, *restore_);
    RestoreWindow* restore = restore_.get();
    QObject::connect(form3_.get(), &TForm3::restoreRequested, restore, [restore](const QByteArray& path) {
        Guarded([&] { restore->RestoreFiles({path.toStdString()}); });
    });
    QObject::connect(form3_.get(), &TForm3::backupsRequested, restore, [restore] { restore->ShowBackups(); });
    for (const QByteArray& folder : options.folders) form2_->AddFolder(FullFolderPath(folder));
}

Program::~Program() = default;

bool Program::Started() const { return form1_->LibraryBound(); }

const std::string& Program::StartFailure() const { return form1_->LibraryFailure(); }

int Program::Run() {
    form1_->show();
    return QApplication::exec();
}

namespace {

std::vector<std::string> ArgumentsAfterName(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

}  // namespace

QByteArrayList CommandLineFolders(int argc, char** argv) {
    QByteArrayList folders;
    for (const std::string& folder : ReadDesktopArguments(ArgumentsAfterName(argc, argv)).folders) {
        folders.append(QByteArray::fromStdString(folder));
    }
    return folders;
}

int KorvaxMain(int argc, char** argv) {
    // Answered before the toolkit starts, so that they work without a display.
    const DesktopArguments asked = ReadDesktopArguments(ArgumentsAfterName(argc, argv));
    if (asked.help) {
        std::cout << kHelp;
        return 0;
    }
    if (asked.version) {
        std::cout << "korvax " << KORVAX_VERSION << '\n';
        return 0;
    }
    KorvaxApplication application(argc, argv);  // takes the toolkit's options out of argv
    QApplication::setApplicationName(QStringLiteral("Korvax"));
    QApplication::setApplicationVersion(QStringLiteral(KORVAX_VERSION));
    const WindowLanguage language;
    try {
        ProgramOptions options;
        const DesktopArguments arguments = ReadDesktopArguments(ArgumentsAfterName(argc, argv));
        std::vector<std::string> told;
        if (arguments.userFolder) {
            const std::string started = CurrentDirectory();
            for (const std::string& folder : arguments.folders) {
                options.folders.append(FullFolderPath(QByteArray::fromStdString(AbsoluteFrom(started, folder))));
            }
            told = EnterUserFolder(UserFolderPlacesFromEnvironment());
        } else {
            for (const std::string& folder : arguments.folders) options.folders.append(QByteArray::fromStdString(folder));
        }
        for (const std::string& message : told) ShowException(QString::fromStdString(message));
        Program program(options);
        if (!program.Started()) {
            std::cerr << "korvax: " << program.StartFailure() << '\n';
            return 2;
        }
        return program.Run();
    } catch (const std::exception& failure) {
        ShowException(failure);
        return 1;
    }
}

}  // namespace korvax
