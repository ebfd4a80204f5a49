// Undoing the desktop's cures: every cure keeps the file's original in the user's store
// first (or is not made at all), a cured row's menu and the restore window put files back
// exactly as they were, a file put back is left alone by the next check, and nothing is put
// back while a check runs.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>

#include <cerrno>

#include "backup/backup_index.h"
#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

namespace {

// A good program that happens to match Test.Prepend: a false positive, which its cure
// shortens by 16 bytes.
QByteArray FalsePositive(int n) { return PrependInfected(CleanProgram(n)); }

struct stat Facts(const QString& path) {
    struct stat facts {};
    if (::stat(QFile::encodeName(path).constData(), &facts) != 0) qFatal("cannot stat %s", qPrintable(path));
    return facts;
}

QTreeWidgetItem* RowOf(ProgramFixture& f, const QString& path, const QString& action) {
    auto* list = f.find<QTreeWidget>(f.statistics(), "ListView1");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->text(0) == path && item->text(2) == action) return item;
    }
    return nullptr;
}

// The statistics list's context menu, opened on `item` (or on the list's empty end).
QMenu* MenuOn(ProgramFixture& f, QTreeWidgetItem* item) {
    auto* list = f.find<QTreeWidget>(f.statistics(), "ListView1");
    const QPoint where = item != nullptr ? list->visualItemRect(item).center() : QPoint(5, list->viewport()->height() - 5);
    f.statistics().ListView1ContextPopup(where);
    return f.find<QMenu>(f.statistics(), "RowMenu");
}

QAction* Action(ProgramFixture& f, const char* name) {
    auto* action = f.find<QMenu>(f.statistics(), "RowMenu")->findChild<QAction*>(name);
    if (action == nullptr) qFatal("no action %s", name);
    return action;
}

// The restore window's rows as "path|virus|restored".
QStringList Listed(ProgramFixture& f) {
    auto* list = f.find<QTreeWidget>(f.restore(), "BackupList");
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows.append(item->text(0) + "|" + item->text(1) + "|" + item->text(3));
    }
    return rows;
}

}  // namespace

class RestoreWindowTest : public QObject {
    Q_OBJECT

private slots:
    void falsePositivePutBackFromTheRowMenu();
    void changedSinceItsCureIsNotPutBack();
    void oddNamesArePutBackByTheirBytes();
    void noBackupNoCure();
    void restoreWindowListsTheStoreAcrossRuns();
    void nothingIsPutBackWhileACheckRuns();
    void pruningIsShownInTheRestoreWindow();
};

void RestoreWindowTest::falsePositivePutBackFromTheRowMenu() {
    ProgramFixture f;
    const QString tool = f.path("tree/tool.exe");
    const QByteArray original = FalsePositive(3);
    WriteFile(tool, original);
    WriteFile(f.path("tree/marked.com"), "KVXM and the rest");
    const QByteArray toolName = QFile::encodeName(tool);
    QCOMPARE(::chmod(toolName.constData(), 0751), 0);
    const bool root = ::geteuid() == 0;
    if (root) QCOMPARE(::chown(toolName.constData(), 65534, 65534), 0);

    f.runCheck({f.path("tree")});
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(tool), CleanProgram(3));
    // Kept in the user's own store, inside the test's data folder.
    QVERIFY(ReadFile(f.backupFolder() + "/index.jsonl").contains("Test.Prepend"));

    // Only a cured row offers its file back; every row, and the list's empty end, offer the
    // restore window.
    MenuOn(f, RowOf(f, f.path("tree/marked.com"), "Пропущен"));
    QVERIFY(!Action(f, "RestoreAction")->isEnabled() && Action(f, "BackupsAction")->isEnabled());
    MenuOn(f, nullptr);
    QVERIFY(!Action(f, "RestoreAction")->isEnabled() && Action(f, "BackupsAction")->isEnabled());
    QMenu* menu = MenuOn(f, RowOf(f, tool, "Вылечен"));
    QVERIFY(menu->isVisible());
    QCOMPARE(Action(f, "RestoreAction")->text(), QStringLiteral("Восстановить"));
    QVERIFY(Action(f, "RestoreAction")->isEnabled());
    Action(f, "RestoreAction")->trigger();
    menu->hide();

    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(tool), original);
    const struct stat facts = Facts(tool);
    QCOMPARE(facts.st_mode & 07777, 0751u);
    if (root) QCOMPARE(facts.st_uid, 65534u);
    if (root) QCOMPARE(facts.st_gid, 65534u);
    QCOMPARE(f.rows().last(), tool + "|Test.Prepend|Восстановлен");

    // The entry still matches, but the file is trusted now: no cure, no row.
    const int rowsBefore = f.rows().size();
    f.runCheck({});
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.rows().mid(rowsBefore), QStringList{f.path("tree/marked.com") + "|Test.Mark|Пропущен"});
    QCOMPARE(ReadFile(tool), original);

    // Trusted for those bytes only: changed, it is checked, and cured, again.
    WriteFile(tool, FalsePositive(4));
    f.runCheck({});
    QVERIFY(f.rows().contains(tool + "|Test.Prepend|Вылечен"));
    QCOMPARE(ReadFile(tool), CleanProgram(4));
}

