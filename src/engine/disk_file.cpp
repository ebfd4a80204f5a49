#include "engine/disk_file.h"

#include "engine/file_check.h"
#include "platform/failure.h"

namespace korvax {

std::vector<std::uint8_t> DiskFile::Load(std::int64_t maxSize) {
    for (;;) {
        file_ = std::make_unique<FileInFolder>(path_, policy_, calls_);
        if (inHand_ == nullptr) break;
        hold_ = inHand_->TryHold(file_->place());
        if (hold_) break;
        // Another worker holds it under another spelling: what it writes is what this
        // check must read, so the file is opened afresh once that worker is done.
        const FilePlace place = file_->place();
        file_.reset();
        inHand_->WaitUntilFree(place);
    }
    return file_->ReadAll(maxSize);
}

void DiskFile::Save(std::span<const std::uint8_t> image) {
    if (!file_) throw CannotCreateFile(path_);  // nothing was read, so nothing may be written
    file_->Replace(image);
}

std::optional<FileFacts> DiskFile::Facts() const {
    if (!file_) return std::nullopt;
    const FileOwnership& ownership = file_->ownership();
    return FileFacts{file_->openedSize(), ownership.mode, ownership.owner, ownership.group};
}

// The check of a file on disk lives here rather than with the check itself, so that a
// program checking images in memory (the engine's tests, the fuzzers, a benchmark) links
// nothing of how files are opened and replaced.
FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const VirusDatabase& base,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    DiskFile file(path, policy, SystemFileWriteCalls(), options.inHand);
    return CheckFile(path, file, base, counters, report, options);
}

FileCheckOutcome CheckFile(const std::string& path, LinkPolicy policy, const ScanPlan& plan,
                           DetectionCounters& counters, const ReportRow& report, const FileCheckOptions& options) {
    DiskFile file(path, policy, SystemFileWriteCalls(), options.inHand);
    return CheckFile(path, file, plan, counters, report, options);
}

namespace {

template <class Base>
void CheckCollected(const std::string& path, const Base& base, DetectionCounters& counters, const ReportRow& report,
                    const FileCheckOptions& options) noexcept {
    try {
        CheckFile(path, LinkPolicy::RefuseLinks, base, counters, report, options);
    } catch (const std::exception&) {
        try {
            report(ReadErrorRow(path));
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

void CheckCollectedFile(const std::string& path, const ScanPlan& plan, DetectionCounters& counters,
                        const ReportRow& report, const FileCheckOptions& options) noexcept {
    CheckCollected(path, plan, counters, report, options);
}

void CheckCollectedFile(const std::string& path, const VirusDatabase& base, DetectionCounters& counters,
                        const ReportRow& report, const FileCheckOptions& options) noexcept {
    CheckCollected(path, base, counters, report, options);
}

std::optional<FileIdentity> DiskFile::Identity() const {
    if (!file_) return std::nullopt;
    return FileIdentity{file_->device(), file_->inode()};
}

}  // namespace korvax
