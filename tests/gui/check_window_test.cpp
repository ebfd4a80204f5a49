// Whole checks started with the start button: rows, counters, gauge and buttons; the stop
// button; closing the main window while a check runs.
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

namespace {

// 1500 programs in ten folders, every third one infected with Test.Prepend: long enough
// to be stopped half-way.
struct BigTree {
    explicit BigTree(ProgramFixture& f) : root(f.path("big")) {
        for (int i = 0; i < 1500; ++i) {
            const QString path = QStringLiteral("%1/d%2/p%3.exe").arg(root).arg(i % 10).arg(i);
            clean[path] = CleanProgram(i);
            if (i % 3 == 0) infected.insert(path);
            WriteFile(path, i % 3 == 0 ? PrependInfected(clean[path]) : clean[path]);
        }
    }
    QString root;
    std::map<QString, QByteArray> clean;
    std::set<QString> infected;
};

}  // namespace

class CheckWindowTest : public QObject {
    Q_OBJECT

private slots:
    void wholeCheck();
    void namesWithControlsAndForeignBytesShowOnOneLine();
    void stopButtonLosesNothing();
    void closingDuringCheckStopsThenCloses();
};

void CheckWindowTest::wholeCheck() {
    ProgramFixture f;
    const QByteArray clean = CleanProgram(7);
    WriteFile(f.path("tree/sub/deeper/cured.EXE"), PrependInfected(clean));
    WriteFile(f.path("tree/marked.com"), "KVXM and the rest");
    WriteFile(f.path("tree/sub/badcure.exe"), "KVXB cure fails");
    WriteFile(f.path("tree/clean.exe"), CleanProgram(1));
    WriteFile(f.path("tree/readme.txt"), "KVXM not a program");

    bool panelSeen = false;
    bool rulesHeld = true;
    f.runCheck({f.path("tree")}, [&] {
        panelSeen = panelSeen || f.find(f.main(), "Panel1")->isVisible();
        rulesHeld = rulesHeld && !f.mainButton(1)->isEnabled() && !f.mainButton(3)->isEnabled() &&
                    !f.mainButton(5)->isEnabled() && !f.find(f.update(), "BitBtn1")->isEnabled();
        // "Статистика" stays usable during a check.
        if (!f.statistics().isVisible()) f.mainButton(2)->click();
    });
    QVERIFY(panelSeen && rulesHeld);
    QVERIFY(f.statistics().isVisible());
    QVERIFY(f.errors.isEmpty());

    QStringList expected = {f.path("tree/sub/deeper/cured.EXE") + "|Test.Prepend|Вылечен",
                            f.path("tree/marked.com") + "|Test.Mark|Пропущен",
                            f.path("tree/sub/badcure.exe") + "|Ошибка чтения|Пропущен"};
    QStringList rows = f.rows();
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
    QCOMPARE(ReadFile(f.path("tree/sub/deeper/cured.EXE")), clean);
    QCOMPARE(ReadFile(f.path("tree/sub/badcure.exe")), QByteArray("KVXB cure fails"));

    // Everything back as it was, the pool empty, the figures final.
    QVERIFY(!f.find(f.main(), "Panel1")->isVisible());
    for (int n : {1, 2, 3, 5}) QVERIFY(f.mainButton(n)->isEnabled());
    QVERIFY(!f.mainButton(4)->isEnabled());
    QVERIFY(f.find(f.update(), "BitBtn1")->isEnabled());
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label10"), QStringLiteral("4"));
    QCOMPARE(f.text(f.main(), "Label8"), QStringLiteral("4"));
    QCOMPARE(f.text(f.main(), "Label6"), QStringLiteral("0/0"));
    QCOMPARE(f.find<QProgressBar>(f.main(), "CGauge1")->value(), 100);
    const auto counters = [&] {
        return QStringList{f.text(f.statistics(), "Label5"), f.text(f.statistics(), "Label6"),
                           f.text(f.statistics(), "Label7"), f.text(f.statistics(), "Label8")};
    };
    QCOMPARE(counters(), (QStringList{"4", "1", "2", "0"}));

    // Again: rows are appended, cures and detections count over the whole run.
    const QStringList firstRows = f.rows();
    f.runCheck({});
    f.waitForRefresh();
    QCOMPARE(f.rows().mid(0, 3), firstRows);
    QCOMPARE(f.rows().size(), 5);
    QCOMPARE(counters(), (QStringList{"4", "1", "3", "0"}));
}