void RestoreWindowTest::changedSinceItsCureIsNotPutBack() {
    ProgramFixture f;
    const QString tool = f.path("tree/tool.exe");
    WriteFile(tool, FalsePositive(5));
    f.runCheck({f.path("tree")});
    // The user works on the cured program: putting the original back would lose that.
    WriteFile(tool, "MZ edited since its cure");
    MenuOn(f, RowOf(f, tool, "Вылечен"));
    Action(f, "RestoreAction")->trigger();
    QCOMPARE(f.errors.size(), 1);
    QVERIFY2(f.errors[0].startsWith("Не восстановлен: ") && f.errors[0].contains(tool) &&
                 f.errors[0].contains("changed since its cure"),
             qPrintable(f.errors[0]));
    QCOMPARE(ReadFile(tool), QByteArray("MZ edited since its cure"));
    QVERIFY(RowOf(f, tool, "Восстановлен") == nullptr);

    // Nor over another file put at its name since, whatever it holds.
    WriteFile(f.path("other.exe"), CleanProgram(5));
    QVERIFY(QFile::remove(tool));
    QVERIFY(QFile::rename(f.path("other.exe"), tool));
    f.errors.clear();
    MenuOn(f, RowOf(f, tool, "Вылечен"));
    Action(f, "RestoreAction")->trigger();
    QCOMPARE(f.errors.size(), 1);
    QVERIFY2(f.errors[0].contains("is not the file its cure left"), qPrintable(f.errors[0]));
    QCOMPARE(ReadFile(tool), CleanProgram(5));
}

void RestoreWindowTest::oddNamesArePutBackByTheirBytes() {
    ProgramFixture f;
    // Shown escaped in both lists (a line break as \n, a backslash as \\): only the bytes
    // behind a row name the file.
    const QString fromMenu = f.path("tree/line\nbreak.exe");
    const QString fromWindow = f.path("tree/back\\slash.exe");
    WriteFile(fromMenu, FalsePositive(7));
    WriteFile(fromWindow, FalsePositive(8));
    f.runCheck({f.path("tree")});
    QCOMPARE(ReadFile(fromMenu), CleanProgram(7));
    QTreeWidgetItem* row = RowOf(f, f.path("tree/line\\nbreak.exe"), "Вылечен");
    QVERIFY(row != nullptr);
    MenuOn(f, row)->hide();
    Action(f, "RestoreAction")->trigger();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(fromMenu), FalsePositive(7));

    f.restore().ShowBackups();
    auto* list = f.find<QTreeWidget>(f.restore(), "BackupList");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        list->topLevelItem(i)->setSelected(list->topLevelItem(i)->text(0) == f.path("tree/back\\\\slash.exe"));
    }
    QCOMPARE(list->selectedItems().size(), 1);
    f.find<QPushButton>(f.restore(), "RestoreButton")->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(fromWindow), FalsePositive(8));
}

