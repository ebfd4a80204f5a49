#pragma once
// korvax-scan's --report: its place is looked at before anything is done, the rows and the
// summary are kept meanwhile, and the whole report is written at the end (see
// platform/owned_output_file.h: never through a link, never emptied before the check).
//
// Not thread-safe: the terminal output serialises what it writes here.

#include <memory>
#include <sstream>
#include <string>

#include "platform/owned_output_file.h"

namespace korvax::cli {

class ReportSink {
public:
    // No report when `path` is empty. NotTrusted or Failure (with the message to show) when
    // the report's place is refused.
    explicit ReportSink(const std::string& path);

    // Where the report's lines go meanwhile; null without a report.
    std::ostream* stream() { return file_ ? &text_ : nullptr; }

    // Writes the report, and gives the exit status: `status`, or 2 when the report could not
    // be written (after a detection, 1 stays: it says more). The failure is told on `err`.
    int Finish(int status, std::ostream& err);

private:
    std::unique_ptr<OwnedOutputFile> file_;
    std::ostringstream text_;
};

}  // namespace korvax::cli
