// The main window and the settings window: start-up, the button rules, placement and the
// folder list.
#include <QComboBox>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startupShowsFiguresAndLoadsDatabase();
    void captionsFitTheNarrowWindow();
    void settingsButtonDisablesStartAndUpdateUntilClosed();
    void statisticsButtonSwapsSettingsForStatistics();
    void secondaryWindowsStandBesideMainWindow();
    void folderListAddsAndRemoves();
    void commandLineFoldersFillTheList();
    void startupWithoutDatabaseShowsErrorAndFindsNothing();
    void missingLoadLibraryEndsWithStatus2();
};

void MainWindowTest::startupShowsFiguresAndLoadsDatabase() {
    ProgramFixture f(true, {}, kCpuLoadLibrary);  // the real load library
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.main().windowTitle(), QStringLiteral("Korvax"));
    QCOMPARE(f.main().size(), QSize(153, 403));
    QCOMPARE(f.main().minimumSize(), f.main().maximumSize());
    QCOMPARE(f.main().pos(), QPoint(192, 113));
    QCOMPARE(f.text(f.main(), "Label2"), QStringLiteral("2394 Mhz"));
    QCOMPARE(f.state().BasePath, f.path("virbase.kvd").toStdString());
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{3});
    QVERIFY(f.state().MemoryLimit > 0);

    // From top to bottom in the designed order, nothing overlapping.
    const char* order[] = {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5",
                           "Label1",       "Label2",       "Label3",       "Label4",       "Label5",
                           "Label6",       "Label7",       "Label8",       "Label9",       "Label10",
                           "Label11",      "CGauge1"};
    int previousBottom = -1;
    for (const char* name : order) {
        const QRect place = f.find<QWidget>(f.main(), name)->geometry();
        QVERIFY2(place.top() > previousBottom, name);
        QVERIFY2(QRect(QPoint(0, 0), f.main().size()).contains(place), name);
        previousBottom = place.bottom();
    }
    QVERIFY(!f.find<QWidget>(f.main(), "Panel1")->isVisible());
    QVERIFY(!f.mainButton(4)->isEnabled());
    for (int number : {1, 2, 3, 5}) QVERIFY(f.mainButton(number)->isEnabled());

    // The refresh runs from the start: the load is shown without its sign, the pool empty.
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label4"), QString::number(qAbs(f.state().CpuLoad)) + "%");
    QCOMPARE(f.text(f.main(), "Label6"), QStringLiteral("0/0"));
    QCOMPARE(f.text(f.statistics(), "Label8"), QStringLiteral("0"));
}

void MainWindowTest::captionsFitTheNarrowWindow() {
    ProgramFixture f;
    for (const char* name : {"Label1", "Label3", "Label5", "Label7", "Label9"}) {
        auto* caption = f.find<QLabel>(f.main(), name);
        QCOMPARE(caption->font().pixelSize(), 15);
        QVERIFY2(caption->fontMetrics().horizontalAdvance(caption->text()) <= caption->width(), name);
        QVERIFY2(caption->geometry().right() < f.main().width(), name);
    }
    for (int number = 1; number <= 5; ++number) {
        QAbstractButton* button = f.mainButton(number);
        QVERIFY(button->sizeHint().width() <= button->width());
    }
}

void MainWindowTest::settingsButtonDisablesStartAndUpdateUntilClosed() {
    ProgramFixture f;
    const auto startAndUpdate = [&] { return f.mainButton(3)->isEnabled() && f.mainButton(5)->isEnabled(); };
    const auto noStartNoUpdate = [&] { return !f.mainButton(3)->isEnabled() && !f.mainButton(5)->isEnabled(); };

    // Closed by its own close box.
    f.mainButton(1)->click();
    QVERIFY(f.settings().isVisible());
    QVERIFY(noStartNoUpdate());
    QVERIFY(f.settings().close());
    QVERIFY(!f.settings().isVisible());
    QVERIFY(startAndUpdate());

    // Closed by "Настройки" again; the statistics window is closed on the way.
    f.mainButton(2)->click();
    QVERIFY(f.statistics().isVisible());
    f.mainButton(1)->click();
    QVERIFY(!f.statistics().isVisible());
    QVERIFY(f.settings().isVisible());
    QVERIFY(noStartNoUpdate());
    f.mainButton(1)->click();
    QVERIFY(!f.settings().isVisible());
    QVERIFY(startAndUpdate());
}

void MainWindowTest::statisticsButtonSwapsSettingsForStatistics() {
    ProgramFixture f;
    f.mainButton(1)->click();
    const QPoint settingsPlace = f.settings().pos();
    f.mainButton(2)->click();
    QVERIFY(!f.settings().isVisible());
    QVERIFY(f.statistics().isVisible());
    QCOMPARE(f.statistics().pos(), settingsPlace);
    QVERIFY(f.mainButton(3)->isEnabled() && f.mainButton(5)->isEnabled());
    f.mainButton(2)->click();
    QVERIFY(!f.statistics().isVisible());
}

