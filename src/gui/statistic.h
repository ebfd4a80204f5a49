#pragma once
// The statistics window: the run's counters and one row per reported file. It has no logic
// of its own: the main window's refresh writes the counters, and the workers' rows arrive
// through synchronised calls on the user-interface thread.
//
// A cure can be undone from here: the list's context menu asks for the restore of a cured
// row's file ("Восстановить") or for the restore window; both wait while a check runs. The
// window's own controls and size stay as designed: the menu is the list's, and the
// restore itself is the restore window's business (restore_window.h).
//
// Use on the user-interface thread only.

#include <QByteArray>
#include <QWidget>

#include "engine/scan_result.h"

class QAction;
class QLabel;
class QFrame;
class QMenu;
class QTreeWidget;

namespace korvax {

class TForm3 : public QWidget {
    Q_OBJECT

public:
    // Places itself beside `mainWindow` whenever it is shown.
    explicit TForm3(QWidget& mainWindow);

    // Appends a row at the end; rows stay for the whole run.
    void AddRow(const ResultRow& row);
    // Checked, cured and virus counts. The suspicious count is never written: it stays "0".
    void SetCounters(const QString& checked, const QString& cured, const QString& viruses);

    // The list's context menu for the row at `position` (the list's viewport coordinates;
    // no row there: the menu without a file to restore).
    void ListView1ContextPopup(const QPoint& position);
    // No restore is asked for while a check runs.
    void SetCheckRunning(bool running);

signals:
    // "Восстановить" on a cured row: the file's path, exact bytes.
    void restoreRequested(const QByteArray& path);
    // "Резервные копии...": the restore window.
    void backupsRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget& mainWindow_;
    QFrame* Panel1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QMenu* RowMenu = nullptr;
    QAction* RestoreAction = nullptr;
    QAction* BackupsAction = nullptr;
    QByteArray menuPath_;  // the cured file the open menu was asked for
    bool checkRunning_ = false;
};

}  // namespace korvax
