#pragma once
// A check started from the desktop's start button, the same under every window toolkit:
// the user's backup store opened (and pruned) before any worker runs, every cure keeping
// its original there first, the files the user put back trusted, and the scheduler run
// inside the button's handler. What the user must hear of the store is told once, when
// the check has ended, rather than once per file in the middle of it.
//
// The main window's close box during a check does not pull the windows from under the
// check running further down the stack: it stops the check, and the window closes once
// the check has ended.
//
// Use on the user-interface thread only.

#include <functional>
#include <string>

#include "check/check_display.h"
#include "check/program_state.h"
#include "platform/file_write_calls.h"
#include "platform/message_pump.h"

namespace korvax {

class DesktopCheck {
public:
    struct Hooks {
        // The store was opened: what its prune did (empty: nothing worth saying).
        std::function<void(const std::string& pruneNote)> storeOpened;
        // A check begins (true) or has ended (false): updates and restores wait meanwhile.
        std::function<void(bool running)> running;
    };

    // The store at `backupFolder` (empty: the user's own) writes its files with
    // `backupCalls`.
    DesktopCheck(ProgramState& state, FileWriteCalls& backupCalls, std::string backupFolder, Hooks hooks);

    // The start button: runs one whole check and returns when it has ended, with what the
    // user must be told about the backups (empty: nothing). A failure inside the check
    // ends it (every worker ended) and reaches the caller. Never re-entered: a second
    // press while a check runs does nothing.
    std::string Start(CheckDisplay& display, MessagePump& pump);
    bool Running() const { return running_; }

    // The main window asks to close. True: it may close now. False: a check runs; it is
    // stopped, and CloseAfterCheck() holds until the window has closed.
    bool CloseRequested();
    bool CloseAfterCheck() const { return closeAfterCheck_; }

private:
    ProgramState& state_;
    FileWriteCalls& backupCalls_;
    std::string backupFolder_;
    Hooks hooks_;
    bool running_ = false;
    bool closeAfterCheck_ = false;
};

}  // namespace korvax