void RestoreWindowTest::noBackupNoCure() {
    // A full disk: the store opens, but no original can be written into it.
    {
        InjectedWriteFaults full;  // a disk with no room left for the backup store's files
        full.Fail(WriteStep::Write, WriteFault::DiskFull);
        ProgramFixture f;
        f.restart(&full.calls());
        WriteFile(f.path("tree/a.exe"), FalsePositive(1));
        WriteFile(f.path("tree/b.exe"), FalsePositive(2));
        f.runCheck({f.path("tree")});
        QCOMPARE(ReadFile(f.path("tree/a.exe")), FalsePositive(1));
        QCOMPARE(ReadFile(f.path("tree/b.exe")), FalsePositive(2));
        QStringList rows = f.rows();
        rows.sort();
        QCOMPARE(rows, (QStringList{f.path("tree/a.exe") + "|Ошибка чтения|Пропущен",
                                    f.path("tree/b.exe") + "|Ошибка чтения|Пропущен"}));
        // Told once for the whole check, with the reason.
        QCOMPARE(f.errors.size(), 1);
        QVERIFY2(f.errors[0].startsWith("Не вылечено файлов: 2.") && f.errors[0].contains(f.backupFolder()) &&
                     f.errors[0].contains("not cured"),
                 qPrintable(f.errors[0]));
        f.waitForRefresh();
        QCOMPARE(f.text(f.statistics(), "Label6"), QStringLiteral("0"));
        // And the store holds nothing it could put back.
        f.restore().ShowBackups();
        QCOMPARE(Listed(f), QStringList{});
    }
    // A store that other users could write to is refused by the trust rule: the check
    // runs, nothing is cured.
    {
        ProgramFixture f;
        QVERIFY(QDir().mkpath(f.dataHome() + "/korvax"));
        QVERIFY(QFile::setPermissions(f.dataHome() + "/korvax", QFileDevice::Permissions(0x7777)));
        WriteFile(f.path("tree/marked.com"), "KVXM and the rest");
        // Nothing to cure: nothing to tell.
        f.runCheck({f.path("tree")});
        QVERIFY(f.errors.isEmpty());
        WriteFile(f.path("tree/a.exe"), FalsePositive(1));
        f.runCheck({});
        QCOMPARE(ReadFile(f.path("tree/a.exe")), FalsePositive(1));
        QVERIFY(f.rows().contains(f.path("tree/a.exe") + "|Ошибка чтения|Пропущен"));
        QCOMPARE(f.errors.size(), 1);
        QVERIFY2(f.errors[0].startsWith("Не вылечено файлов: 1.") && f.errors[0].contains("недоступно") &&
                     f.errors[0].contains(f.dataHome() + "/korvax"),
                 qPrintable(f.errors[0]));
        QVERIFY(!QFileInfo::exists(f.backupFolder()));
    }
}

void RestoreWindowTest::restoreWindowListsTheStoreAcrossRuns() {
    ProgramFixture f;
    f.restore().ShowBackups();
    QCOMPARE(Listed(f), QStringList{});
    QCOMPARE(f.text(f.restore(), "StatusLine"), QStringLiteral("Резервных копий нет"));
    f.restore().close();

    WriteFile(f.path("tree/a.exe"), FalsePositive(1));
    WriteFile(f.path("tree/b.exe"), FalsePositive(2));
    f.runCheck({f.path("tree")});
    QCOMPARE(f.rows().size(), 2);

    // The store outlives the run: the next one, with no rows yet, lists both files.
    f.restart();
    MenuOn(f, nullptr);
    Action(f, "BackupsAction")->trigger();
    QVERIFY(f.restore().isVisible());
    QCOMPARE(Listed(f), (QStringList{f.path("tree/a.exe") + "|Test.Prepend|нет",
                                     f.path("tree/b.exe") + "|Test.Prepend|нет"}));
    auto* list = f.find<QTreeWidget>(f.restore(), "BackupList");
    const QRegularExpression localTime(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(localTime.match(list->topLevelItem(0)->text(2)).hasMatch(), qPrintable(list->topLevelItem(0)->text(2)));

    auto* restore = f.find<QPushButton>(f.restore(), "RestoreButton");
    QVERIFY(!restore->isEnabled());  // nothing chosen yet
    list->topLevelItem(1)->setSelected(true);
    QVERIFY(restore->isEnabled());
    restore->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(f.path("tree/b.exe")), FalsePositive(2));
    QCOMPARE(ReadFile(f.path("tree/a.exe")), CleanProgram(1));
    QCOMPARE(f.rows(), QStringList{f.path("tree/b.exe") + "|Test.Prepend|Восстановлен"});
    QCOMPARE(Listed(f), (QStringList{f.path("tree/a.exe") + "|Test.Prepend|нет",
                                     f.path("tree/b.exe") + "|Test.Prepend|да"}));
    QCOMPARE(f.text(f.restore(), "StatusLine"), QStringLiteral("Восстановлено: 1, не восстановлено: 0"));

    // Still chosen after the list was read again; asked again, it is found as it was: said,
    // not written.
    QCOMPARE(list->selectedItems().size(), 1);
    QVERIFY(list->topLevelItem(1)->isSelected());
    restore->click();
    QCOMPARE(f.errors, QStringList{"Уже такой, как до лечения: " + f.path("tree/b.exe")});
    QCOMPARE(f.rows().size(), 1);

    // A check with the window open: what it kept is listed once it has ended.
    WriteFile(f.path("tree/c.exe"), FalsePositive(3));
    f.runCheck({f.path("tree")});
    QCOMPARE(Listed(f), (QStringList{f.path("tree/a.exe") + "|Test.Prepend|нет",
                                     f.path("tree/b.exe") + "|Test.Prepend|да",
                                     f.path("tree/c.exe") + "|Test.Prepend|нет"}));
}

