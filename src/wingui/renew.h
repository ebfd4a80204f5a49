#pragma once
// The update window of the Win32 front end: appends a second database file, named by the
// user, to the database file and its entries to the database in memory. The window keeps
// no state but the path box, which is never cleared.
//
// Enter presses the button that has the keyboard focus ("Обзор..." or Cancel), and OK
// only when the focus is elsewhere (in the path box): an update cannot be undone, so Enter
// on another button must never run one. Escape closes the window, as Cancel does.
//
// Use on the user-interface thread only.

#include <windows.h>
#include <commdlg.h>

#include <functional>

#include "check/program_state.h"
#include "wingui/window.h"

namespace korvax::wingui {

enum UpdateControl : int {
    kBitBtn1 = IDOK,      // OK
    kBitBtn2 = IDCANCEL,  // Cancel
    kEdit1 = 401,
    kRenewButton1,        // "Обзор..."
};

class TForm4 : public Window {
public:
    // The open-file dialog: GetOpenFileNameW by default; a test answers it itself.
    using FileDialog = std::function<bool(OPENFILENAMEW& dialog)>;

    explicit TForm4(ProgramState& state);

    // "Обзор...": the file dialog; a chosen file's full name goes into the path box, a
    // cancelled dialog changes nothing.
    void Button1Click();
    // OK: the update of the file named in the path box. Failures reach the caller.
    void BitBtn1Click();
    // Cancel: hides the window.
    void BitBtn2Click();
    // The database must not change under the workers: OK is disabled while a check runs
    // (and the update itself refuses then as well).
    void SetCheckRunning(bool running);

    void SetFileDialog(FileDialog dialog) { fileDialog_ = std::move(dialog); }
    bool PreTranslate(MSG& message) override;

protected:
    void Placing() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    ProgramState& state_;
    FileDialog fileDialog_;
    bool placed_ = false;
};

}  // namespace korvax::wingui
