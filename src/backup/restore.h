#pragma once
// Putting back the originals a check kept (see BackupStore): each file as it was before
// its cures, through the same safe write-back as a cure (the very file, no link followed,
// its owner, mode and attributes kept). A file that changed since its cure is refused
// unless the restore is forced: putting the original back would lose that change.

#include <string>
#include <vector>

#include "backup/backup_index.h"
#include "platform/file_write_calls.h"

namespace korvax {

class RestoreListener {
public:
    virtual ~RestoreListener() = default;
    virtual void Restored(const BackupRecord& record) = 0;
    // Nothing to do: the file already holds its original.
    virtual void AlreadyOriginal(const BackupRecord& record) = 0;
    // Not restored; `reason` says why (with the path, escaped).
    virtual void Refused(const std::string& path, const std::string& reason) = 0;
};

struct RestoreCounts {
    int restored = 0;
    int alreadyOriginal = 0;
    int refused = 0;
};

// Restores, from the backup folder `folder`, the latest backup of every file (or of the
// files `paths` names, matched by their exact bytes) that was not put back yet. Throws
// FolderRefused or Failure when the folder or its index cannot be read.
RestoreCounts RestoreBackups(const std::string& folder, const std::vector<std::string>& paths, bool force,
                             RestoreListener& listener, FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