void RestoreWindowTest::nothingIsPutBackWhileACheckRuns() {
    ProgramFixture f;
    const QString tool = f.path("tree/tool.exe");
    WriteFile(tool, FalsePositive(6));
    f.runCheck({f.path("tree")});
    QCOMPARE(ReadFile(tool), CleanProgram(6));
    // Enough clean programs that the next check can be caught running.
    for (int i = 0; i < 800; ++i) WriteFile(f.path("big/d%1/p%2.exe").arg(i % 8).arg(i), CleanProgram(i));
    f.restore().ShowBackups();
    auto* list = f.find<QTreeWidget>(f.restore(), "BackupList");
    list->topLevelItem(0)->setSelected(true);
    auto* restore = f.find<QPushButton>(f.restore(), "RestoreButton");
    QVERIFY(restore->isEnabled());
    QTreeWidgetItem* cured = RowOf(f, tool, "Вылечен");

    int seen = 0;
    bool heldOff = true;
    QStringList refusals;
    f.runCheck({f.path("big")}, [&] {
        if (!f.state().CheckRunning) return;
        if (seen++ == 0) {
            MenuOn(f, cured)->hide();
            heldOff = !Action(f, "RestoreAction")->isEnabled() && !Action(f, "BackupsAction")->isEnabled();
        }
        heldOff = heldOff && !restore->isEnabled();
        // Were it reached all the same, it refuses.
        try {
            f.restore().RestoreFiles({QFile::encodeName(tool).toStdString()});
        } catch (const std::exception& failure) {
            refusals.append(QString::fromUtf8(failure.what()));
        }
    });
    QVERIFY(seen > 0);
    QVERIFY(heldOff);
    QCOMPARE(refusals.size(), seen);
    QCOMPARE(refusals.first(), QStringLiteral("Во время проверки восстановление невозможно"));
    QCOMPARE(ReadFile(tool), CleanProgram(6));
    QVERIFY(f.errors.isEmpty());

    // Once it has ended, the restore goes through.
    QVERIFY(restore->isEnabled());
    restore->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));
    QCOMPARE(ReadFile(tool), FalsePositive(6));
}

void RestoreWindowTest::pruningIsShownInTheRestoreWindow() {
    ProgramFixture f;
    // A store with two backups of one file: one far past the age limit, and its newest.
    const QString store = f.backupFolder();
    QVERIFY(QDir().mkpath(store));
    QVERIFY(QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QByteArray index;
    for (const char* when : {"2001-01-01T00:00:00Z", "2099-01-01T00:00:00Z"}) {
        BackupRecord record;
        record.time = when;
        record.path = QFile::encodeName(f.path("tree/tool.exe")).toStdString();
        record.size = 20;
        record.mode = 0644;
        record.entry = "Test.Prepend";
        record.backup = std::string(when, 4) + ".kvq";
        record.originalSha256 = std::string(64, '0');
        WriteFile(store + "/" + QString::fromStdString(record.backup), QByteArray(20, 'x'));
        index += QByteArray::fromStdString(BackupLine(record)) + "\n";
    }
    WriteFile(store + "/index.jsonl", index);

    f.runCheck({});
    QVERIFY(f.errors.isEmpty());
    auto* note = f.find<QLabel>(f.restore(), "PruneNote");
    QVERIFY2(note->text().contains("pruned 1 older backup"), qPrintable(note->text()));
    QVERIFY(!note->isHidden());
    QVERIFY(!QFileInfo::exists(store + "/2001.kvq"));
    QVERIFY(QFileInfo::exists(store + "/2099.kvq"));

    // Nothing more to prune: the note goes.
    f.runCheck({});
    QVERIFY(note->isHidden());
}

QTEST_MAIN(RestoreWindowTest)
#include "restore_window_test.moc"
