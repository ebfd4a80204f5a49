#pragma once
// What the window tests share: a program started in a folder of its own with a database
// assembled from signature source, failures recorded instead of shown in error boxes,
// widgets found by their names, and sample files.

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/mainunit.h"
#include "app/program.h"
#include "signature_source.h"
#include "windows/exception_display.h"
#include "windows/options.h"
#include "windows/renew.h"
#include "windows/statistic.h"

namespace korvax::test {

// The database every window test starts with: a cure that takes a 16-byte header off the
// front of a program, a detection without cure, and a cure that always fails.
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

inline QByteArray Assemble(const char* source) {
    const std::vector<std::uint8_t> bytes = AssembleSource(source);
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

// Reports a load of 5 % (see quiet_cpu_load.cpp).
inline constexpr char kQuietLoadLibrary[] = "libkorvax-quiet-cpudll.so";

// A small clean program, different for every `n`.
inline QByteArray CleanProgram(int n) { return "MZ clean program " + QByteArray::number(n) + QByteArray(40, '\x90'); }
// The same program behind the 16-byte header that Test.Prepend cures away.
inline QByteArray PrependInfected(const QByteArray& program) { return "KVXP" + QByteArray(12, '\x00') + program; }

// A started program with its widgets, in a temporary folder that is its start-up folder.
class ProgramFixture {
public:
    // `withDatabase` false starts in a folder that holds no virbase.kvd. The processor
    // load comes from the quiet test library unless `loadLibrary` names another.
    explicit ProgramFixture(bool withDatabase = true, QStringList folders = {},
                            std::string loadLibrary = kQuietLoadLibrary)
        : startDir_(QDir::currentPath()) {
        if (withDatabase) WriteFile(path("virbase.kvd"), Assemble(kTestDatabase));
        previousDisplay_ = SetExceptionDisplay([this](const QString& message) { errors.append(message); });
        QDir::setCurrent(dir_.path());
        ProgramOptions options;
        options.loadLibrary = std::move(loadLibrary);
        options.measureMhz = [] { return 2394.7L; };
        options.folders = std::move(folders);
        program = std::make_unique<Program>(options);
        if (program->Started()) program->Form1().show();
    }
    ~ProgramFixture() {
        program.reset();
        SetExceptionDisplay(previousDisplay_);
        QDir::setCurrent(startDir_);
    }
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    QString path(const QString& name) const { return dir_.filePath(name); }
    ProgramState& state() { return program->State(); }
    TForm1& main() { return program->Form1(); }
    TForm2& settings() { return program->Form2(); }
    TForm3& statistics() { return program->Form3(); }
    TForm4& update() { return program->Form4(); }

    template <typename Widget>
    Widget* find(QWidget& window, const char* name) {
        auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) qFatal("no widget %s in %s", name, qPrintable(window.objectName()));
        return widget;
    }
    QAbstractButton* mainButton(int number) {
        return find<QAbstractButton>(main(), QStringLiteral("SpeedButton%1").arg(number).toLatin1().constData());
    }
    QString text(QWidget& window, const char* name) { return find<QLabel>(window, name)->text(); }

    // Runs a whole check of `folders` with the start button; `during` runs every few
    // milliseconds while the check is in progress (from its message steps).
    void runCheck(const QStringList& folders, const std::function<void()>& during = {}) {
        for (const QString& folder : folders) settings().AddFolder(folder);
        QTimer probe;
        if (during) {
            probe.setInterval(2);
            QObject::connect(&probe, &QTimer::timeout, during);
            probe.start();
        }
        mainButton(3)->click();  // returns when the check has ended
        probe.stop();
    }

    // Rows of the statistics list as "path|status|action".
    QStringList rows() {
        auto* list = find<QTreeWidget>(statistics(), "ListView1");
        QStringList result;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            result.append(item->text(0) + "|" + item->text(1) + "|" + item->text(2));
        }
        return result;
    }

    // Lets the 500 ms refresh run once more.
    void waitForRefresh() { QTest::qWait(600); }

    std::unique_ptr<Program> program;
    QStringList errors;

private:
    QTemporaryDir dir_;
    QString startDir_;
    ExceptionDisplay previousDisplay_;
};

}  // namespace korvax::test
