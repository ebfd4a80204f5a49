#include "cli/terminal_check.h"

#include "platform/terminal_process.h"

namespace korvax::cli {
namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(500);

}  // namespace

TerminalCheck::TerminalCheck(ProgramState& state, TerminalOutput& output, std::vector<std::string> folders)
    : state_(state),
      output_(output),
      folders_(std::move(folders)),
      lastRefresh_(std::chrono::steady_clock::now() - kRefreshInterval) {}

void TerminalCheck::SetButtonEnabled(MainButton button, bool enabled) {
    if (button == MainButton::Stop) stopEnabled_ = enabled;
}

void TerminalCheck::ProcessPendingMessages() {
    state_.sync.RunPending();
    // A stop during the collection waits for the stop "button" to be enabled: it is, as
    // soon as the files are collected, and the first pass then ends the check.
    if (stopEnabled_ && StopRequested()) state_.StopRequested = true;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefresh_ >= kRefreshInterval) {
        lastRefresh_ = now;
        refresh();
    }
}

void TerminalCheck::refresh() {
    // The load read here is the one the scheduler's pool rules go by.
    const CheckCounts counts = CountsOf(state_);
    if (preparing_) {
        output_.RefreshPreparing(counts);
    } else {
        output_.Refresh(counts, false);
    }
    state_.CpuLoad = output_.CpuLoad();
}

}  // namespace korvax::cli
