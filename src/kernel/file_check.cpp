#include "kernel/file_check.h"

#include <exception>

#include "kernel/file_image.h"
#include "kernel/signature_interpreter.h"
#include "platform/failure.h"

namespace korvax {

FileCheckOutcome CheckFile(const std::string& path, const VirusBase& base, DetectionCounters& counters,
                           const ReportRow& report, const FileCheckOptions& options) {
    FileCheckOutcome outcome;
    std::string status;
    std::string action;
    try {
        FileImage image(ReadWholeFile(path, options.maxImageSize), options.maxImageSize);
        SignatureInterpreter interpreter(image);
        for (;;) {
            interpreter.ScanFile(base);
            const ResultCode code = interpreter.resultCode();
            status = interpreter.statusText();
            action = interpreter.actionText();
            outcome.resultCode = code;
            if (code == ResultCode::Cured || code == ResultCode::Detected) counters.VirusCount.fetch_add(1);
            if (code != ResultCode::Cured) break;
            if (outcome.cures == kMaxCuresPerFile) {
                // Applied in memory only; the file keeps its last written state.
                outcome.resultCode = ResultCode::Detected;
                action = kSkippedText;
                break;
            }
            ReplaceFileContents(path, image.bytes());
            ++outcome.cures;
            counters.CuredCount.fetch_add(1);
            report(ResultRow{path, status, action});
        }
    } catch (const std::exception& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
        status = kReadErrorText;
        action = kSkippedText;
    }
    if (outcome.resultCode == ResultCode::ReadError || outcome.resultCode == ResultCode::Detected) {
        report(ResultRow{path, status, action});
    }
    return outcome;
}

}  // namespace korvax
