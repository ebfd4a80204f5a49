#include "cli/report_sink.h"

#include <cstdint>
#include <ostream>
#include <span>

#include "engine/escaped_text.h"

namespace korvax::cli {

ReportSink::ReportSink(const std::string& path) {
    if (!path.empty()) file_ = std::make_unique<OwnedOutputFile>(path);
}

int ReportSink::Finish(int status, std::ostream& err) {
    if (!file_) return status;
    try {
        const std::string text = text_.str();
        file_->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (const Failure& error) {
        err << "korvax-scan: the report was not written: " << ShownPath(error.what()) << '\n';
        return status == 1 ? 1 : 2;
    }
    return status;
}

}  // namespace korvax::cli
