#include "backup/backup_store.h"

#include <ctime>
#include <ostream>

#include "backup/backup_index.h"
#include "backup/quarantined_bytes.h"
#include "backup/sha256.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/file_name.h"
#include "platform/make_folders.h"
#include "platform/system_info.h"
#include "platform/user_data_folder.h"

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
           sha256.substr(0, 16) + ".kvq";
}

}  // namespace

std::string DefaultBackupFolder() {
    const std::string user = UserDataFolder();
    if (user.empty()) return {};
    return JoinPath(user, "backups");
}

void MakeFoldersAbove(const std::string& store) {
    // What cannot be made shows when the store is opened.
    MakeFolders(ParentFolder(store));
}

BackupStore::BackupStore(const std::string& folder, std::ostream& warnings, FileWriteCalls& calls, std::string program)
    : folder_(folder), warnings_(warnings), calls_(calls), program_(std::move(program)) {}

void BackupStore::BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                       const std::optional<FileFacts>& facts, const std::string& entryName) {
    try {
        // A restore puts the owner and mode back from the index, never from whatever
        // stands at the path then: without them there is nothing safe to put back.
        if (!facts) throw Failure("its owner and mode are not known");
        BackupRecord record;
        record.time = IndexTime();
        record.path = AbsolutePath(path);
        record.size = static_cast<std::int64_t>(original.size());
        record.mode = facts->mode;
        record.owner = facts->owner;
        record.group = facts->group;
        record.entry = entryName;
        record.originalSha256 = Sha256Hex(original);
        const std::vector<std::uint8_t> kept = Quarantined(original);
        for (;;) {
            record.backup = BackupName(sequence_.fetch_add(1), record.originalSha256);
            if (folder_.CreateNewFile(record.backup, kept, calls_)) break;
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

std::string BackupStore::takeBackupOf(const std::string& path) {
    std::lock_guard lock(mutex_);
    const auto found = backupOf_.find(path);
    if (found == backupOf_.end()) return {};
    std::string backup = std::move(found->second);
    backupOf_.erase(found);
    return backup;
}

void BackupStore::AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                                     const std::optional<FileIdentity>& left) noexcept {
    const std::string backup = takeBackupOf(path);
    if (backup.empty()) return;
    try {
        folder_.AppendLine(kBackupIndexName, CuredLine(IndexTime(), backup, Sha256Hex(written), left), calls_);
    } catch (const std::exception& failure) {
        // The original is kept; only the check a restore makes is lost: it then needs --force.
        std::lock_guard lock(mutex_);
        warnings_ << program_ << ": the backup index could not record the cure of " << ShownPath(path) << ": "
                  << failure.what() << '\n';
    }
}

void BackupStore::FirstWriteBackFailed(const std::string& path) noexcept {
    const std::string backup = takeBackupOf(path);
    if (backup.empty()) return;
    kept_.fetch_sub(1);
    try {
        folder_.AppendLine(kBackupIndexName, WithdrawnLine(IndexTime(), backup), calls_);
    } catch (const std::exception& failure) {
        // The index still lists the backup, with no cure after it: a restore refuses it
        // unless forced, and then finds the file as it was. Its original stays to match.
        std::lock_guard lock(mutex_);
        warnings_ << program_ << ": the backup index could not record that " << ShownPath(path)
                  << " was not cured after all: " << failure.what() << '\n';
        return;
    }
    // The folder is ours alone (mode 0700, checked when it was opened) and the name was
    // made by this process, never reused; removing never follows a link at the name.
    try {
        folder_.Remove(backup);
    } catch (const std::exception& failure) {
        std::lock_guard lock(mutex_);
        warnings_ << program_ << ": " << ShownPath(JoinPath(folder_.path(), backup))
                  << " holds the original of a file that was not cured after all, and cannot be removed: "
                  << failure.what() << '\n';
    }
}

}  // namespace korvax
