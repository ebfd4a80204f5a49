#include "gui/restore_window.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "backup/restore.h"
#include "desktop/desktop_restore.h"
#include "engine/display_text.h"
#include "engine/scan_result.h"
#include "gui/exception_display.h"
#include "gui/statistic.h"
#include "gui/window_look.h"
#include "platform/failure.h"
#include "platform/program_language.h"

namespace korvax {
namespace {

constexpr QSize kInitialSize(720, 360);
constexpr int kPathRole = Qt::UserRole;

// Paths and virus names are bytes, shown on one line as the statistics rows show them.
QString Shown(const std::string& bytes) { return QString::fromStdString(DisplayLine(bytes)); }

// The index keeps UTC to the second; the user reads the local time.
QString LocalTime(const std::string& indexTime) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(indexTime), Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : Shown(indexTime);
}

QByteArray Bytes(const std::string& text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

RestoreWindow::RestoreWindow(ProgramState& state, TForm3& statistics, std::string folder, FileWriteCalls& calls)
    : state_(state), statistics_(statistics), folder_(std::move(folder)), calls_(calls) {
    setObjectName(QStringLiteral("RestoreWindow"));
    setWindowTitle(tr("Резервные копии"));
    setWindowFlags(Qt::Window);
    setFont(WindowFont());
    resize(kInitialSize);

    BackupList = new QTreeWidget(this);
    BackupList->setObjectName(QStringLiteral("BackupList"));
    BackupList->setColumnCount(4);
    BackupList->setHeaderLabels({tr("Объект"), tr("Вирус"), tr("Время лечения"), tr("Возвращён")});
    BackupList->setColumnWidth(0, 320);
    BackupList->setColumnWidth(1, 120);
    BackupList->setColumnWidth(2, 130);
    BackupList->setRootIsDecorated(false);
    BackupList->setUniformRowHeights(true);
    BackupList->setAllColumnsShowFocus(true);
    BackupList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(BackupList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateRestoreButton(); });

    PruneNote = new QLabel(this);
    PruneNote->setObjectName(QStringLiteral("PruneNote"));
    PruneNote->setWordWrap(true);
    PruneNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PruneNote->hide();

    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    RestoreButton = new QPushButton(tr("Восстановить"), this);
    RestoreButton->setObjectName(QStringLiteral("RestoreButton"));
    connect(RestoreButton, &QPushButton::clicked, this, [this] { Guarded([&] { RestoreButtonClick(); }); });
    CloseButton = new QPushButton(tr("Закрыть"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StatusLine, 1);
    buttons->addWidget(RestoreButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BackupList, 1);
    layout->addWidget(PruneNote);
    layout->addLayout(buttons);
    UpdateRestoreButton();
}

void RestoreWindow::ShowBackups() {
    Reload();
    show();
    raise();
    activateWindow();
}

void RestoreWindow::Reload() {
    // What was chosen stays chosen: the list is read again after every restore.
    QSet<QByteArray> chosen;
    for (const QTreeWidgetItem* item : BackupList->selectedItems()) chosen.insert(item->data(0, kPathRole).toByteArray());
    BackupList->clear();
    std::error_code ignored;
    if (folder_.empty() || !std::filesystem::exists(folder_, ignored)) {
        // Reading it would make it: there is nothing to put back before the first cure.
        StatusLine->setText(tr("Резервных копий нет"));
        return;
    }
    std::vector<BackupRecord> records;
    try {
        records = RestorableBackups(folder_);
    } catch (const std::exception& failure) {
        StatusLine->setText(ExceptionMessage(failure));
        return;
    }
    for (const BackupRecord& record : records) {
        auto* item = new QTreeWidgetItem(
            {Shown(record.path), Shown(record.entry), LocalTime(record.time), record.restored ? tr("да") : tr("нет")});
        item->setData(0, kPathRole, Bytes(record.path));
        item->setToolTip(0, item->text(0));
        BackupList->addTopLevelItem(item);
        item->setSelected(chosen.contains(Bytes(record.path)));
    }
    StatusLine->setText(records.empty() ? tr("Резервных копий нет") : tr("Резервных копий: %1").arg(records.size()));
}

void RestoreWindow::RestoreButtonClick() {
    std::vector<std::string> paths;
    for (const QTreeWidgetItem* item : BackupList->selectedItems()) {
        paths.push_back(item->data(0, kPathRole).toByteArray().toStdString());
    }
    if (!paths.empty()) RestoreFiles(paths);
}

void RestoreWindow::RestoreFiles(const std::vector<std::string>& paths) {
    // The buttons and the menu are off during a check; this makes sure of it.
    if (checkRunning_) throw Failure(Translated("Во время проверки восстановление невозможно"));
    DesktopRestore outcome;
    try {
        outcome = RestoreChosenFiles(state_, folder_, paths, [this](const ResultRow& row) { statistics_.AddRow(row); },
                                     calls_);
    } catch (...) {
        // The store itself cannot be read: nothing was put back.
        if (isVisible()) Reload();
        throw;
    }
    if (isVisible()) Reload();
    StatusLine->setText(tr("Восстановлено: %1, не восстановлено: %2").arg(outcome.restored).arg(outcome.refused));
    if (!outcome.message.empty()) ShowException(QString::fromStdString(outcome.message));
}

void RestoreWindow::SetCheckRunning(bool running) {
    checkRunning_ = running;
    // The check that ended may have kept more originals.
    if (!running && isVisible()) Reload();
    UpdateRestoreButton();
}

void RestoreWindow::UpdateRestoreButton() {
    RestoreButton->setEnabled(!checkRunning_ && !BackupList->selectedItems().isEmpty());
}

void RestoreWindow::SetPruneNote(const QString& note) {
    PruneNote->setText(note);
    PruneNote->setVisible(!note.isEmpty());
}

}  // namespace korvax
