#include "backup/restore.h"

#include <map>
#include <set>

#include "backup/quarantined_bytes.h"
#include "backup/sha256.h"
#include "backup/trust_list.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/file_name.h"
#include "platform/private_folder.h"

namespace korvax {
namespace {

// A file back as it was before its cure still matches the entry that cured it: without
// this the next check would cure it again.
void TrustRestored(TrustList& trust, const BackupRecord& record, RestoreListener& listener) {
    try {
        trust.Trust(record.path, record.originalSha256);
    } catch (const Failure& failure) {
        listener.Note(ShownPath(record.path) + " is back, but could not be marked as trusted (" +
                      ShownPath(failure.what()) + "): the next check will cure it again");
    }
}

void RestoreOne(PrivateFolder& folder, TrustList& trust, const BackupRecord& record, bool force,
                RestoreListener& listener, FileWriteCalls& calls, RestoreCounts& counts) {
    const std::string shown = ShownPath(record.path);
    const std::string kept =
        ShownPath(JoinPath(folder.path(), record.backup));
    const auto refuse = [&](const std::string& why) {
        listener.Refused(record.path, shown + ": " + why);
        ++counts.refused;
    };
    if (!IsAbsolutePath(record.path)) {
        // An earlier version kept the path as the check was given it: relative to a
        // folder the index does not name, so no file can be said to be the one cured.
        return refuse("the index holds it as a relative path, relative to a folder it does not name: not touched (its "
                      "original is kept in " + kept + ")");
    }
    std::vector<std::uint8_t> original;
    try {
        original = Released(folder.Read(record.backup));
    } catch (const Failure&) {
        return refuse("its backup " + record.backup + " cannot be read");
    }
    if (Sha256Hex(original) != record.originalSha256) return refuse("its backup " + record.backup + " is damaged");
    try {
        // The path is the one the check used, which held no link: one now was swapped in.
        FileInFolder file(record.path, LinkPolicy::RefuseLinks, calls);
        const std::string now = Sha256Hex(file.ReadAll());
        if (now == record.originalSha256) {
            listener.AlreadyOriginal(record);
            ++counts.alreadyOriginal;
            // Asked to be put back, it is wanted as it is: trusted as a restored file is.
            TrustRestored(trust, record, listener);
            return;
        }
        if (record.restored) {
            // Put back once; what stands there now was written since (cured again without
            // this backup, or changed), and is nothing this backup can vouch for.
            return refuse("no longer holds the original it was given back (cured or changed again since): not touched "
                          "(its original is kept in " + kept + ")");
        }
        const bool asCured = record.curedSha256 && now == *record.curedSha256;
        if (record.cured) {
            // The very file the cure left, or nothing: a file put in its place since (a
            // hard link to another user's program, say) would take the original's bytes
            // and keep its own owner. A remount may renumber the device, never the inode;
            // then the bytes the cure left must be there too.
            const bool sameInode = file.inode() == record.cured->inode;
            const bool sameDevice = file.device() == record.cured->device;
            if (!sameInode || (!sameDevice && !asCured)) {
                return refuse("is not the file its cure left (another one was put in its place since): not touched (its "
                              "original is kept in " + kept + ")");
            }
        } else if (!force) {
            return refuse("the index does not say which file its cure left (an index of an earlier version, or a check "
                          "stopped before the cure was recorded): restore it with --force if it is that file");
        }
        if (!force && !asCured) return refuse("changed since its cure (restore it with --force to lose that change)");
        file.Replace(original, FileOwnership{record.owner, record.group, record.mode});
    } catch (const WriteRefused& failure) {
        return refuse(ShownPath(failure.what()) + ": " + failure.reason());
    } catch (const Failure& failure) {
        return refuse(ShownPath(failure.what()));
    }
    try {
        folder.AppendLine(kBackupIndexName, RestoredLine(IndexTime(), record.backup), calls);
    } catch (const Failure&) {
        // The file is back; the index only misses a note, and a second restore finds the
        // file as it was before the cure.
    }
    listener.Restored(record);
    ++counts.restored;
    TrustRestored(trust, record, listener);
}

// The latest backup of each path: the original before the last cure of it. A withdrawn
// one stands for no cure at all; a pruned one keeps nothing.
std::map<std::string, const BackupRecord*> LatestBackups(const BackupIndex& index) {
    std::map<std::string, const BackupRecord*> latest;
    for (const BackupRecord& record : index.records) {
        if (!record.withdrawn && !record.pruned) latest[record.path] = &record;
    }
    return latest;
}

BackupIndex ReadIndex(const PrivateFolder& backups) {
    const std::vector<std::uint8_t> text = backups.Read(kBackupIndexName, true);
    return ReadBackupIndex(std::string(text.begin(), text.end()));
}

}  // namespace

std::vector<BackupRecord> RestorableBackups(const std::string& folder) {
    const PrivateFolder backups(folder);
    const BackupIndex index = ReadIndex(backups);
    std::vector<BackupRecord> records;
    for (const auto& [path, record] : LatestBackups(index)) records.push_back(*record);
    return records;
}

RestoreCounts RestoreBackups(const std::string& folder, const std::vector<std::string>& paths, bool force,
                             RestoreListener& listener, FileWriteCalls& calls) {
    PrivateFolder backups(folder);
    TrustList trust(backups, calls);
    const BackupIndex index = ReadIndex(backups);
    const std::map<std::string, const BackupRecord*> latest = LatestBackups(index);

    RestoreCounts counts;
    // Named the way the index names them: absolute, against the folder the restore runs in.
    std::set<std::string> wanted;
    for (const std::string& path : paths) wanted.insert(AbsolutePath(path));
    for (const std::string& path : wanted) {
        if (latest.count(path) == 0) {
            listener.Refused(path, ShownPath(path) + ": no backup of it in " + ShownPath(folder));
            ++counts.refused;
        }
    }
    for (const auto& [path, record] : latest) {
        if (!wanted.empty() && wanted.count(path) == 0) continue;
        RestoreOne(backups, trust, *record, force, listener, calls, counts);
    }
    return counts;
}

}  // namespace korvax
