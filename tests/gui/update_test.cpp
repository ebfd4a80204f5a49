// The update window: entries added on disk and in memory, refusals that change nothing,
// the file dialog, and no update while a check runs.
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

VirusBase EntriesOf(const QByteArray& bytes) {
    VirusBase base;
    ReadRecords(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())),
                base);
    return base;
}

struct UpdateWindow {
    explicit UpdateWindow(ProgramFixture& f)
        : edit(f.find<QLineEdit>(f.update(), "Edit1")),
          browse(f.find<QPushButton>(f.update(), "Button1")),
          ok(f.find<QPushButton>(f.update(), "BitBtn1")),
          cancel(f.find<QPushButton>(f.update(), "BitBtn2")) {}
    QLineEdit* edit;
    QPushButton* browse;
    QPushButton* ok;
    QPushButton* cancel;
};

}  // namespace

class UpdateTest : public QObject {
    Q_OBJECT

private slots:
    void okAppendsFileAndEntries();
    void refusedUpdatesChangeNothing_data();
    void refusedUpdatesChangeNothing();
    void noUpdateWhileCheckRuns();
    void browseFillsPathOnlyWhenChosen();
    void keysAndWindow();
};

void UpdateTest::okAppendsFileAndEntries() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    const QByteArray added = Assemble(kThreeEntries);
    WriteFile(f.path("more.kvd"), added);
    const VirusBase original = f.state().pool.VirusBase;

    f.mainButton(5)->click();
    QVERIFY(f.update().isVisible());
    UpdateWindow window(f);
    window.edit->setText(f.path("more.kvd"));
    window.ok->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join('\n')));

    // The file grew by exactly the added file; memory by its three entries, in order,
    // equal to what a restart reads from the file's tail.
    QByteArray joined = ReadFile(f.path("virbase.kvd"));
    QCOMPARE(joined, before + added);
    const VirusBase& base = f.state().pool.VirusBase;
    QCOMPARE(base.size(), original.size() + 3);
    QVERIFY(std::equal(original.begin(), original.end(), base.begin()));
    QVERIFY(VirusBase(base.begin() + 3, base.end()) == EntriesOf(added));
    QVERIFY(EntriesOf(joined) == base);

    // The window stays, with the path; a second OK appends a second time.
    QVERIFY(f.update().isVisible());
    QCOMPARE(window.edit->text(), f.path("more.kvd"));
    window.ok->click();
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before + added + added);
    QCOMPARE(f.state().pool.VirusBase.size(), original.size() + 6);

    // The new entries take part in the next check.
    WriteFile(f.path("tree/new.exe"), "ADD2 .... TAIL");
    f.runCheck({f.path("tree")});
    QCOMPARE(f.rows(), QStringList{f.path("tree/new.exe") + "|Added.Two|Пропущен"});
}

void UpdateTest::refusedUpdatesChangeNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty file") << "empty.kvd" << QByteArray() << "";
    QTest::newRow("no head record first") << "headless.kvd" << Assemble("raw 0x00 data 00 00 00 00") << "";
    QTest::newRow("negative length") << "negative.kvd" << Assemble("entry \"X\"\nraw 0x00 length -1") << "";
    QTest::newRow("cut short") << "short.kvd" << Assemble("entry \"X\"\nraw 0x00 length 17 data 02 00") << "";
    QTest::newRow("missing file") << "" << QByteArray() << "Cannot open file ";
    QTest::newRow("empty path box") << "-" << QByteArray() << "Cannot open file";
}