void MainWindowTest::secondaryWindowsStandBesideMainWindow() {
    ProgramFixture f;
    f.main().move(300, 150);
    const QRect main = f.main().frameGeometry();
    const QPoint beside(main.x() + main.width(), main.y());
    f.mainButton(1)->click();
    QCOMPARE(f.settings().frameGeometry().topLeft(), beside);
    QCOMPARE(f.settings().size(), QSize(513, 219));
    f.mainButton(2)->click();
    QCOMPARE(f.statistics().frameGeometry().topLeft(), beside);
    QCOMPARE(f.statistics().size(), QSize(615, 324));
    // Shown again after the main window moved: placed anew.
    f.mainButton(2)->click();
    f.main().move(100, 80);
    f.mainButton(2)->click();
    QCOMPARE(f.statistics().frameGeometry().topLeft(), QPoint(100 + main.width(), 80));
}

void MainWindowTest::folderListAddsAndRemoves() {
    ProgramFixture f;
    QDir().mkpath(f.path("tree/sub"));
    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    auto* add = f.find<QPushButton>(f.settings(), "Button1");
    auto* remove = f.find<QPushButton>(f.settings(), "Button2");

    // Navigating moves the process's current directory, never the database path.
    const QString folder = QDir(f.path("tree/sub")).canonicalPath();
    f.settings().ChangeDirectory(folder);
    QCOMPARE(QDir::currentPath(), folder);
    QCOMPARE(f.state().BasePath, f.path("virbase.kvd").toStdString());

    add->click();
    add->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), folder);
    QCOMPARE(list->item(1)->text(), folder);

    // The root keeps its slash; nothing else ends with one.
    f.settings().ChangeDirectory(QStringLiteral("/"));
    add->click();
    QCOMPARE(list->item(2)->text(), QStringLiteral("/"));

    remove->click();  // nothing selected
    QCOMPARE(list->count(), 3);

    list->setCurrentRow(2);
    QCOMPARE(list->toolTip(), folder + "\n" + folder + "\n/");
    remove->click();
    QCOMPARE(list->count(), 2);
    remove->click();  // the deletion left nothing selected
    QCOMPARE(list->count(), 2);

    // The check reads the list as folder paths, in its order.
    QCOMPARE(f.main().FolderCount(), 2);
    QCOMPARE(f.main().FolderAt(1), folder.toStdString());

    // The heuristics box is there, checked, and nothing reads it.
    QVERIFY(f.find<QAbstractButton>(f.settings(), "CheckBox1")->isChecked());
    QCOMPARE(f.text(f.settings(), "Label2"), QStringLiteral("Использовать эвристику"));
    QVERIFY(f.find<QComboBox>(f.settings(), "DriveComboBox1")->findText(QStringLiteral("/")) >= 0);
}

void MainWindowTest::commandLineFoldersFillTheList() {
    // Relative folders are taken from the start-up folder (the fixture's).
    ProgramFixture f(true, {QStringLiteral("relative/dir/"), QStringLiteral("/"), QStringLiteral("/tmp//x/../y")});
    auto* list = f.find<QListWidget>(f.settings(), "ListBox1");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), f.path(QStringLiteral("relative/dir")));
    QCOMPARE(list->item(1)->text(), QStringLiteral("/"));
    QCOMPARE(list->item(2)->text(), QStringLiteral("/tmp/y"));
}

void MainWindowTest::startupWithoutDatabaseShowsErrorAndFindsNothing() {
    ProgramFixture f(false);
    QCOMPARE(f.errors, QStringList{"Cannot open file " + f.path("virbase.kvd")});
    QVERIFY(f.state().pool.VirusBase.empty());
    QVERIFY(f.program->Started());

    // A database beside the program would not be used: only the start-up folder counts.
    const QByteArray infected = PrependInfected(CleanProgram(1));
    WriteFile(f.path("tree/a.exe"), infected);
    WriteFile(f.path("tree/b.com"), "KVXM marked");
    f.runCheck({f.path("tree")});
    QVERIFY(f.rows().isEmpty());
    QCOMPARE(f.text(f.main(), "Label10"), QStringLiteral("2"));
    QCOMPARE(ReadFile(f.path("tree/a.exe")), infected);
    f.waitForRefresh();
    QCOMPARE(f.text(f.main(), "Label8"), QStringLiteral("2"));
    QCOMPARE(f.text(f.statistics(), "Label7"), QStringLiteral("0"));
}

void MainWindowTest::missingLoadLibraryEndsWithStatus2() {
    {
        ProgramFixture f(true);
        ProgramOptions options;
        options.loadLibrary = "libkorvax-no-such-library.so";
        options.measureMhz = [] { return 1000.0L; };
        Program program(options);
        QVERIFY(!program.Started());
        QVERIFY(QString::fromStdString(program.StartFailure()).contains("libkorvax-no-such-library.so"));
    }

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
