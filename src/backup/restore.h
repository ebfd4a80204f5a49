#pragma once
// Putting back the originals a check kept (see BackupStore): each file as it was before
// its cures, through the same safe write-back as a cure (the very file, no link followed,
// its attributes kept), with the owner and mode the index recorded.
//
// A restore writes only the file its cure left: the path the index names must hold the
// very file the last write-back left there (the same inode; where a remount renumbered
// the device, the same inode holding the bytes the cure left). Anything else standing
// there (a file put in its place since, a hard link to another file) is refused, whatever
// it holds. A file that changed since its cure is refused unless the restore is forced:
// putting the original back would lose that change. A file is said to be as it was only
// once it was read and holds the original.
//
// Indexes of earlier versions lack what a restore checks the file against (which file the
// cure left; a relative path names no file for sure): such a file is refused with a
// message unless forced, and a relative path always.

#include <string>
#include <vector>

#include "backup/backup_index.h"
#include "platform/file_write_calls.h"

namespace korvax {

class RestoreListener {
public:
    virtual ~RestoreListener() = default;
    virtual void Restored(const BackupRecord& record) = 0;
    // Nothing to do: the file was read, and holds its original.
    virtual void AlreadyOriginal(const BackupRecord& record) = 0;
    // Not restored; `reason` says why (with the path, escaped).
    virtual void Refused(const std::string& path, const std::string& reason) = 0;
    // Something the user should know that is not a refusal (a file restored that could not
    // be marked as trusted, say).
    virtual void Note(const std::string& /*message*/) {}
};

struct RestoreCounts {
    int restored = 0;
    int alreadyOriginal = 0;
    int refused = 0;
};

// Every file put back is marked as trusted (trust_list.h), so that the entry that cured it
// does not cure it again.
//
// Restores, from the backup folder `folder`, the latest backup of every file (or of the
// files `paths` names, made absolute as the index's paths are, then matched by their
// exact bytes); a backup withdrawn stands for no cure and is passed over. A file put back
// before is only read: as it was, or refused when it holds anything else now. `force`:
// also put back files changed since their cure, and those whose index line cannot say
// which file the cure left. Throws FolderRefused or Failure when the folder or its index
// cannot be read.
// What the store at `folder` can still put back: the latest backup of every file that was
// neither withdrawn nor pruned, in order of their paths (`restored` says which were put
// back already). Throws FolderRefused or Failure when the store or its index cannot be read.
std::vector<BackupRecord> RestorableBackups(const std::string& folder);

RestoreCounts RestoreBackups(const std::string& folder, const std::vector<std::string>& paths, bool force,
                             RestoreListener& listener, FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
