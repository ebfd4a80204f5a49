#include "backup/backup_store.h"

#include <ctime>
#include <ostream>

#include "backup/backup_index.h"
#include "backup/sha256.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"
#include "platform/system_info.h"

namespace korvax {
namespace {

// A backup's file name: when it was made, by which process, in which order, and what it
// holds. The store never writes over a name (a taken one gives the next number), so two
// backups can never share one.
std::string BackupName(unsigned sequence, const std::string& sha256) {
    const std::time_t now = std::time(nullptr);
    const std::tm parts = UtcCalendarTime(now);
    char time[32];
    std::strftime(time, sizeof time, "%Y%m%dT%H%M%SZ", &parts);
    return std::string(time) + "-" + std::to_string(ProcessId()) + "-" + std::to_string(sequence) + "-" +
           sha256.substr(0, 16) + ".orig";
}

}  // namespace

BackupStore::BackupStore(const std::string& folder, std::ostream& warnings, FileWriteCalls& calls)
    : folder_(folder), warnings_(warnings), calls_(calls) {}

void BackupStore::BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                       const std::optional<FileFacts>& facts, const std::string& entryName) {
    try {
        BackupRecord record;
        record.time = IndexTime();
        record.path = path;
        record.size = static_cast<std::int64_t>(original.size());
        if (facts) {
            record.mode = facts->mode;
            record.owner = facts->owner;
            record.group = facts->group;
        }
        record.entry = entryName;
        record.originalSha256 = Sha256Hex(original);
        for (;;) {
            record.backup = BackupName(sequence_.fetch_add(1), record.originalSha256);
            if (folder_.CreateFile(record.backup, original, calls_)) break;
        }
        folder_.AppendLine(kBackupIndexName, BackupLine(record), calls_);
        {
            std::lock_guard lock(mutex_);
            backupOf_[path] = record.backup;
        }
        kept_.fetch_add(1);
    } catch (const Failure& failure) {
        throw Failure("Cannot keep the original of " + path + " in " + folder_.path() + " (" + failure.what() +
                      "): not cured");
    }
}

void BackupStore::AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written) noexcept {
    std::string backup;
    {
        std::lock_guard lock(mutex_);
        const auto found = backupOf_.find(path);
        if (found == backupOf_.end()) return;
        backup = found->second;
        backupOf_.erase(found);
    }
    try {
        folder_.AppendLine(kBackupIndexName, CuredLine(IndexTime(), backup, Sha256Hex(written)), calls_);
    } catch (const std::exception& failure) {
        // The original is kept; only the check a restore makes is lost: it then needs --force.
        std::lock_guard lock(mutex_);
        warnings_ << "korvax-scan: the backup index could not record the cure of " << EscapeText(path) << ": "
                  << failure.what() << '\n';
    }
}

}  // namespace korvax
