#include "cli/terminal_output.h"

#include <algorithm>
#include <ostream>

#include "engine/escaped_text.h"
#include "engine/row_format.h"

namespace korvax::cli {
namespace {

constexpr int kBarWidth = 20;

}  // namespace

TerminalOutput::TerminalOutput(CpuUsageFunction usage, std::ostream& out, std::ostream& err, bool showProgress,
                               bool sorted)
    : usage_(usage), out_(out), err_(err), showProgress_(showProgress), sorted_(sorted) {}

void TerminalOutput::AddRow(const ResultRow& row) {
    if (row.code == ResultCode::ReadError) sawReadError_ = true;
    if (row.changedDuringCheck) {
        clearProgress();
        err_ << "korvax-scan: " << ChangedDuringCheckText(row.path) << '\n';
        err_.flush();
    }
    if (sorted_) {
        kept_.push_back(row);
        return;
    }
    print(row);
}

void TerminalOutput::print(const ResultRow& row) {
    clearProgress();
    out_ << FormatRow(row) << '\n';
    out_.flush();
}

void TerminalOutput::PathTooLong(const std::string& path) {
    clearProgress();
    err_ << "korvax-scan: path longer than 1024 bytes, not scanned: " << EscapeText(path) << '\n';
}

void TerminalOutput::Refresh(const CheckCounts& counts, bool /*walking*/) {
    const StatusFigures figures = RefreshStatus(usage_, CpuLoad_, counts);
    const int percent = figures.gauge.value_or(0);
    const int filled = percent * kBarWidth / 100;
    drawProgress("Загрузка: " + figures.load + "  Потоки: " + figures.pool + "  Проверено: " + figures.checked +
                 "/" + std::to_string(counts.total) + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                 std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + std::to_string(percent) +
                 "%");
}

void TerminalOutput::RefreshPreparing(const CheckCounts& counts) {
    const StatusFigures figures = RefreshStatus(usage_, CpuLoad_, counts);
    drawProgress("Загрузка: " + figures.load + "  Потоки: " + figures.pool + "  Подготовка... " +
                 std::to_string(counts.total));
}

void TerminalOutput::drawProgress(const std::string& line) {
    if (!showProgress_) return;
    err_ << "\r\033[K" << line;
    err_.flush();
    progressShown_ = true;
}

void TerminalOutput::clearProgress() {
    if (!progressShown_) return;
    err_ << "\r\033[K";
    err_.flush();
    progressShown_ = false;
}

void TerminalOutput::finish() {
    clearProgress();
    if (kept_.empty()) return;
    std::stable_sort(kept_.begin(), kept_.end(),
                     [](const ResultRow& a, const ResultRow& b) { return a.path < b.path; });
    for (const ResultRow& row : kept_) print(row);
    kept_.clear();
}

}  // namespace korvax::cli
