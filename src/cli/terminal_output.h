#pragma once
// What korvax-scan prints, whichever scheduler runs the check (and what a restore prints):
// one line per result row on stdout as it is reported, or one JSON object per row
// (--json), or none (--quiet); all of them sorted by path at the end instead (--sort); the
// same rows as JSON Lines to a report file (--report); a one-line progress on stderr when
// stderr is a terminal; warnings, and with --verbose every folder entered, on stderr; the
// summary at the end.
//
// Thread safety: none of its own. The paced check calls it on its user-interface thread
// only; the pooled check serialises its calls.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "check/pooled_check.h"
#include "cli/json_lines.h"
#include "engine/scan_result.h"
#include "monitor/cpu_load.h"
#include "monitor/status_refresh.h"

namespace korvax::cli {

struct OutputOptions {
    bool showProgress = false;
    // Rows are kept and printed at the end by path (a file's own rows in the order they
    // came), so that the output does not depend on the order the workers finished in.
    bool sorted = false;
    bool json = false;     // JSON Lines on stdout instead of the rows and counters
    bool quiet = false;    // the summary only
    bool verbose = false;  // every folder entered and everything passed over, on stderr
    std::ostream* report = nullptr;  // JSON Lines of every row and the summary
};

class TerminalOutput : public PooledCheckDisplay {
public:
    TerminalOutput(CpuUsageFunction usage, std::ostream& out, std::ostream& err, const OutputOptions& options);

    void AddRow(const ResultRow& row) override;
    // Warns of an unreadable folder or a path too long, which make the exit status 2.
    void NotCollected(const std::string& path, PassedOver why, const std::string& detail) override;
    void FolderEntered(const std::string& folder) override;
    // Reads the load and redraws the progress line (when shown).
    void Refresh(const CheckCounts& counts, bool walking) override;
    // The paced check's collection phase: "Подготовка..." and the files found so far.
    void RefreshPreparing(const CheckCounts& counts);

    // A file a restore put back.
    void AddRestored(const std::string& path, const std::string& entry);
    // A line on stderr, never mixed into the progress line.
    void Warn(const std::string& message);

    // Clears the progress line and prints the rows kept for sorting.
    void finish();
    // The counters (text, or one JSON object), on stdout and in the report.
    void printSummary(const RunSummary& summary);
    // The lines after the counters: what was passed over, the trusted files met, and that
    // no backup was kept.
    void printSummaryNotes(const RunSummary& summary);
    // A restore's counts.
    void printRestoreSummary(int restored, int refused);

    bool sawReadError() const { return readErrors_ > 0; }
    // Something that may hold programs could not be looked at: a folder that cannot be read,
    // a path too long for the scanner.
    bool missedSomething() const { return missed_ > 0; }
    const PassedOverCounts& passedOver() const { return passedOver_; }
    std::int64_t readErrors() const { return readErrors_; }
    std::int32_t& CpuLoad() { return CpuLoad_; }

private:
    struct Kept {
        std::string path;
        std::string text;  // the stdout line
        std::string json;  // the report line
    };
    void emit(const std::string& path, const std::string& text, const std::string& json);
    void write(const Kept& line);
    void clearProgress();
    void drawProgress(const std::string& line);

    CpuUsageFunction usage_;
    std::ostream& out_;
    std::ostream& err_;
    OutputOptions options_;
    bool progressShown_ = false;
    std::int64_t readErrors_ = 0;
    std::int64_t missed_ = 0;
    PassedOverCounts passedOver_;
    std::int32_t CpuLoad_ = 0;
    std::vector<Kept> kept_;
};

}  // namespace korvax::cli
