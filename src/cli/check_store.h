#pragma once
// The backup store of a korvax-scan run: where the originals of the files it cures are kept
// (the user's own store unless --backup names another; none with --no-backup), pruned to
// its limits before the check, and the list of trusted files kept in it.

#include <iosfwd>
#include <memory>
#include <string>

#include "backup/backup_store.h"
#include "backup/trust_list.h"
#include "cli/arguments.h"
#include "platform/private_folder.h"

namespace korvax::cli {

struct CheckStore {
    std::string folder;                    // empty: none
    std::unique_ptr<BackupStore> backups;  // when cures keep their originals
    std::unique_ptr<PrivateFolder> listFolder;
    std::unique_ptr<TrustList> trusted;    // when the store exists
};

// The store a check with `arguments` uses. When the check may cure and keep originals, the
// store is made if missing and pruned (what was pruned is told on `warnings`); otherwise
// only an existing store is opened, for its trusted list. Failure (FolderRefused among
// them) with the message to show: a store that fails the trust rule, or no store at all
// for a check that must keep originals.
CheckStore OpenCheckStore(const Arguments& arguments, std::ostream& warnings);

// --trust FILE or --untrust FILE: changes the store's list and says so on `out`. The exit
// status: 0, or 2 (with the reason on `err`) when the file cannot be read, the store is
// refused, or the file to untrust was not on the list.
int ChangeTrust(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvax::cli
