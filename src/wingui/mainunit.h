#pragma once
// The main window of the Win32 front end: the five flat command buttons, the processor
// and check figures, the gauge and the "Подготовка..." panel. It runs the start-up while
// it is made, refreshes the figures every 500 ms, and is the check's display and message
// step: the start button runs the whole check inside its handler, pumping the window
// messages itself meanwhile (the real PeekMessage loop), and the workers' synchronised
// calls run there too.
//
// Use on the user-interface thread only.

#include <functional>
#include <memory>
#include <string>

#include "check/check_display.h"
#include "check/program_state.h"
#include "desktop/desktop_check.h"
#include "desktop/desktop_pump.h"
#include "desktop/desktop_startup.h"
#include "platform/file_write_calls.h"
#include "wingui/window.h"

namespace korvax::wingui {

class TForm2;
class TForm3;
class TForm4;
class RestoreWindow;

// The main window's controls (ids within it).
enum MainControl : int {
    kSpeedButton1 = 101,  // "Настройки"
    kSpeedButton2,        // "Статистика"
    kSpeedButton3,        // "Начать проверку"
    kSpeedButton4,        // "Остановить проверку"
    kSpeedButton5,        // "Обновить"
    kLabel1 = 111,        // the captions Label1, Label3, ... are 111, 113, ...; the values 112, 114, ...
    kLabel11 = 121,       // "Прогресс проверки:"
    kCGauge1 = 131,
    kPanel1 = 132,
    kRule = 133,
};

class TForm1 : public Window, public CheckDisplay, public DesktopPump {
public:
    struct Startup {
        StartupSteps steps;
        // The calls the backup store writes its files with, and the store (empty: the
        // user's own); tests make the calls fail as a full disk does.
        FileWriteCalls* backupCalls = &SystemFileWriteCalls();
        std::string backupFolder;
    };

    // Makes the window (hidden) and runs the start-up; what it has to tell is shown
    // through the standard error display. Without the load library the program cannot
    // run (see LibraryBound).
    TForm1(ProgramState& state, const Startup& startup);
    ~TForm1() override;

    bool LibraryBound() const { return startup_->LibraryBound(); }
    const std::string& LibraryFailure() const { return startup_->LibraryFailure(); }

    // The secondary windows exist only after this one.
    void AttachWindows(TForm2& settings, TForm3& statistics, TForm4& update, RestoreWindow& restore);

    // Settings: toggles the settings window; start and update are off while it is open.
    void SpeedButton1Click();
    // Statistics: closes the settings window if it is open, toggles the statistics window.
    void SpeedButton2Click();
    // Start: runs one whole check and returns when it has ended.
    void SpeedButton3Click();
    // Stop: the check ends when its pass in progress ends.
    void SpeedButton4Click();
    // Update: shows the update window (not modal).
    void SpeedButton5Click();
    // Every 500 ms: load, pool, progress and counters.
    void Timer1Timer();
    // The settings window was closed, whichever way.
    void SettingsClosed();
    // The gauge's percentage as it is drawn.
    int GaugePercent() const { return gauge_; }
    bool CheckRunning() const { return check_.Running(); }

    // CheckDisplay
    int FolderCount() override;
    std::string FolderAt(int index) override;
    void ShowPreparing(bool shown) override;
    void SetButtonEnabled(MainButton button, bool enabled) override;
    void ShowTotal(std::int32_t total) override;
    void AddRow(const ResultRow& row) override;

    // Called when the program's message loop is left: the program ends.
    std::function<void()> onClosed;

protected:
    // DesktopPump: every window message waiting now, dispatched as the program's loop does.
    void ProcessWindowMessages() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetCheckRunning(bool running);
    void Command(int id);
    void TrackHot(HWND button);

    ProgramState& state_;
    std::unique_ptr<DesktopStartup> startup_;
    DesktopCheck check_;
    TForm2* settings_ = nullptr;
    TForm3* statistics_ = nullptr;
    TForm4* update_ = nullptr;
    RestoreWindow* restore_ = nullptr;
    int gauge_ = 0;
    HWND hot_ = nullptr;
    bool quitSeen_ = false;
    WPARAM quitCode_ = 0;
};

}  // namespace korvax::wingui