void UpdateTest::refusedUpdatesChangeNothing() {
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    const VirusBase original = f.state().pool.VirusBase;
    QString path;
    if (name == "-") {
        path = QString();
    } else if (name.isEmpty()) {
        path = f.path("no-such.kvd");
    } else {
        path = f.path(name);
        WriteFile(path, contents);
    }

    f.mainButton(5)->click();
    UpdateWindow window(f);
    window.edit->setText(path);
    window.ok->click();
    QCOMPARE(f.errors.size(), 1);
    if (!message.isEmpty()) QVERIFY2(f.errors.first().startsWith(message), qPrintable(f.errors.first()));
    QVERIFY2(path.isEmpty() || f.errors.first().contains(path), qPrintable(f.errors.first()));
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);
    QVERIFY(f.state().pool.VirusBase == original);
    QVERIFY(f.update().isVisible());
}

void UpdateTest::noUpdateWhileCheckRuns() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    WriteFile(f.path("more.kvd"), Assemble(kThreeEntries));
    for (int i = 0; i < 300; ++i) WriteFile(f.path(QStringLiteral("tree/p%1.exe").arg(i)), CleanProgram(i));
    f.mainButton(5)->click();  // opened before the check: it stays open during it
    UpdateWindow window(f);
    window.edit->setText(f.path("more.kvd"));

    bool tried = false;
    bool okDisabled = true;
    f.runCheck({f.path("tree")}, [&] {
        okDisabled = okDisabled && !window.ok->isEnabled();
        if (!tried && f.state().pool.CheckedCount > 0) {
            tried = true;
            // The button is off; the update itself refuses too.
            window.ok->click();
            QVERIFY_THROWS_EXCEPTION(UpdateRefused, f.update().BitBtn1Click());
        }
    });
    QVERIFY(tried);
    QVERIFY(okDisabled);
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before);
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{3});

    QVERIFY(window.ok->isEnabled());
    window.ok->click();
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.state().pool.VirusBase.size(), std::size_t{6});
}

void UpdateTest::browseFillsPathOnlyWhenChosen() {
    ProgramFixture f;
    WriteFile(f.path("more.kvd"), Assemble(kThreeEntries));
    f.mainButton(5)->click();
    UpdateWindow window(f);
    window.edit->setText(QStringLiteral("typed by hand"));

    const auto answerDialog = [&](bool choose) {
        QTimer::singleShot(0, [&, choose] {
            auto* dialog = f.update().findChild<QFileDialog*>(QStringLiteral("O1"));
            QTRY_VERIFY(dialog != nullptr && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Вирусные базы"));
            QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Korvax database files (*.kvd)")});
            if (choose) {
                // As typed by the user: the name box has the focus, so selectFile would
                // leave it alone.
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(f.path("more.kvd"));
                QTRY_COMPARE(dialog->selectedFiles(), QStringList{f.path("more.kvd")});
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        window.browse->click();  // runs the dialog until it is answered
    };
    answerDialog(false);
    QCOMPARE(window.edit->text(), QStringLiteral("typed by hand"));
    answerDialog(true);
    QCOMPARE(window.edit->text(), f.path("more.kvd"));
}

void UpdateTest::keysAndWindow() {
    ProgramFixture f;
    const QByteArray before = ReadFile(f.path("virbase.kvd"));
    const QByteArray added = Assemble(kThreeEntries);
    WriteFile(f.path("more.kvd"), added);
    f.mainButton(5)->click();
    UpdateWindow window(f);
    QCOMPARE(f.update().windowTitle(), QStringLiteral("Обновление"));
    QVERIFY(!f.update().isModal());
    QVERIFY(f.main().isEnabled());

    // Enter in the path box presses OK; Escape closes the window, keeping the path.
    window.edit->setText(f.path("more.kvd"));
    window.edit->setFocus();
    QTest::keyClick(window.edit, Qt::Key_Return);
    QCOMPARE(ReadFile(f.path("virbase.kvd")), before + added);
    QTest::keyClick(&f.update(), Qt::Key_Escape);
    QVERIFY(!f.update().isVisible());
    f.mainButton(5)->click();
    QCOMPARE(window.edit->text(), f.path("more.kvd"));
    window.cancel->click();
    QVERIFY(!f.update().isVisible());
}

QTEST_MAIN(UpdateTest)
#include "update_test.moc"
