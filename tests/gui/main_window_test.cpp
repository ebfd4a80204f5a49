// Start-up, the main window's button rules, the placement of the secondary windows and
// the settings window's folder list.
#include <QComboBox>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/display_text.h"
#include "gui/folder_bytes.h"

#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startupAndLayout();
    void buttonRulesAndPlacement();
    void folderList();
    void listHintFollowsClicksOnItems();
    void foldersAreWalkedUnderTheirOwnBytes();
    void startupWithoutDatabase();
    void startupRefusesADatabaseOthersCanWrite();
    void missingLoadLibraryEndsWithStatus2();
};

void MainWindowTest::startupAndLayout() {
    ProgramFixture f(true, {"relative/dir/", "/tmp//x/../y"}, CpuLoadLibraryName());
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.main().size(), QSize(153, 403));
    QCOMPARE(f.main().pos(), QPoint(192, 113));
    QCOMPARE(f.text(f.main(), "Label2"), QStringLiteral("2394 Mhz"));
    QCOMPARE(f.state().BasePath, f.path("virbase.kvd").toStdString());
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{3});
    QVERIFY(!f.find(f.main(), "Panel1")->isVisible());
    QVERIFY(!f.mainButton(4)->isEnabled());

    // Top to bottom in the designed order, inside the window, nothing overlapping, and
    // every caption readable in full in its 15-pixel serif face.
    const QStringList order = {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5",
                               "Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7", "Label8",
                               "Label9", "Label10", "Label11", "CGauge1"};
    int previousBottom = -1;
    for (const QString& name : order) {
        QWidget* widget = f.find(f.main(), name);
        QVERIFY2(widget->y() > previousBottom, qPrintable(name));
        QVERIFY2(f.main().rect().contains(widget->geometry()), qPrintable(name));
        previousBottom = widget->geometry().bottom();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(name));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) QVERIFY(button->sizeHint().width() <= 153);
    }

    // The refresh runs from the start, with the real load library.
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label4"), QString::number(qAbs(f.state().CpuLoad)) + "%");
    QCOMPARE(f.text(f.main(), "Label6"), QStringLiteral("0/0"));

    // Folders named on the command line, as full paths from the start-up folder.
    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), f.path("relative/dir"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("/tmp/y"));
}

void MainWindowTest::buttonRulesAndPlacement() {
    ProgramFixture f;
    const auto startAndUpdate = [&] { return f.mainButton(3)->isEnabled() && f.mainButton(5)->isEnabled(); };
    const auto neither = [&] { return !f.mainButton(3)->isEnabled() && !f.mainButton(5)->isEnabled(); };
    f.main().move(300, 150);
    const QRect mainFrame = f.main().frameGeometry();
    const QPoint beside(mainFrame.x() + mainFrame.width(), mainFrame.y());

    // Settings closed by its close box.
    f.mainButton(1)->click();
    QVERIFY(f.settings().isVisible() && neither());
    QCOMPARE(f.settings().frameGeometry().topLeft(), beside);
    QVERIFY(f.settings().close());
    QVERIFY(startAndUpdate());

    // Settings closed by "Настройки"; opening it closes the statistics window.
    f.mainButton(2)->click();
    f.mainButton(1)->click();
    QVERIFY(!f.statistics().isVisible() && f.settings().isVisible() && neither());
    f.mainButton(1)->click();
    QVERIFY(!f.settings().isVisible() && startAndUpdate());

    // "Статистика" while settings is open: statistics takes its place, start and update
    // come back.
    f.mainButton(1)->click();
    f.mainButton(2)->click();
    QVERIFY(!f.settings().isVisible() && f.statistics().isVisible() && startAndUpdate());
    QCOMPARE(f.statistics().frameGeometry().topLeft(), beside);
    f.mainButton(2)->click();
    QVERIFY(!f.statistics().isVisible());

    // Placed anew each time it is shown.
    f.main().move(100, 80);
    f.mainButton(2)->click();
    QCOMPARE(f.statistics().frameGeometry().topLeft(), QPoint(100 + mainFrame.width(), 80));
}

void MainWindowTest::folderList() {
    ProgramFixture f;
    QDir().mkpath(f.path("tree/sub"));
    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    auto* add = f.find<QPushButton>(f.settings(), "Button1");
    auto* remove = f.find<QPushButton>(f.settings(), "Button2");

    // The tree moves the process's current directory, never the database path.
    const QString folder = QDir(f.path("tree/sub")).canonicalPath();
    f.settings().ChangeDirectory(folder);
    QCOMPARE(QDir::currentPath(), folder);
    QCOMPARE(f.state().BasePath, f.path("virbase.kvd").toStdString());
    add->click();
    add->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), folder);

    // Choosing the root volume moves the tree there; the root keeps its slash.
    auto* drives = f.find<QComboBox>(f.settings(), "DriveComboBox1");
    emit drives->activated(drives->findText(QStringLiteral("/")));
    QCOMPARE(QDir::currentPath(), QStringLiteral("/"));
    add->click();
    QCOMPARE(list->item(2)->text(), QStringLiteral("/"));

    remove->click();  // nothing selected
    QCOMPARE(list->count(), 3);
    list->setCurrentRow(2);
    QCOMPARE(list->toolTip(), folder + "\n" + folder + "\n/");
    remove->click();
    remove->click();  // the deletion left nothing selected
    QCOMPARE(list->count(), 2);
    QCOMPARE(f.main().FolderAt(1), folder.toStdString());
}

