#include "cli/terminal_check.h"

#include <csignal>
#include <ostream>

#include "engine/row_format.h"
#include "monitor/status_refresh.h"
#include "platform/program_language.h"

namespace korvax::cli {
namespace {

volatile std::sig_atomic_t gStopSignalled = 0;

extern "C" void OnStopSignal(int) { gStopSignalled = 1; }

constexpr auto kRefreshInterval = std::chrono::milliseconds(500);
constexpr int kBarWidth = 20;

}  // namespace

TerminalCheck::TerminalCheck(ProgramState& state, CpuUsageFunction usage, std::vector<std::string> folders,
                             std::ostream& out, std::ostream& err, bool showProgress)
    : state_(state),
      usage_(usage),
      folders_(std::move(folders)),
      out_(out),
      err_(err),
      showProgress_(showProgress),
      lastRefresh_(std::chrono::steady_clock::now() - kRefreshInterval) {}

void TerminalCheck::InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second signal ends the program
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool TerminalCheck::StopSignalled() { return gStopSignalled != 0; }

void TerminalCheck::SetButtonEnabled(MainButton button, bool enabled) {
    if (button == MainButton::Stop) stopEnabled_ = enabled;
}

void TerminalCheck::AddRow(const ResultRow& row) {
    if (row.code == ResultCode::ReadError) sawReadError_ = true;
    if (progressShown_) {
        err_ << "\r\033[K";
        progressShown_ = false;
    }
    out_ << FormatRow(row) << '\n';
    out_.flush();
}

void TerminalCheck::PathTooLong(const std::string& path) {
    finishProgress();
    err_ << "korvax-scan: path longer than 1024 bytes, not scanned: " << path << '\n';
}

void TerminalCheck::ProcessPendingMessages() {
    state_.sync.RunPending();
    // A stop during the collection waits for the stop "button" to be enabled: it is, as
    // soon as the files are collected, and the first pass then ends the check.
    if (stopEnabled_ && StopSignalled()) state_.StopRequested = true;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefresh_ >= kRefreshInterval) {
        lastRefresh_ = now;
        refresh();
    }
}

void TerminalCheck::refresh() {
    const StatusFigures figures = RefreshStatus(usage_, state_.CpuLoad, CountsOf(state_));
    if (!showProgress_) return;
    std::string line = Translated("Загрузка: ") + figures.load + Translated("  Потоки: ") + figures.pool + "  ";
    if (preparing_) {
        line += Translated("Подготовка... ") + std::to_string(state_.files.TotalFiles);
    } else {
        const int percent = figures.gauge.value_or(0);
        const int filled = percent * kBarWidth / 100;
        line += Translated("Проверено: ") + figures.checked + "/" + std::to_string(state_.files.TotalFiles) + " [" +
                std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + std::to_string(percent) + "%";
    }
    err_ << "\r\033[K" << line;
    err_.flush();
    progressShown_ = true;
}

void TerminalCheck::printSummary() {
    out_ << FormatCounter(Translated("Всего"), state_.files.TotalFiles) << '\n'
         << FormatCounter(Translated("Проверено"), state_.pool.CheckedCount) << '\n'
         << FormatCounter(Translated("Вылечено"), state_.pool.counters.CuredCount.load()) << '\n'
         << FormatCounter(Translated("Тел вирусов"), state_.pool.counters.VirusCount.load()) << '\n';
    out_.flush();
}

void TerminalCheck::finishProgress() {
    if (progressShown_) {
        err_ << "\r\033[K";
        err_.flush();
        progressShown_ = false;
    }
}

}  // namespace korvax::cli
