// The update window: entries added on disk and in memory, refusals that change nothing,
// no update while a check runs, the file dialog.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include "database/database_update.h"
#include "database/read_records.h"
#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

namespace {

constexpr char kThreeEntries[] = R"(
entry "Added.One"
match at 0 pattern "ADD1"
entry "Added.Two"
match at 0 pattern "ADD2"
search rel 0 pattern "TAIL"
entry "Added.Three"
match at 0 pattern "ADD3"
)";

VirusDatabase EntriesOf(const QByteArray& bytes) {
    VirusDatabase base;
    ReadRecords({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())},
                base);
    return base;
}

}  // namespace

class UpdateWindowTest : public QObject {
    Q_OBJECT

private slots:
    void okAppendsFileAndEntries();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void noUpdateWhileCheckRuns();
    void browseFillsPathOnlyWhenChosen();
    void enterPressesTheButtonWithTheFocus();
};

void UpdateWindowTest::okAppendsFileAndEntries() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    const QByteArray added = Assemble(kThreeEntries);
    WriteFile(f.path("more.kvd"), added);
    const VirusDatabase original = f.state().pool.VirusBase;

    f.mainButton(5)->click();
    QVERIFY(f.update().isVisible() && !f.update().isModal());
    f.find<QLineEdit>(f.update(), "Edit1")->setText(f.path("more.kvd"));
    f.find<QPushButton>(f.update(), "BitBtn1")->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));

    // The file grew by exactly the added file; memory by its three entries, equal to what
    // a restart reads from the joined file.
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before + added);
    const VirusDatabase& base = f.state().pool.VirusBase;
    QVERIFY(VirusDatabase(base.begin(), base.begin() + 3) == original);
    QVERIFY(VirusDatabase(base.begin() + 3, base.end()) == EntriesOf(added));
    QVERIFY(EntriesOf(before + added) == base);

    // The window stays with its path; OK again appends again.
    QVERIFY(f.update().isVisible());
    QCOMPARE(f.find<QLineEdit>(f.update(), "Edit1")->text(), f.path("more.kvd"));
    QTest::keyClick(f.find(f.update(), "Edit1"), Qt::Key_Return);  // Enter presses OK
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before + added + added);
    QCOMPARE(base.size(), original.size() + 6);

    // The new entries take part in the next check.
    WriteFile(f.path("tree/new.exe"), "ADD2 .... TAIL");
    f.runCheck({f.path("tree")});
    QCOMPARE(f.rows(), QStringList{f.path("tree/new.exe") + "|Added.Two|Пропущен"});
}

void UpdateWindowTest::refusalsChangeNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty file") << "empty.kvd" << QByteArray();
    QTest::newRow("no head record first") << "headless.kvd" << Assemble("raw 0x00 data 00 00 00 00");
    QTest::newRow("negative length") << "negative.kvd" << Assemble("entry \"X\"\nraw 0x00 length -1");
    QTest::newRow("cut short") << "short.kvd" << Assemble("entry \"X\"\nraw 0x00 length 17 data 02 00");
    QTest::newRow("missing file") << "no-such.kvd" << QByteArray("-");
    QTest::newRow("empty path box") << "" << QByteArray("-");
}

void UpdateWindowTest::refusalsChangeNothing() {
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    const VirusDatabase original = f.state().pool.VirusBase;
    const QString path = name.isEmpty() ? QString() : f.path(name);
    if (contents != "-") WriteFile(path, contents);

    f.mainButton(5)->click();
    f.find<QLineEdit>(f.update(), "Edit1")->setText(path);
    f.find<QPushButton>(f.update(), "BitBtn1")->click();
    QCOMPARE(f.errors.size(), 1);
    QVERIFY2(f.errors.first().contains(path), qPrintable(f.errors.first()));
    if (contents == "-") QVERIFY(f.errors.first().startsWith("Cannot open file"));
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);
    QVERIFY(f.state().pool.VirusBase == original);
}

void UpdateWindowTest::noUpdateWhileCheckRuns() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    WriteFile(f.path("more.kvd"), Assemble(kThreeEntries));
    for (int i = 0; i < 300; ++i) WriteFile(f.path(QStringLiteral("tree/p%1.exe").arg(i)), CleanProgram(i));
    f.mainButton(5)->click();  // open before the check, and left open during it
    f.find<QLineEdit>(f.update(), "Edit1")->setText(f.path("more.kvd"));
    auto* ok = f.find<QPushButton>(f.update(), "BitBtn1");

    bool tried = false;
    f.runCheck({f.path("tree")}, [&] {
        if (tried || f.state().pool.CheckedCount == 0) return;
        tried = true;
        QVERIFY(!ok->isEnabled());
        // Past the button, the update itself refuses.
        QVERIFY_THROWS_EXCEPTION(UpdateRefused, f.update().BitBtn1Click());
    });
    QVERIFY(tried);
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{3});

    ok->click();
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{6});
}

void UpdateWindowTest::browseFillsPathOnlyWhenChosen() {
    ProgramFixture f;
    f.mainButton(5)->click();
    auto* edit = f.find<QLineEdit>(f.update(), "Edit1");
    edit->setText(QStringLiteral("typed by hand"));

    const auto browse = [&](bool choose) {
        QTimer::singleShot(0, [&, choose] {
            auto* dialog = f.update().findChild<QFileDialog*>(QStringLiteral("O1"));
            QTRY_VERIFY(dialog != nullptr && dialog->isVisible());
            if (!choose) return dialog->reject();
            // Typed into the name box, which has the focus (selectFile leaves it alone then).
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(f.path("more.kvd"));
            static_cast<QDialog*>(dialog)->accept();
        });
        f.find<QPushButton>(f.update(), "Button1")->click();  // runs the dialog until answered
    };
    browse(false);
    QCOMPARE(edit->text(), QStringLiteral("typed by hand"));
    browse(true);
    QCOMPARE(edit->text(), f.path("more.kvd"));
}

void UpdateWindowTest::enterPressesTheButtonWithTheFocus() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    WriteFile(f.path("more.kvd"), Assemble(kThreeEntries));
    f.mainButton(5)->click();
    QApplication::setActiveWindow(&f.update());
    QVERIFY(QTest::qWaitForWindowActive(&f.update()));
    auto* edit = f.find<QLineEdit>(f.update(), "Edit1");
    edit->setText(f.path("more.kvd"));
    const auto enterOn = [&](const char* name) {
        QApplication::setActiveWindow(&f.update());  // back from the file dialog, say
        QWidget* target = f.find(f.update(), name);
        target->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };

    // "Обзор...": the file dialog, and no update.
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = f.update().findChild<QFileDialog*>(QStringLiteral("O1"));
        QTRY_VERIFY(dialog != nullptr && dialog->isVisible());
        dialogShown = true;
        dialog->reject();
    });
    enterOn("Button1");
    QVERIFY(dialogShown);
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);

    // Cancel: the window closes, and no update.
    enterOn("BitBtn2");
    QVERIFY(!f.update().isVisible());
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{3});

    // Focus in the path box, also after it was on another button: OK.
    f.mainButton(5)->click();
    f.find(f.update(), "Button1")->setFocus(Qt::TabFocusReason);
    enterOn("Edit1");
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before + Assemble(kThreeEntries));
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{6});

    // OK itself, focused: one update more.
    enterOn("BitBtn1");
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{9});
}

QTEST_MAIN(UpdateWindowTest)
#include "update_window_test.moc"
