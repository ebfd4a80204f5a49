#pragma once
// The statistics window: the run's counters and one row per reported file. It has no logic
// of its own: the main window's refresh writes the counters, and the workers' rows arrive
// through synchronised calls on the user-interface thread.
//
// Use on the user-interface thread only.

#include <QWidget>

#include "engine/scan_result.h"

class QLabel;
class QFrame;
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget& mainWindow_;
    QFrame* Panel1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QTreeWidget* ListView1 = nullptr;
};

}  // namespace korvax
