#pragma once
// The check's display and message step for a terminal: rows go to stdout as they are
// reported; a one-line progress, refreshed every 500 ms, goes to stderr when stderr is a
// terminal; the first SIGINT or SIGTERM acts as the stop button.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "check/check_display.h"
#include "check/program_state.h"
#include "monitor/cpu_load.h"
#include "platform/message_pump.h"

namespace korvax::cli {

class TerminalCheck : public CheckDisplay, public MessagePump {
public:
    TerminalCheck(ProgramState& state, CpuUsageFunction usage, std::vector<std::string> folders, std::ostream& out,
                  std::ostream& err, bool showProgress);

    // CheckDisplay
    int FolderCount() override { return static_cast<int>(folders_.size()); }
    std::string FolderAt(int index) override { return folders_[static_cast<std::size_t>(index)]; }
    void ShowPreparing(bool shown) override { preparing_ = shown; }
    void SetButtonEnabled(MainButton button, bool enabled) override;
    void ShowTotal(std::int32_t total) override { total_ = total; }
    void AddRow(const ResultRow& row) override;
    void PathTooLong(const std::string& path) override;

    // MessagePump: the workers' calls, the stop request, the 500 ms refresh.
    void ProcessPendingMessages() override;

    bool sawReadError() const { return sawReadError_; }
    // Clears the progress line before the summary.
    void finishProgress();
    // The summary after the rows, on stdout: "Всего: N", "Проверено: N", "Вылечено: N",
    // "Тел вирусов: N", one per line.
    void printSummary();

    // Installs the handlers for SIGINT and SIGTERM: the first one requests a stop (the
    // second ends the program the usual way; a cure is never half-written either way,
    // since write-back replaces files atomically).
    static void InstallStopSignals();
    static bool StopSignalled();

private:
    void refresh();

    ProgramState& state_;
    CpuUsageFunction usage_;
    std::vector<std::string> folders_;
    std::ostream& out_;
    std::ostream& err_;
    bool showProgress_;
    bool preparing_ = false;
    bool stopEnabled_ = false;
    bool sawReadError_ = false;
    bool progressShown_ = false;
    std::int32_t total_ = 0;
    std::chrono::steady_clock::time_point lastRefresh_;
};

}  // namespace korvax::cli
