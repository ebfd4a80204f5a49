#pragma once
// The update window: appends a second database file, named by the user, to the database
// file and its entries to the database in memory. The window keeps no state but the path
// box, which is never cleared.
//
// Use on the user-interface thread only.

#include <QDialog>

#include "check/program_state.h"

class QFileDialog;
class QLineEdit;
class QPushButton;

namespace korvax {

class TForm4 : public QDialog {
    Q_OBJECT

public:
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

private:
    ProgramState& state_;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QFileDialog* O1 = nullptr;
};

}  // namespace korvax
