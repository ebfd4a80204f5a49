#include "engine/file_check.h"

#include <algorithm>
#include <exception>

#include "engine/file_image.h"
#include "engine/plan_pass.h"
#include "engine/signature_interpreter.h"
#include "platform/failure.h"

namespace korvax {
namespace {

// The treatment is the same whichever pass runs it: the literal interpreter over the
// database, or the fast pass over its compiled plan; both give the same outcome.
template <class Pass, class Base>
FileCheckOutcome CheckWith(const std::string& path, FileAccess& file, const Base& base, DetectionCounters& counters,
                           const ReportRow& report, const FileCheckOptions& options) {
    FileCheckOutcome outcome;
    std::string status;
    std::string action;
    bool curable = false;
    // With a guard, what the file held when read and after each write-back: what it must
    // be told.
    std::vector<std::uint8_t> original;
    std::vector<std::uint8_t> lastWritten;
    bool guarded = false;  // the guard agreed to the first write-back
    try {
        FileImage image(file.Load(std::min(options.maxFileSize, options.maxImageSize)), options.maxImageSize);
        if (options.trusted != nullptr && options.trusted->Trusts(path, image.bytes())) return outcome;
        if (options.guard != nullptr) original.assign(image.bytes().begin(), image.bytes().end());
        Pass interpreter(image);
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
                guarded = true;
            }
            file.Save(image.bytes());
            ++outcome.cures;
            if (options.guard != nullptr) lastWritten.assign(image.bytes().begin(), image.bytes().end());
            counters.CuredCount.fetch_add(1);
            report(ResultRow{path, status, action, ResultCode::Cured});
        }
    } catch (const WriteRefused& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
        outcome.reason = failure.reason();
    } catch (const FileChangedDuringCheck& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
        outcome.changedDuringCheck = true;
    } catch (const std::exception& failure) {
        outcome.resultCode = ResultCode::ReadError;
        outcome.failure = failure.what();
    }
    if (options.guard != nullptr && outcome.cures > 0) {
        options.guard->AfterLastWriteBack(path, lastWritten, file.Identity());
    } else if (guarded) {
        options.guard->FirstWriteBackFailed(path);
    }
    if (outcome.resultCode == ResultCode::ReadError) {
        ResultRow row = ReadErrorRow(path);
        row.changedDuringCheck = outcome.changedDuringCheck;
        row.reason = outcome.reason;
        report(row);
    } else if (outcome.resultCode == ResultCode::Detected) {
        ResultRow row{path, status, action, ResultCode::Detected};
        row.curable = curable;
        report(row);
    }
    return outcome;
}

}  // namespace

FileCheckOutcome CheckFile(const std::string& path, FileAccess& file, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    return CheckWith<SignatureInterpreter>(path, file, base, counters, report, options);
}

FileCheckOutcome CheckFile(const std::string& path, FileAccess& file, const ScanPlan& plan,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    return CheckWith<PlanPass>(path, file, plan, counters, report, options);
}

}  // namespace korvax
