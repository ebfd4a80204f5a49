#include "engine/file_check.h"

#include <algorithm>
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
    bool curable = false;
    // With a guard, what the file held when read and after each write-back: what it must
    // be told.
    std::vector<std::uint8_t> original;
    std::vector<std::uint8_t> lastWritten;
    try {
        FileImage image(file.Load(std::min(options.maxFileSize, options.maxImageSize)), options.maxImageSize);
        if (options.guard != nullptr) original.assign(image.bytes().begin(), image.bytes().end());
        SignatureInterpreter interpreter(image);
        for (;;) {
            interpreter.ScanFile(base);
            const ResultCode code = interpreter.resultCode();
            status = interpreter.statusText();
            action = interpreter.actionText();
            outcome.resultCode = code;
            if (code == ResultCode::Cured || code == ResultCode::Detected) counters.VirusCount.fetch_add(1);
            if (code != ResultCode::Cured) break;
            if (options.noCure || outcome.cures == kMaxCuresPerFile) {
                // Applied in memory only; the file keeps its last written state.
                outcome.resultCode = ResultCode::Detected;
                action = kSkippedText;
                curable = options.noCure;
                break;
            }
            if (options.guard != nullptr && outcome.cures == 0) {
                options.guard->BeforeFirstWriteBack(path, original, file.Facts(), status);
            }
            file.Save(image.bytes());
            ++outcome.cures;
            if (options.guard != nullptr) lastWritten.assign(image.bytes().begin(), image.bytes().end());
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
    if (options.guard != nullptr && outcome.cures > 0) options.guard->AfterLastWriteBack(path, lastWritten);
    if (outcome.resultCode == ResultCode::ReadError) {
        ResultRow row = ReadErrorRow(path);
        row.changedDuringCheck = outcome.changedDuringCheck;
        report(row);
    } else if (outcome.resultCode == ResultCode::Detected) {
        ResultRow row{path, status, action, ResultCode::Detected};
        row.curable = curable;
        report(row);
    }
    return outcome;
}

FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    DiskFile file(path, policy);
    return CheckFile(path, file, base, counters, report, options);
}

}  // namespace korvax
