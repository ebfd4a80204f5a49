#pragma once
// Shared by the window tests: a program started in a temporary folder of its own (with a
// database assembled from signature source, and the user's data folder, where the backup
// store lives, inside it: no test writes into the real home), failures recorded instead of
// shown in error boxes, widgets found by their object names, and sample programs.

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>

#include "gui/mainunit.h"
#include "gui/program.h"
#include "language/signature_source.h"
#include "gui/exception_display.h"
#include "gui/options.h"
#include "gui/renew.h"
#include "gui/restore_window.h"
#include "gui/statistic.h"

namespace korvax::test {

// A cure that takes a 16-byte header off a program, a detection without cure, and a cure
// that always fails (a negative source offset).
inline constexpr char kTestDatabase[] = R"(
entry "Test.Prepend"
match at 0 pattern "KVXP"
copy toend from 16 to 0
size cut 16
entry "Test.Mark"
match at 0 pattern "KVXM"
entry "Test.BadCure"
match at 0 pattern "KVXB"
copy 4 from -4 to 0
)";

// Always reports 5 % (quiet_cpu_load.cpp): at 60 % or more a check would add no worker.
inline constexpr char kQuietLoadLibrary[] = "libkorvax-quiet-cpudll.so";

inline QByteArray Assemble(const char* source) {
    const auto bytes = AssembleSource(source);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray CleanProgram(int n) { return "MZ clean program " + QByteArray::number(n) + QByteArray(40, '\x90'); }
inline QByteArray PrependInfected(const QByteArray& program) { return "KVXP" + QByteArray(12, '\0') + program; }

class ProgramFixture {
public:
    // `folders`: the command line's, as bytes. `databaseSource`: the signature source of
    // the database the program starts with. `prepare` runs on the folder the program will
    // start in, once the database is there.
    explicit ProgramFixture(bool withDatabase = true, QByteArrayList folders = {},
                            std::string loadLibrary = kQuietLoadLibrary, const std::string& databaseSource = kTestDatabase,
                            const std::function<void(const QString& folder)>& prepare = {})
        : startDir_(QDir::currentPath()),
          hadDataHome_(qEnvironmentVariableIsSet("XDG_DATA_HOME")),
          previousDataHome_(qgetenv("XDG_DATA_HOME")) {
        if (withDatabase) WriteFile(path("virbase.kvd"), Assemble(databaseSource.c_str()));
        if (prepare) prepare(dir_.path());
        previousDisplay_ = SetExceptionDisplay([this](const QString& message) { errors.append(message); });
        // Set before the program starts, as a user's session sets it.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        QDir::setCurrent(dir_.path());
        options_.loadLibrary = std::move(loadLibrary);
        options_.measureMhz = [] { return 2394.7L; };
        options_.folders = std::move(folders);
        start();
    }
    ~ProgramFixture() {
        program.reset();
        SetExceptionDisplay(previousDisplay_);
        QDir::setCurrent(startDir_);
        if (hadDataHome_) {
            qputenv("XDG_DATA_HOME", previousDataHome_);
        } else {
            qunsetenv("XDG_DATA_HOME");
        }
    }

    // Ends the program and starts it again, in the same folders (the backup store outlives
    // a run); `backupCalls`: the calls the new run's backup store writes with.
    void restart(FileWriteCalls* backupCalls = &SystemFileWriteCalls()) {
        program.reset();
        options_.backupCalls = backupCalls;
        start();
    }

    // The user's data folder of the program, and its backup store.
    QString dataHome() const { return dir_.filePath("data"); }
    QString backupFolder() const { return dir_.filePath("data/korvax/backups"); }

    QString path(const QString& name) const { return dir_.filePath(name); }
    ProgramState& state() { return program->State(); }
    TForm1& main() { return program->Form1(); }
    TForm2& settings() { return program->Form2(); }
    TForm3& statistics() { return program->Form3(); }
    TForm4& update() { return program->Form4(); }
    RestoreWindow& restore() { return program->Restore(); }

    template <typename Widget = QWidget>
    Widget* find(QWidget& window, const QString& name) {
        auto* widget = window.findChild<Widget*>(name);
        if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
        return widget;
    }
    QAbstractButton* mainButton(int n) { return find<QAbstractButton>(main(), QStringLiteral("SpeedButton%1").arg(n)); }
    QString text(QWidget& window, const char* name) { return find<QLabel>(window, name)->text(); }

    // Starts a check of the listed folders (plus `folders`) with the start button; the
    // click returns when the check has ended. `during` runs every 2 ms meanwhile.
    void runCheck(const QStringList& folders, const std::function<void()>& during = {}) {
        for (const QString& folder : folders) settings().AddFolder(QFile::encodeName(folder));
        QTimer probe;
        if (during) QObject::connect(&probe, &QTimer::timeout, during);
        if (during) probe.start(2);
        mainButton(3)->click();
    }

    // The statistics rows as "path|status|action".
    QStringList rows() {
        auto* list = find<QTreeWidget>(statistics(), "ListView1");
        QStringList result;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            result.append(item->text(0) + "|" + item->text(1) + "|" + item->text(2));
        }
        return result;
    }

    void waitForRefresh() { QTest::qWait(600); }

    std::unique_ptr<Program> program;
    QStringList errors;

private:
    void start() {
        program = std::make_unique<Program>(options_);
        if (program->Started()) program->Form1().show();
    }

    QTemporaryDir dir_;
    QString startDir_;
    bool hadDataHome_;
    QByteArray previousDataHome_;
    ProgramOptions options_;
    ExceptionDisplay previousDisplay_;
};

}  // namespace korvax::test
