#include "cli/check_store.h"

#include <ctime>
#include <ostream>

#include "backup/backup_index.h"
#include "backup/sha256.h"
#include "backup/store_pruning.h"
#include "engine/escaped_text.h"
#include "platform/directory_walk.h"
#include "platform/file_in_folder.h"
#include "platform/program_language.h"
#include "platform/whole_file.h"

namespace korvax::cli {
namespace {

std::string StoreFolder(const Arguments& arguments) {
    return arguments.backup.empty() ? DefaultBackupFolder() : arguments.backup;
}

// The store at `folder`, made when missing (the folders above it too, for the user's own).
std::unique_ptr<PrivateFolder> MakeStore(const std::string& folder, const Arguments& arguments) {
    if (folder.empty()) {
        throw Failure("there is no folder of your own to keep the originals of cured files in ($HOME is not set): "
                      "name one with --backup DIR, or give --no-backup");
    }
    if (arguments.backup.empty()) MakeFoldersAbove(folder);
    return std::make_unique<PrivateFolder>(folder);
}

}  // namespace

CheckStore OpenCheckStore(const Arguments& arguments, std::ostream& warnings) {
    CheckStore store;
    store.folder = StoreFolder(arguments);
    const bool keepsOriginals = !arguments.noCure && !arguments.noBackup;
    if (keepsOriginals) {
        store.listFolder = MakeStore(store.folder, arguments);
        // Pruned before the check: what this check keeps is always there after it.
        const PruneOutcome pruned =
            PruneStore(*store.listFolder, arguments.storeLimits, *IndexTimeSeconds(IndexTime()));
        const std::string message = PruneMessage(pruned, arguments.storeLimits, store.folder);
        if (!message.empty()) warnings << "korvax-scan: " << EscapeText(message) << '\n';
        store.backups = std::make_unique<BackupStore>(store.folder, warnings);
    } else if (!store.folder.empty() && EntryExists(store.folder)) {
        store.listFolder = std::make_unique<PrivateFolder>(store.folder);
    }
    if (store.listFolder) store.trusted = std::make_unique<TrustList>(*store.listFolder);
    if (!keepsOriginals) store.folder.clear();
    return store;
}

int ChangeTrust(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    try {
        const std::unique_ptr<PrivateFolder> folder = MakeStore(StoreFolder(arguments), arguments);
        TrustList list(*folder);
        if (!arguments.trust.empty()) {
            // Listed as a check meets it: under its link-free path.
            const std::string path = AbsolutePath(LinkFreeFilePath(arguments.trust));
            list.Trust(path, Sha256Hex(ReadWholeFile(path)));
            out << Translated("Доверенный файл: ") << EscapeText(path) << '\n';
            return 0;
        }
        const std::string path = AbsolutePath(LinkFreeFilePath(arguments.untrust));
        if (!list.Untrust(path)) {
            err << "korvax-scan: " << EscapeText(path) << " is not on the trusted list of " << EscapeText(folder->path())
                << '\n';
            return 2;
        }
        out << Translated("Больше не доверенный: ") << EscapeText(path) << '\n';
        return 0;
    } catch (const Failure& failure) {
        err << "korvax-scan: " << EscapeText(failure.what()) << '\n';
        return 2;
    }
}

}  // namespace korvax::cli
