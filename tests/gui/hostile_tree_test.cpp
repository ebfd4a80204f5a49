// The desktop check over a hostile tree (see hostile_tree.h) while some of its files keep
// changing: every program is checked exactly once, nothing that is no regular file is
// opened, no error box, and the start button's check returns.
#include <unistd.h>

#include <map>

#include "gui_test_support.h"
#include "hostile_tree.h"

using namespace korvax;
using namespace korvax::test;

class HostileTreeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void everyProgramIsCheckedExactlyOnce();
};

void HostileTreeWindowTest::everyProgramIsCheckedExactlyOnce() {
    ProgramFixture f(true, {}, kQuietLoadLibrary, DefaultDatabaseWithCatchAll(KORVAX_DEFAULT_DATABASE_SOURCE));
    QVERIFY(f.program->Started());
    const HostileTree tree(QFile::encodeName(f.path("tree")).toStdString());
    if (!tree.devicesMade()) qInfo("device nodes cannot be made here; checked without them");
    // The window runs in this process: as root, the folder and the file of mode 000 are
    // readable, and their programs are checked like the others.
    const bool lockedOut = ::access((tree.root() + "/locked/closed").c_str(), R_OK | X_OK) != 0;

    QStringList folders{QString::fromStdString(tree.root())};
    for (const std::string& odd : tree.oddListedFolders()) folders.append(QString::fromStdString(odd));
    {
        const HostileTree::Mutator mutator(tree);
        f.runCheck(folders);
    }
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));

    // path -> (status, action) of its rows, in order.
    std::map<std::string, std::vector<std::pair<QString, QString>>> rows;
    for (const QString& row : f.rows()) {
        const QStringList parts = row.split('|');
        QCOMPARE(parts.size(), 3);
        rows[parts[0].toStdString()].emplace_back(parts[1], parts[2]);
    }
    const QString cured = QString::fromUtf8(kCuredText);
    const QString skipped = QString::fromUtf8(kSkippedText);
    const QString readError = QString::fromUtf8(kReadErrorText);

    const std::map<std::string, ExpectedFile> expected = tree.expected(lockedOut);
    for (const auto& [path, file] : expected) {
        const auto& got = rows[path];
        QVERIFY2(got.size() == file.cures.size() + 1, path.c_str());
        for (std::size_t i = 0; i < file.cures.size(); ++i) {
            QCOMPARE(got[i].first, QString::fromStdString(file.cures[i]));
            QCOMPARE(got[i].second, cured);
        }
        QCOMPARE(got.back().first, file.finalStatus.empty() ? readError : QString::fromStdString(file.finalStatus));
        QCOMPARE(got.back().second, skipped);
        QVERIFY2(ReadBytes(path) == file.after, path.c_str());
    }
    int shiftingChecked = 0;
    for (const std::string& path : tree.shifting()) {
        const auto found = rows.find(path);
        if (found == rows.end()) continue;
        QVERIFY2(found->second.size() == 1, path.c_str());
        const QString status = found->second.front().first;
        QVERIFY2(status == readError || status == QString::fromUtf8(kCatchAllEntry), path.c_str());
        ++shiftingChecked;
    }
    for (const auto& [path, got] : rows) {
        QVERIFY2(expected.count(path) == 1 || tree.shifting().count(path) == 1, ("unexpected rows for " + path).c_str());
    }
    QCOMPARE(f.state().files.TotalFiles, static_cast<std::int32_t>(expected.size()) + shiftingChecked);
    QCOMPARE(f.state().pool.CheckedCount, f.state().files.TotalFiles);
    QVERIFY(!f.state().CheckRunning);
}

QTEST_MAIN(HostileTreeWindowTest)
#include "hostile_tree_test.moc"
