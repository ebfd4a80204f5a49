#include "engine/file_check.h"

#include <exception>

#include "engine/disk_file.h"
#include "engine/file_image.h"
#include "engine/signature_interpreter.h"
#include "platform/failure.h"

namespace korvax {

FileCheckOutcome CheckFile(const std::string& path, FileAccess& file, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    FileCheckOutcome outcome;
    std::string status;
    std::string action;
    try {
        FileImage image(file.Load(options.maxImageSize), options.maxImageSize);
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
            file.Save(image.bytes());
            ++outcome.cures;
            counters.CuredCount.fetch_add(1);
            report(ResultRow{path, status, action, ResultCode::Cured});
        }
    } catch (const FileChangedDuringCheck& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
        outcome.changedDuringCheck = true;
    } catch (const std::exception& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
    }
    if (outcome.resultCode == ResultCode::ReadError) {
        ResultRow row = ReadErrorRow(path);
        row.changedDuringCheck = outcome.changedDuringCheck;
        report(row);
    } else if (outcome.resultCode == ResultCode::Detected) {
        report(ResultRow{path, status, action, ResultCode::Detected});
    }
    return outcome;
}

FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    DiskFile file(path, policy);
    return CheckFile(path, file, base, counters, report, options);
}

}  // namespace korvax