void CheckWindowTest::namesWithControlsAndForeignBytesShowOnOneLine() {
    ProgramFixture f;
    WriteFile(f.path("tree/a\nb\tc.com"), "KVXM and the rest");
    // "Вирус.com" in Windows-1251, as an old archive might have named it.
    // Qt cannot name such a file, so the test removes it itself, before the fixture's folder.
    struct ForeignFile {
        std::string path;
        ~ForeignFile() { std::remove(path.c_str()); }
    } foreign{QFile::encodeName(f.path("tree")).toStdString() + "/\xC2\xE8\xF0\xF3\xF1.com"};
    std::ofstream(foreign.path, std::ios::binary) << "KVXM too";
    f.runCheck({f.path("tree")});
    QVERIFY(f.errors.isEmpty());
    QStringList rows = f.rows();
    rows.sort();
    QCOMPARE(rows, (QStringList{f.path("tree/a\\nb\\tc.com|Test.Mark|Пропущен"),
                                f.path("tree/Вирус.com|Test.Mark|Пропущен")}));

    // A virus name from the database may hold control characters as well.
    f.statistics().AddRow({"/x.exe", "Evil\nName\x1B[2J\x7F", kSkippedText, ResultCode::Detected});
    auto* list = f.find<QTreeWidget>(f.statistics(), "ListView1");
    const QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    QCOMPARE(item->text(1), QStringLiteral("Evil\\nName\\x1B[2J\\x7F"));
    // No control character anywhere, the path's tooltip included.
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        QCOMPARE(row->toolTip(0), row->text(0));
        for (int column = 0; column < 3; ++column) {
            for (const QChar c : row->text(column)) QVERIFY(c.category() != QChar::Other_Control);
        }
    }
}

void CheckWindowTest::stopButtonLosesNothing() {
    ProgramFixture f;
    const BigTree tree(f);
    bool stopped = false;
    f.runCheck({tree.root}, [&] {
        if (!stopped && f.mainButton(4)->isEnabled() && f.state().pool.CheckedCount >= 30) {
            f.mainButton(4)->click();
            stopped = true;
        }
    });
    QVERIFY(stopped);
    const ProgramState& state = f.state();
    QCOMPARE(state.files.TotalFiles, 1500);
    QVERIFY(state.pool.CheckedCount < 1500);
    QVERIFY(state.pool.Threads->empty() && state.files.FileQueues.empty());
    QVERIFY(f.mainButton(3)->isEnabled() && !f.mainButton(4)->isEnabled());

    // Every file whole: as it was, or cured back to its program with a row for the cure.
    std::set<QString> curedRows;
    for (const QString& row : f.rows()) {
        QVERIFY2(row.endsWith("|Test.Prepend|Вылечен"), qPrintable(row));
        curedRows.insert(row.section('|', 0, 0));
    }
    int cured = 0;
    for (const auto& [path, clean] : tree.clean) {
        const QByteArray now = ReadFile(path);
        const bool isCured = tree.infected.count(path) && now == clean;
        cured += isCured;
        QCOMPARE(curedRows.count(path) == 1, isCured);
        if (!isCured) QCOMPARE(now, tree.infected.count(path) ? PrependInfected(clean) : clean);
    }
    QCOMPARE(state.pool.counters.CuredCount.load(), cured);

    // No worker left; files handed out but never taken stay counted until the next check.
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label6"), QString::number(state.pool.PendingCount) + "/0");
}

void CheckWindowTest::closingDuringCheckStopsThenCloses() {
    ProgramFixture f;
    const BigTree tree(f);
    bool refused = false;
    bool openUntilEnd = true;
    f.runCheck({tree.root}, [&] {
        if (!refused && f.state().pool.CheckedCount >= 10) refused = !f.main().close();
        openUntilEnd = openUntilEnd && f.main().isVisible();
    });
    QVERIFY(refused && openUntilEnd);
    QVERIFY(f.state().pool.CheckedCount < f.state().files.TotalFiles);
    QVERIFY(f.state().pool.Threads->empty());
    QTRY_VERIFY(!f.main().isVisible());
}

QTEST_MAIN(CheckWindowTest)
#include "check_window_test.moc"
