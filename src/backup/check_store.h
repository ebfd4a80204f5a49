#pragma once
// The backup store a check uses, as every program opens it: where the originals of the
// files it cures are kept (the user's own store unless another is named; none when the
// check keeps no originals), pruned to its limits before the check, and the list of
// trusted files kept in it.

#include <iosfwd>
#include <memory>
#include <string>

#include "backup/backup_store.h"
#include "backup/store_pruning.h"
#include "backup/trust_list.h"
#include "platform/file_write_calls.h"
#include "platform/private_folder.h"

namespace korvax {

struct StoreChoice {
    std::string folder;           // empty: the user's own (DefaultBackupFolder)
    bool keepsOriginals = true;   // the check may cure and must keep what it cures
    StoreLimits limits;
};

struct CheckStore {
    std::string folder;                    // where originals go; empty when none are kept
    std::unique_ptr<PrivateFolder> listFolder;
    std::unique_ptr<BackupStore> backups;  // the check's guard, when originals are kept
    std::unique_ptr<TrustList> trusted;    // when the store exists
};

// The store as `choice` says. When originals are kept, the store is made if missing (the
// folders above the user's own too) and pruned (what was pruned is told on `warnings`,
// each message prefixed with `program` and ": "); otherwise only an existing store is
// opened, for its trusted list. Failure (FolderRefused among them) with the message to
// show: a store that fails the trust rule, or none at all for a check that must keep
// originals. The store writes its files with `calls`.
CheckStore OpenCheckStore(const StoreChoice& choice, std::ostream& warnings, const std::string& program,
                          FileWriteCalls& calls = SystemFileWriteCalls());

// The store at `folder` (the user's own when empty), made if missing: for a change of its
// trusted list. Failure as above.
std::unique_ptr<PrivateFolder> MakeStore(const std::string& folder);

}  // namespace korvax
