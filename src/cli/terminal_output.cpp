#include "cli/terminal_output.h"

#include <algorithm>
#include <ostream>

#include "engine/escaped_text.h"
#include "engine/row_format.h"
#include "platform/program_language.h"

namespace korvax::cli {
namespace {

constexpr int kBarWidth = 20;

}  // namespace

TerminalOutput::TerminalOutput(CpuUsageFunction usage, std::ostream& out, std::ostream& err,
                               const OutputOptions& options)
    : usage_(usage), out_(out), err_(err), options_(options) {}

void TerminalOutput::AddRow(const ResultRow& row) {
    if (row.code == ResultCode::ReadError) ++readErrors_;
    if (row.changedDuringCheck) Warn("korvax-scan: " + ChangedDuringCheckText(row.path));
    if (!row.reason.empty()) Warn("korvax-scan: " + ShownPath(row.path) + ": " + row.reason);
    emit(row.path, FormatRow(row), JsonRow(row));
}

void TerminalOutput::AddRestored(const std::string& path, const std::string& entry) {
    ResultRow row{path, entry, kRestoredText, ResultCode::Clean};
    emit(path, FormatRow(row), JsonRestored(path, entry));
}

void TerminalOutput::emit(const std::string& path, const std::string& text, const std::string& json) {
    Kept line{path, text, json};
    if (options_.sorted) {
        kept_.push_back(std::move(line));
        return;
    }
    write(line);
}

void TerminalOutput::write(const Kept& line) {
    if (!options_.quiet) {
        clearProgress();
        out_ << (options_.json ? line.json : line.text) << '\n';
        out_.flush();
    }
    if (options_.report != nullptr) {
        *options_.report << line.json << '\n';
        options_.report->flush();
    }
}

void TerminalOutput::NotCollected(const std::string& path, PassedOver why, const std::string& detail) {
    switch (why) {
        case PassedOver::PathTooLong:
            ++missed_;
            ++passedOver_.pathTooLong;
            Warn("korvax-scan: path longer than 1024 " + std::string(kPathLengthUnit) +
                 ", not scanned: " + ShownPath(path));
            break;
        case PassedOver::Unreadable:
            ++missed_;
            ++passedOver_.unreadable;
            Warn("korvax-scan: cannot read " + ShownPath(path) + " (" + detail + "), not scanned");
            break;
        case PassedOver::Refused:
            ++missed_;
            ++passedOver_.refused;
            Warn("korvax-scan: " + ShownPath(path) + ": not checked (" + detail + ")");
            break;
        // What the scanner's limit or the user chose not to check: counted, and named with
        // --verbose.
        case PassedOver::TooLarge:
            ++passedOver_.tooLarge;
            if (options_.verbose) Warn("korvax-scan: at or over the size limit, not scanned: " + ShownPath(path));
            break;
        case PassedOver::Excluded:
            ++passedOver_.excluded;
            if (options_.verbose) Warn("korvax-scan: excluded, not scanned: " + ShownPath(path));
            break;
    }
}

void TerminalOutput::FolderEntered(const std::string& folder) {
    if (options_.verbose) Warn("korvax-scan: entering " + ShownPath(folder));
}

void TerminalOutput::Warn(const std::string& message) {
    clearProgress();
    err_ << message << '\n';
    err_.flush();
}

void TerminalOutput::Refresh(const CheckCounts& counts, bool /*walking*/) {
    const StatusFigures figures = RefreshStatus(usage_, CpuLoad_, counts);
    const int percent = figures.gauge.value_or(0);
    const int filled = percent * kBarWidth / 100;
    drawProgress(std::string(Translated("Загрузка: ")) + figures.load + Translated("  Потоки: ") + figures.pool +
                 "  " + Translated("Проверено: ") + figures.checked + "/" + std::to_string(counts.total) + " [" +
                 std::string(static_cast<std::size_t>(filled), '#') +
                 std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + std::to_string(percent) +
                 "%");
}

void TerminalOutput::RefreshPreparing(const CheckCounts& counts) {
    const StatusFigures figures = RefreshStatus(usage_, CpuLoad_, counts);
    drawProgress(std::string(Translated("Загрузка: ")) + figures.load + Translated("  Потоки: ") + figures.pool +
                 "  " + Translated("Подготовка... ") + std::to_string(counts.total));
}

void TerminalOutput::drawProgress(const std::string& line) {
    if (!options_.showProgress) return;
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
    std::stable_sort(kept_.begin(), kept_.end(), [](const Kept& a, const Kept& b) { return a.path < b.path; });
    for (const Kept& line : kept_) write(line);
    kept_.clear();
}

void TerminalOutput::printSummary(const RunSummary& summary) {
    if (options_.json) {
        out_ << JsonSummary(summary) << '\n';
    } else {
        out_ << FormatCounter(Translated("Всего"), summary.total) << '\n'
             << FormatCounter(Translated("Проверено"), summary.checked) << '\n'
             << FormatCounter(Translated("Вылечено"), summary.cured) << '\n'
             << FormatCounter(Translated("Тел вирусов"), summary.viruses) << '\n';
        printSummaryNotes(summary);
    }
    out_.flush();
    if (options_.report != nullptr) {
        *options_.report << JsonSummary(summary) << '\n';
        options_.report->flush();
    }
}

void TerminalOutput::printSummaryNotes(const RunSummary& summary) {
    // After the four counters, which stay as they are: what the counters do not show.
    const PassedOverCounts& passed = summary.passedOver;
    if (passed.total() > 0) {
        std::string why;
        const auto add = [&](const char* label, std::int64_t count) {
            if (count == 0) return;
            why += (why.empty() ? "" : ", ") + FormatCounter(label, count);
        };
        add(Translated("слишком большие"), passed.tooLarge);
        add(Translated("нечитаемые"), passed.unreadable);
        add(Translated("длинный путь"), passed.pathTooLong);
        add(Translated("исключено"), passed.excluded);
        add(Translated("отклонено"), passed.refused);
        out_ << FormatCounter(Translated("Пропущено"), passed.total()) << " (" << why << ")\n";
    }
    for (const std::string& path : summary.trusted) {
        out_ << Translated("Доверенный файл, не изменился: ") << ShownPath(path) << '\n';
    }
    if (summary.noBackup) out_ << Translated("Резервные копии не сохранялись (--no-backup)") << '\n';
}

void TerminalOutput::printRestoreSummary(int restored, int refused) {
    if (options_.json) {
        out_ << R"({"type":"summary","restored":)" << restored << R"(,"refused":)" << refused << "}\n";
    } else {
        out_ << FormatCounter(Translated("Восстановлено"), restored) << '\n'
             << FormatCounter(Translated("Отказано"), refused) << '\n';
    }
    out_.flush();
    if (options_.report != nullptr) {
        *options_.report << R"({"type":"summary","restored":)" << restored << R"(,"refused":)" << refused << "}\n";
        options_.report->flush();
    }
}

}  // namespace korvax::cli
