#pragma once
// The whole treatment of one file, as a scan worker runs it: load the file whole, scan it,
// and while a pass cures it, write the cured image back and scan it again; then report.
//
// Rows: one per cure (name, "Вылечен"), then at most one more: the name and "Пропущен" for
// a detection that was not cured, or "Ошибка чтения" and "Пропущен" for a failure (the file
// could not be read, a pass or a cure failed, the write-back was refused or failed, or a
// cure row could not be reported). A clean file gives no row and is never written.
//
// Thread safety: any number of files may be checked at once against one VirusDatabase; the
// counters are atomic, and `report` is called on the checking thread (the worker passes a
// routine that hands the row over to the user-interface thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "database/virus_database.h"
#include "engine/file_access.h"
#include "engine/files_in_hand.h"
#include "engine/scan_plan.h"
#include "engine/scan_result.h"
#include "engine/trusted_files.h"
#include "engine/write_back_guard.h"
#include "platform/file_in_folder.h"
#include "platform/whole_file.h"

namespace korvax {

// Counters that run over the whole life of the program: every detection (cured or not)
// and every cure that was written back. Raised by the workers as atomic increments.
struct DetectionCounters {
    std::atomic<std::int32_t> VirusCount{0};
    std::atomic<std::int32_t> CuredCount{0};
};

// A file cured this many times is not written back again: the next curing pass is applied
// in memory only and reported as a detection that was not cured. It keeps an entry whose
// cure leaves its own signature in place from rewriting a file without end.
inline constexpr int kMaxCuresPerFile = 64;

using ReportRow = std::function<void(const ResultRow&)>;

struct FileCheckOptions {
    // How large an image may grow while it is cured (the fuzzers keep this small).
    std::int64_t maxImageSize = kMaxImageSize;
    // The largest file that is loaded at all; a larger one gives the read-error row. The
    // scanners collect files by their size when the walk meets them and set this to one
    // below their collection limit, so that a file that grew past the limit before its
    // check is refused rather than read whole.
    std::int64_t maxFileSize = kMaxImageSize;
    // Report only: a detection whose entry carries a cure is reported as a detection
    // ("Пропущен", the row marked curable) and nothing is written.
    bool noCure = false;
    // Called around the file's write-backs (not owned; may be null).
    WriteBackGuard* guard = nullptr;
    // The files the other workers of the check hold (not owned; may be null when no other
    // worker can meet the same file): see FilesInHand.
    FilesInHand* inHand = nullptr;
    // Files the user vouched for (not owned; may be null): such a file is found clean, with
    // no pass run over it and no row.
    TrustedFiles* trusted = nullptr;
};

struct FileCheckOutcome {
    ResultCode resultCode = ResultCode::Clean;  // of the last pass, or ReadError
    int cures = 0;                              // images written back
    std::string failure;                        // the failure's message, for ReadError
    bool changedDuringCheck = false;            // ReadError because the file was swapped
    std::string reason;                         // why nothing was written, where the row tells it
};

// Runs the whole treatment of the file `path` reached through `file`: one load, then the
// passes (the literal interpreter over `base`, the reference), cures and saves. A failure of the final row's report is not caught here: it
// reaches the caller, who still owes the file its read-error row.
FileCheckOutcome CheckFile(const std::string& path, FileAccess& file, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options = {});

// The same with the fast pass over `plan`, which must have been built from the database as
// it stands (ScanPlan::BuiltFrom): the same rows, counters, outcome and bytes written.
FileCheckOutcome CheckFile(const std::string& path, FileAccess& file, const ScanPlan& plan,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options = {});

// A file a walk collected, as every worker of either scheduler checks it: opened refusing
// any link (a collected path held none when the walk met it, so one there now was swapped
// in), and given its read-error row even when its final row could not be reported (that
// row is reported once more; when it fails too, the file goes without a row). Never throws.
void CheckCollectedFile(const std::string& path, const ScanPlan& plan, DetectionCounters& counters,
                        const ReportRow& report, const FileCheckOptions& options) noexcept;
void CheckCollectedFile(const std::string& path, const VirusDatabase& base, DetectionCounters& counters,
                        const ReportRow& report, const FileCheckOptions& options) noexcept;

// The same for the file on disk at `path`, opened under `policy` (see DiskFile).
FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options = {});
FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const ScanPlan& plan,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options = {});

}  // namespace korvax
