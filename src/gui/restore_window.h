#pragma once
// The restore window: everything the user's backup store can still put back (the latest
// original of every file a cure changed, in this run or an earlier one), and the restore
// of the files chosen in it or in the statistics window's menu.
//
// A restore is the one `korvax-scan --restore` makes (backup/restore.h): only over the very
// file its cure left, and never over a file changed since (that change would be lost); a
// refused file is left as it is and the user is told why, once for all the files of one
// restore. A file put back is trusted, gets its own row in the statistics window, and the
// next check finds it clean while it stays as it is. Like an update, a restore waits while
// a check runs: the workers may be writing those very files.
//
// Use on the user-interface thread only.

#include <QWidget>

#include <string>
#include <vector>

#include "check/program_state.h"
#include "platform/file_write_calls.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace korvax {

class TForm3;

class RestoreWindow : public QWidget {
    Q_OBJECT

public:
    // `folder`: the user's backup store; `statistics` takes the rows of the files put back.
    RestoreWindow(ProgramState& state, TForm3& statistics, std::string folder,
                  FileWriteCalls& calls = SystemFileWriteCalls());

    // Shows the window (raised), with the store's list read afresh.
    void ShowBackups();
    // Puts back the files `paths` (exact bytes, as the statistics rows hold them). Refused
    // as a whole while a check runs (a Failure, for the standard display); a file refused
    // by the restore itself is told through the standard display once all are done.
    void RestoreFiles(const std::vector<std::string>& paths);
    // "Восстановить": the files selected in the list.
    void RestoreButtonClick();

    // The list, read again from the store.
    void Reload();
    // While a check runs nothing is restored; once it has ended, the list is read again.
    void SetCheckRunning(bool running);
    // What the last prune of the store did (empty: nothing worth saying).
    void SetPruneNote(const QString& note);

private:
    void UpdateRestoreButton();

    ProgramState& state_;
    TForm3& statistics_;
    const std::string folder_;
    FileWriteCalls& calls_;
    bool checkRunning_ = false;
    QTreeWidget* BackupList = nullptr;
    QLabel* PruneNote = nullptr;
    QLabel* StatusLine = nullptr;
    QPushButton* RestoreButton = nullptr;
    QPushButton* CloseButton = nullptr;
};

}  // namespace korvax
