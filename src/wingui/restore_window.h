#pragma once
// The restore window of the Win32 front end: everything the user's backup store can still
// put back (the latest original of every file a cure changed, in this run or an earlier
// one), and the restore of the files chosen in it or in the statistics window's menu (see
// desktop/desktop_restore.h: never over a file changed since its cure). Like an update, a
// restore waits while a check runs.
//
// Use on the user-interface thread only.

#include <string>
#include <vector>

#include "check/program_state.h"
#include "platform/file_write_calls.h"
#include "wingui/window.h"

namespace korvax::wingui {

class TForm3;

enum RestoreControl : int {
    kBackupList = 501,
    kPruneNote,
    kStatusLine,
    kRestoreButton,
    kCloseButton,
};

class RestoreWindow : public Window {
public:
    // `folder`: the user's backup store; `statistics` takes the rows of the files put back.
    RestoreWindow(ProgramState& state, TForm3& statistics, std::string folder,
                  FileWriteCalls& calls = SystemFileWriteCalls());

    // Shows the window, with the store's list read afresh.
    void ShowBackups();
    // Puts back `paths` (exact bytes, as the statistics rows hold them). Refused as a whole
    // while a check runs (a Failure, for the standard display); what the restore refused
    // is told through the standard display once all are done.
    void RestoreFiles(const std::vector<std::string>& paths);
    // "Восстановить": the files selected in the list.
    void RestoreButtonClick();
    // The list, read again from the store.
    void Reload();
    // While a check runs nothing is restored; once it has ended, the list is read again.
    void SetCheckRunning(bool running);
    // What the last prune of the store did (empty: nothing worth saying).
    void SetPruneNote(const std::string& note);

    // The listed files (their exact bytes), in the list's order.
    const std::vector<std::string>& Listed() const { return listed_; }

protected:
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Layout() override;

private:
    void UpdateRestoreButton();

    ProgramState& state_;
    TForm3& statistics_;
    const std::string folder_;
    FileWriteCalls& calls_;
    bool checkRunning_ = false;
    std::vector<std::string> listed_;
};

}  // namespace korvax::wingui
