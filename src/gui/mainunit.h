#pragma once
// The main window: the five command buttons, the processor and check figures, and the
// start-up that binds the load library and loads the database. It is the check's display
// and message step: the start button runs the whole check inside its handler, and the
// window's own event processing keeps everything else alive meanwhile.
//
// Use on the user-interface thread only.

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "check/check_display.h"
#include "check/program_state.h"
#include "desktop/desktop_check.h"
#include "desktop/desktop_pump.h"
#include "desktop/desktop_startup.h"
#include "monitor/cpu_load.h"
#include "platform/file_write_calls.h"

class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;

namespace korvax {

class RestoreWindow;
class TForm2;
class TForm3;
class TForm4;

class TForm1 : public QWidget, public CheckDisplay, public DesktopPump {
    Q_OBJECT

public:
    struct Startup {
        std::string loadLibrary = CpuLoadLibraryName();
        // Measures the processor clock in MHz (about half a second).
        std::function<long double()> measureMhz;
        // The calls the user's backup store writes its files with (tests make them fail as
        // a full disk does).
        FileWriteCalls* backupCalls = &SystemFileWriteCalls();
    };

    // Builds the window and runs its start-up (FormCreate). A start-up failure other than
    // the load library's is shown and the window runs all the same; without the load
    // library the program cannot run (see LibraryBound).
    TForm1(ProgramState& state, const Startup& startup);
    ~TForm1() override;

    bool LibraryBound() const { return startup_ && startup_->LibraryBound(); }
    // Why the load library could not be bound (the loader's reason).
    const std::string& LibraryFailure() const { return startup_->LibraryFailure(); }
    const QPixmap& Background() const { return background_; }

    // The secondary windows exist only after this one (they are created in that order).
    void AttachWindows(TForm2& settings, TForm3& statistics, TForm4& update, RestoreWindow& restore);

    // Settings: toggles the settings window; start and update are off while it is open.
    void SpeedButton1Click();
    // Statistics: closes the settings window if it is open, toggles the statistics window.
    void SpeedButton2Click();
    // Start: runs one whole check and returns when it has ended. Every cure keeps the
    // file's original in the user's backup store first; a file whose original cannot be
    // kept is not cured, and the user is told once, when the check has ended.
    void SpeedButton3Click();
    // Stop: the check ends when its pass in progress ends.
    void SpeedButton4Click();
    // Update: shows the update window (not modal).
    void SpeedButton5Click();
    // Every 500 ms: load, pool, progress and counters.
    void Timer1Timer();

    // CheckDisplay
    int FolderCount() override;
    std::string FolderAt(int index) override;
    void ShowPreparing(bool shown) override;
    void SetButtonEnabled(MainButton button, bool enabled) override;
    void ShowTotal(std::int32_t total) override;
    void AddRow(const ResultRow& row) override;

protected:
    // DesktopPump: the window system's events (timer, buttons, other windows); the
    // workers' synchronised calls run after them.
    void ProcessWindowMessages() override;

    // Closing during a check stops it; the window closes once the check has ended.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const Startup& startup);
    void SettingsClosed();
    void CloseIfAsked();
    // Updates and restores wait while a check runs.
    void SetCheckRunning(bool running);
    QToolButton* button(MainButton which) const;

    ProgramState& state_;
    std::unique_ptr<DesktopStartup> startup_;
    QPixmap background_;
    DesktopCheck check_;

    TForm2* settings_ = nullptr;
    TForm3* statistics_ = nullptr;
    TForm4* update_ = nullptr;
    RestoreWindow* restore_ = nullptr;

    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
    QProgressBar* CGauge1 = nullptr;
    QWidget* Panel1 = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace korvax