void MainWindowTest::listHintFollowsClicksOnItems() {
    ProgramFixture f(true, {"/a", "/b"});
    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    f.mainButton(1)->click();
    const auto click = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };
    click(0);
    QCOMPARE(list->toolTip(), QStringLiteral("/a\n/b"));

    // A folder added after the hint was set: a click on the item that is still selected
    // (no change of selection) brings the hint up to date.
    f.settings().AddFolder("/c");
    QCOMPARE(list->toolTip(), QStringLiteral("/a\n/b"));
    click(0);
    QVERIFY(list->item(0)->isSelected());
    QCOMPARE(list->toolTip(), QStringLiteral("/a\n/b\n/c"));
}

void MainWindowTest::foldersAreWalkedUnderTheirOwnBytes() {
    // A folder whose name is not valid UTF-8, named on the command line with some
    // untidiness, holding an infected program.
    ProgramFixture f(true, {QByteArray("odd/caf\xe9-\xff//./x/..")});
    const QByteArray folder = QFile::encodeName(f.path("odd")) + "/caf\xe9-\xff";
    const std::string odd = QFile::encodeName(f.path("odd")).toStdString();
    // The temporary folder's own clean-up goes by decoded names, which miss this one.
    const std::unique_ptr<const std::string, void (*)(const std::string*)> removeOdd(
        &odd, [](const std::string* path) { std::filesystem::remove_all(*path); });
    QVERIFY(std::filesystem::create_directories(folder.toStdString()));
    std::ofstream(folder.toStdString() + "/a.exe", std::ios::binary) << PrependInfected(CleanProgram(2)).toStdString();

    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QFile::decodeName(folder));  // shown as best it can be
    QCOMPARE(f.main().FolderAt(0), folder.toStdString());       // walked as it is
    QCOMPARE(FullFolderPath("/"), QByteArray("/"));
    // Taken from the command line as the OS gave them.
    char program[] = "korvax", dashes[] = "--", name[] = "caf\xe9-\xff", more[] = "--";
    char* argv[] = {program, dashes, name, more};
    QCOMPARE(CommandLineFolders(4, argv), (QByteArrayList{"caf\xe9-\xff", "--"}));
    QCOMPARE(FullFolderPath(folder + "/"), folder);

    // The check walks it and cures the program inside.
    f.runCheck({});
    QCOMPARE(f.rows(), QStringList{QString::fromStdString(DisplayText(folder.toStdString() + "/a.exe")) +
                                   "|Test.Prepend|Вылечен"});
    std::ifstream cured(folder.toStdString() + "/a.exe", std::ios::binary);
    QCOMPARE(QByteArray::fromStdString({std::istreambuf_iterator<char>(cured), {}}), CleanProgram(2));

    // The folder tree cannot show such a name; started in such a folder, ">>" without a
    // selection in the tree lists the current directory as the OS names it.
    QVERIFY(::chdir(folder.constData()) == 0);
    f.find<QTreeView>(f.settings(), "DirectoryListBox1")->setCurrentIndex(QModelIndex());
    f.find<QPushButton>(f.settings(), "Button1")->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(f.main().FolderAt(1), folder.toStdString());
}

void MainWindowTest::startupWithoutDatabase() {
    ProgramFixture f(false);
    QCOMPARE(f.errors, QStringList{"Cannot open file " + f.path("virbase.kvd")});
    QVERIFY(f.state().pool.VirusBase.empty());
    const QByteArray infected = PrependInfected(CleanProgram(1));
    WriteFile(f.path("tree/a.exe"), infected);
    WriteFile(f.path("tree/b.com"), "KVXM marked");
    f.runCheck({f.path("tree")});
    QVERIFY(f.rows().isEmpty());
    QCOMPARE(ReadFile(f.path("tree/a.exe")), infected);
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label8"), QStringLiteral("2"));
    QCOMPARE(f.text(f.statistics(), "Label7"), QStringLiteral("0"));
}

void MainWindowTest::startupRefusesADatabaseOthersCanWrite() {
    // Anyone may rewrite this database: its entries would decide what the check cures.
    ProgramFixture f(true, {}, kQuietLoadLibrary, kTestDatabase, [](const QString& folder) {
        QVERIFY(::chmod(QFile::encodeName(folder + "/virbase.kvd").constData(), 0666) == 0);
    });
    QCOMPARE(f.errors.size(), 1);
    QVERIFY2(f.errors.front().startsWith("The database in the current folder is refused. Not trusted: " +
                                         f.path("virbase.kvd") + ": other users may write to it (mode 0666)"),
             qPrintable(f.errors.front()));
    QVERIFY(f.state().pool.VirusBase.empty());
    const QByteArray infected = PrependInfected(CleanProgram(1));
    WriteFile(f.path("tree/a.exe"), infected);
    f.runCheck({f.path("tree")});
    QVERIFY(f.rows().isEmpty());
    QCOMPARE(ReadFile(f.path("tree/a.exe")), infected);
}

void MainWindowTest::missingLoadLibraryEndsWithStatus2() {
    // The real program, copied where no libcpudll.so lies beside it.
    QTemporaryDir dir;
    const QString copy = dir.filePath("korvax");
    QVERIFY(QFile::copy(QStringLiteral(KORVAX_PROGRAM), copy));
    QProcess korvax;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.remove("LD_LIBRARY_PATH");
    korvax.setProcessEnvironment(environment);
    korvax.setWorkingDirectory(dir.path());
    korvax.start(copy, {});
    QVERIFY(korvax.waitForFinished(30000));
    QCOMPARE(korvax.exitStatus(), QProcess::NormalExit);
    QCOMPARE(korvax.exitCode(), 2);
    QVERIFY(korvax.readAllStandardError().contains("libcpudll.so"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
