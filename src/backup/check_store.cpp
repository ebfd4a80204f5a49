#include "backup/check_store.h"

#include <ostream>

#include "backup/backup_index.h"
#include "engine/escaped_text.h"
#include "platform/directory_walk.h"

namespace korvax {

std::unique_ptr<PrivateFolder> MakeStore(const std::string& folder) {
    const std::string path = folder.empty() ? DefaultBackupFolder() : folder;
    if (path.empty()) {
        throw Failure("there is no folder of your own to keep the originals of cured files in ($HOME is not set): "
                      "name one with --backup DIR, or give --no-backup");
    }
    if (folder.empty()) MakeFoldersAbove(path);
    return std::make_unique<PrivateFolder>(path);
}

CheckStore OpenCheckStore(const StoreChoice& choice, std::ostream& warnings, const std::string& program,
                          FileWriteCalls& calls) {
    CheckStore store;
    const std::string folder = choice.folder.empty() ? DefaultBackupFolder() : choice.folder;
    if (choice.keepsOriginals) {
        store.listFolder = MakeStore(choice.folder);
        // Pruned before the check: what this check keeps is always there after it.
        const PruneOutcome pruned =
            PruneStore(*store.listFolder, choice.limits, *IndexTimeSeconds(IndexTime()), calls);
        const std::string message = PruneMessage(pruned, choice.limits, folder);
        if (!message.empty()) warnings << program << ": " << ShownPath(message) << '\n';
        store.backups = std::make_unique<BackupStore>(folder, warnings, calls, program);
        store.folder = folder;
    } else if (!folder.empty() && EntryExists(folder)) {
        store.listFolder = std::make_unique<PrivateFolder>(folder);
    }
    if (store.listFolder) store.trusted = std::make_unique<TrustList>(*store.listFolder, calls);
    return store;
}

}  // namespace korvax
