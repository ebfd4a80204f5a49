#pragma once
// The statistics window of the Win32 front end: the run's counters and one row per
// reported file, kept for the whole run. It has no logic of its own: the main window's
// refresh writes the counters, the workers' rows arrive through synchronised calls.
//
// A cure can be undone from here: the list's context menu asks for the restore of a cured
// row's file ("Восстановить") or for the restore window; both wait while a check runs.
//
// Use on the user-interface thread only.

#include <functional>
#include <string>
#include <vector>

#include "engine/scan_result.h"
#include "wingui/window.h"

namespace korvax::wingui {

enum StatisticsControl : int {
    kStatLabel1 = 301,  // "Проверено:"
    kStatLabel2,        // "Тел вирусов:"
    kStatLabel3,        // "Вылечено:"
    kStatLabel4,        // "Подозрительных:"
    kStatLabel5,        // checked
    kStatLabel6,        // cured
    kStatLabel7,        // viruses
    kStatLabel8,        // suspicious: never written
    kListView1,
};

// The list's context menu's items.
enum RowMenuItem : int { kRestoreItem = 351, kBackupsItem = 352 };

class TForm3 : public Window {
public:
    // Places itself beside `mainWindow` whenever it is shown.
    explicit TForm3(const Window& mainWindow);

    // Appends a row at the end; rows stay for the whole run.
    void AddRow(const ResultRow& row);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Checked, cured and virus counts. The suspicious count is never written: it stays "0".
    void SetCounters(const std::string& checked, const std::string& cured, const std::string& viruses);

    // The list's context menu for `row` (-1: no row): which items may be chosen.
    struct RowMenu {
        bool restore = false;  // a cured row, and no check runs
        bool backups = false;  // no check runs
    };
    RowMenu MenuFor(int row) const;
    // `item` was chosen in the menu opened for `row`.
    void MenuChosen(int row, int item);
    // No restore is asked for while a check runs.
    void SetCheckRunning(bool running) { checkRunning_ = running; }

    // "Восстановить" on a cured row: the file's path, exact bytes.
    std::function<void(const std::string& path)> restoreRequested;
    // "Резервные копии...": the restore window.
    std::function<void()> backupsRequested;

protected:
    void Placing() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ContextMenu(LPARAM at);

    const Window& mainWindow_;
    std::vector<ResultRow> rows_;
    bool checkRunning_ = false;
};

}  // namespace korvax::wingui
