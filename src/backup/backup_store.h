#pragma once
// Keeping the original of every file a check cures, so that a wrong cure (an entry that
// matched a good program) can be undone: before the first write-back of a file its bytes
// go to a file of their own in the backup folder and a line to its index, under the
// file's absolute path with its owner and mode; after the last write-back, a line with
// what the cures left and which file holds it. A backup that cannot be kept stops the cure
// of that file: there is never a cure without its backup. A first write-back that fails
// after all withdraws the backup (a line saying so, and its file removed): nothing was
// cured, and a restore must not take it for a cure.
//
// Thread safety: one store serves every worker of a check at once.

#include <atomic>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>

#include "engine/write_back_guard.h"
#include "platform/file_write_calls.h"
#include "platform/private_folder.h"

namespace korvax {

// The user's own store, where every Korvax program keeps originals unless told otherwise:
// "backups" in the user's data folder (platform/user_data_folder.h). Empty when the user
// has no data folder.
std::string DefaultBackupFolder();

// Makes the folders above `store` that are missing (the user's data folder, the first time;
// as the user's own, the umask applying), so that the store itself can be made. The store's
// trust rule is applied when it is opened; nothing here is trusted.
void MakeFoldersAbove(const std::string& store);

class BackupStore : public WriteBackGuard {
public:
    // Opens (or makes, with mode 0700) the backup folder at `folder`: FolderRefused when
    // other users could write to it. Failures after the cures are told on `warnings`, each
    // line beginning with `program` and ": ".
    BackupStore(const std::string& folder, std::ostream& warnings, FileWriteCalls& calls = SystemFileWriteCalls(),
                std::string program = "korvax-scan");

    void BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                              const std::optional<FileFacts>& facts, const std::string& entryName) override;
    void AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                            const std::optional<FileIdentity>& left) noexcept override;
    void FirstWriteBackFailed(const std::string& path) noexcept override;

    int kept() const { return kept_.load(); }
    PrivateFolder& folder() { return folder_; }

private:
    // The backup this check made of `path`, taken out of the map; empty when none was made.
    std::string takeBackupOf(const std::string& path);

    PrivateFolder folder_;
    std::ostream& warnings_;
    FileWriteCalls& calls_;
    std::string program_;
    std::atomic<unsigned> sequence_{0};
    std::atomic<int> kept_{0};
    std::mutex mutex_;
    std::map<std::string, std::string> backupOf_;  // path as checked -> its backup in this check
};

}  // namespace korvax
