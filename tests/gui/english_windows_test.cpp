// The windows in English with KORVAX_LANG=en: every text the program shows translated and
// readable in its place, messages too; the statistics rows keep the engine's own texts.
// Without it the windows stay in Russian.
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "gui/window_language.h"
#include "gui_test_support.h"

using namespace korvax;
using namespace korvax::test;

namespace {

// Every text of `window` a user can read: its title, labels, buttons, group boxes and
// list headers.
QStringList ShownTexts(QWidget& window) {
    QStringList texts = {window.windowTitle()};
    for (const QLabel* label : window.findChildren<QLabel*>()) texts.append(label->text());
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) texts.append(button->text());
    for (const QGroupBox* box : window.findChildren<QGroupBox*>()) texts.append(box->title());
    for (const QTreeWidget* list : window.findChildren<QTreeWidget*>()) {
        for (int column = 0; column < list->columnCount(); ++column) texts.append(list->headerItem()->text(column));
    }
    for (const QAction* action : window.findChildren<QAction*>()) texts.append(action->text());
    return texts;
}

const QRegularExpression kCyrillic(QStringLiteral("\\p{Cyrillic}"));

}  // namespace

class EnglishWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("KORVAX_LANG"); }
    void everyTextInEnglish();
    void russianWithoutIt();
};

void EnglishWindowsTest::everyTextInEnglish() {
    qputenv("KORVAX_LANG", "en");
    const WindowLanguage language;
    ProgramFixture f;
    QCOMPARE(f.mainButton(1)->text(), QStringLiteral("Settings"));
    QCOMPARE(f.mainButton(3)->text(), QStringLiteral("Start check"));
    QCOMPARE(f.text(f.main(), "Label9"), QStringLiteral("Total:"));
    QCOMPARE(f.update().windowTitle(), QStringLiteral("Update"));
    QCOMPARE(f.find<QPushButton>(f.update(), "Button1")->text(), QStringLiteral("Browse..."));

    // The restore window, with a file of the store listed.
    WriteFile(f.path("cured/tool.exe"), PrependInfected(CleanProgram(1)));
    f.runCheck({f.path("cured")});
    f.restore().ShowBackups();
    QCOMPARE(f.restore().windowTitle(), QStringLiteral("Backups"));
    const QTreeWidgetItem* listed = f.find<QTreeWidget>(f.restore(), "BackupList")->topLevelItem(0);
    QCOMPARE(listed->text(1) + "|" + listed->text(3), QStringLiteral("Test.Prepend|no"));

    QWidget* windows[] = {&f.main(), &f.settings(), &f.statistics(), &f.update(), &f.restore()};
    for (QWidget* window : windows) {
        for (const QString& text : ShownTexts(*window)) {
            QVERIFY2(!text.contains(kCyrillic), qPrintable(window->objectName() + ": " + text));
        }
    }
    // The main window's captions still fit its narrow width.
    for (const QLabel* label : f.main().findChildren<QLabel*>()) {
        if (label->isVisibleTo(&f.main()) && !label->text().isEmpty()) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
        }
    }

    // The engine's messages come in English as well.
    WriteFile(f.path("empty.kvd"), QByteArray());
    f.mainButton(5)->click();
    f.find<QLineEdit>(f.update(), "Edit1")->setText(f.path("empty.kvd"));
    f.find<QPushButton>(f.update(), "BitBtn1")->click();
    QCOMPARE(f.errors, QStringList{"The update file is empty: " + f.path("empty.kvd")});

    // The rows keep the engine's own texts.
    WriteFile(f.path("tree/marked.com"), "KVXM marked");
    f.runCheck({f.path("tree")});
    QCOMPARE(f.rows().last(), f.path("tree/marked.com") + "|Test.Mark|Пропущен");
}

void EnglishWindowsTest::russianWithoutIt() {
    qputenv("KORVAX_LANG", "de");  // any other language: the windows as designed
    const WindowLanguage language;
    ProgramFixture f;
    QCOMPARE(f.mainButton(1)->text(), QStringLiteral("Настройки"));
    QCOMPARE(f.settings().windowTitle(), QStringLiteral("Настройки"));
    QCOMPARE(f.find<QTreeWidget>(f.statistics(), "ListView1")->headerItem()->text(0), QStringLiteral("Объект"));
    WriteFile(f.path("empty.kvd"), QByteArray());
    f.mainButton(5)->click();
    f.find<QLineEdit>(f.update(), "Edit1")->setText(f.path("empty.kvd"));
    f.find<QPushButton>(f.update(), "BitBtn1")->click();
    QCOMPARE(f.errors, QStringList{"Файл обновления пуст: " + f.path("empty.kvd")});
}

QTEST_MAIN(EnglishWindowsTest)
#include "english_windows_test.moc"
