#include "gui/statistic.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include "engine/display_text.h"
#include "gui/window_look.h"

namespace korvax {
namespace {

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    return label;
}

// Paths and virus names are bytes: shown as UTF-8, or read as Windows-1251 when they are
// not, and with their control characters escaped, so that a newline in a file name shows
// as \n in its row instead of breaking it.
QString Shown(const std::string& bytes) { return QString::fromStdString(DisplayLine(bytes)); }

// What a row keeps besides its texts: the path's exact bytes (the text shown is escaped
// and decoded, and names no file for sure) and its verdict.
constexpr int kPathRole = Qt::UserRole;
constexpr int kCodeRole = Qt::UserRole + 1;

}  // namespace

TForm3::TForm3(QWidget& mainWindow) : mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(tr("Статистика"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(615, 324);
    setFont(WindowFont());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 615, 49);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    // Two columns of caption and value, two lines each.
    AddLabel(Panel1, "Label1", tr("Проверено:"), QRect(16, 8, 100, 15));
    Label5 = AddLabel(Panel1, "Label5", QStringLiteral("0"), QRect(120, 8, 120, 15));
    AddLabel(Panel1, "Label3", tr("Вылечено:"), QRect(16, 27, 100, 15));
    Label6 = AddLabel(Panel1, "Label6", QStringLiteral("0"), QRect(120, 27, 120, 15));
    AddLabel(Panel1, "Label2", tr("Тел вирусов:"), QRect(320, 8, 110, 15));
    Label7 = AddLabel(Panel1, "Label7", QStringLiteral("0"), QRect(436, 8, 120, 15));
    AddLabel(Panel1, "Label4", tr("Подозрительных:"), QRect(320, 27, 110, 15));
    AddLabel(Panel1, "Label8", QStringLiteral("0"), QRect(436, 27, 120, 15));  // never written

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(0, 49, 615, 324 - 49);
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels({tr("Объект"), tr("Статус"), tr("Действие")});
    ListView1->setColumnWidth(0, 370);
    ListView1->setColumnWidth(1, 150);
    ListView1->setColumnWidth(2, 70);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setMouseTracking(true);
    ListView1->setAttribute(Qt::WA_Hover);

    RowMenu = new QMenu(this);
    RowMenu->setObjectName(QStringLiteral("RowMenu"));
    RestoreAction = RowMenu->addAction(tr("Восстановить"));
    RestoreAction->setObjectName(QStringLiteral("RestoreAction"));
    BackupsAction = RowMenu->addAction(tr("Резервные копии..."));
    BackupsAction->setObjectName(QStringLiteral("BackupsAction"));
    connect(RestoreAction, &QAction::triggered, this, [this] {
        if (!menuPath_.isEmpty()) emit restoreRequested(menuPath_);
    });
    connect(BackupsAction, &QAction::triggered, this, [this] { emit backupsRequested(); });
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, &TForm3::ListView1ContextPopup);
}

void TForm3::AddRow(const ResultRow& row) {
    auto* item = new QTreeWidgetItem({Shown(row.path), Shown(row.status), Shown(row.action)});
    item->setToolTip(0, item->text(0));
    item->setData(0, kPathRole, QByteArray(row.path.data(), static_cast<qsizetype>(row.path.size())));
    item->setData(0, kCodeRole, static_cast<int>(row.code));
    ListView1->addTopLevelItem(item);
}

void TForm3::ListView1ContextPopup(const QPoint& position) {
    const QTreeWidgetItem* item = ListView1->itemAt(position);
    const bool cured = item != nullptr && item->data(0, kCodeRole).toInt() == static_cast<int>(ResultCode::Cured);
    menuPath_ = cured ? item->data(0, kPathRole).toByteArray() : QByteArray();
    RestoreAction->setEnabled(cured && !checkRunning_);
    BackupsAction->setEnabled(!checkRunning_);
    RowMenu->popup(ListView1->viewport()->mapToGlobal(position));
}

void TForm3::SetCheckRunning(bool running) {
    checkRunning_ = running;
    // A menu opened before the check began must not start a restore during it.
    RestoreAction->setEnabled(RestoreAction->isEnabled() && !running);
    BackupsAction->setEnabled(!running);
}

void TForm3::SetCounters(const QString& checked, const QString& cured, const QString& viruses) {
    Label5->setText(checked);
    Label6->setText(cured);
    Label7->setText(viruses);
}

void TForm3::showEvent(QShowEvent* event) {
    const QRect main = mainWindow_.frameGeometry();
    move(main.x() + main.width(), main.y());
    QWidget::showEvent(event);
}

}  // namespace korvax
