#pragma once
// What korvax-scan prints, whichever scheduler runs the check: one line per result row on
// stdout as it is reported (or all of them sorted by path at the end), a one-line progress
// on stderr when stderr is a terminal, and warnings on stderr.
//
// Thread safety: none of its own. The paced check calls it on its user-interface thread
// only; the pooled check serialises its calls.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "check/pooled_check.h"
#include "engine/scan_result.h"
#include "monitor/cpu_load.h"
#include "monitor/status_refresh.h"

namespace korvax::cli {

class TerminalOutput : public PooledCheckDisplay {
public:
    // `sorted`: rows are kept and printed at the end by path (a file's own rows in the
    // order they came), so that the output does not depend on the order the workers
    // finished in.
    TerminalOutput(CpuUsageFunction usage, std::ostream& out, std::ostream& err, bool showProgress, bool sorted);

    void AddRow(const ResultRow& row) override;
    void PathTooLong(const std::string& path) override;
    // Reads the load and redraws the progress line (when shown).
    void Refresh(const CheckCounts& counts, bool walking) override;

    // The paced check's collection phase: "Подготовка..." and the files found so far.
    void RefreshPreparing(const CheckCounts& counts);

    // Clears the progress line and prints the rows kept for sorting.
    void finish();
    bool sawReadError() const { return sawReadError_; }
    std::int32_t& CpuLoad() { return CpuLoad_; }

private:
    void print(const ResultRow& row);
    void clearProgress();
    void drawProgress(const std::string& line);

    CpuUsageFunction usage_;
    std::ostream& out_;
    std::ostream& err_;
    bool showProgress_;
    bool sorted_;
    bool progressShown_ = false;
    bool sawReadError_ = false;
    std::int32_t CpuLoad_ = 0;
    std::vector<ResultRow> kept_;
};

}  // namespace korvax::cli
