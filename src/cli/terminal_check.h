#pragma once
// The paced check's display and message step for a terminal (the desktop's own scheduler,
// `korvax-scan --paced`): rows and progress through TerminalOutput, the progress redrawn
// every 500 ms, and the first SIGINT or SIGTERM acting as the stop button.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "check/check_display.h"
#include "check/program_state.h"
#include "cli/terminal_output.h"
#include "platform/message_pump.h"

namespace korvax::cli {

class TerminalCheck : public CheckDisplay, public MessagePump {
public:
    TerminalCheck(ProgramState& state, TerminalOutput& output, std::vector<std::string> folders);

    // CheckDisplay
    int FolderCount() override { return static_cast<int>(folders_.size()); }
    std::string FolderAt(int index) override { return folders_[static_cast<std::size_t>(index)]; }
    void ShowPreparing(bool shown) override { preparing_ = shown; }
    void SetButtonEnabled(MainButton button, bool enabled) override;
    void ShowTotal(std::int32_t /*total*/) override {}
    void AddRow(const ResultRow& row) override { output_.AddRow(row); }
    void NotCollected(const std::string& path, PassedOver why, const std::string& detail) override {
        output_.NotCollected(path, why, detail);
    }

    // MessagePump: the workers' calls, the stop request, the 500 ms refresh.
    void ProcessPendingMessages() override;

private:
    void refresh();

    ProgramState& state_;
    TerminalOutput& output_;
    std::vector<std::string> folders_;
    bool preparing_ = false;
    bool stopEnabled_ = false;
    std::chrono::steady_clock::time_point lastRefresh_;
};

}  // namespace korvax::cli
