#include "backup/restore.h"

#include <map>
#include <set>

#include "backup/sha256.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/private_folder.h"

namespace korvax {
namespace {

void RestoreOne(PrivateFolder& folder, const BackupRecord& record, bool force, RestoreListener& listener,
                FileWriteCalls& calls, RestoreCounts& counts) {
    const std::string shown = EscapeText(record.path);
    const auto refuse = [&](const std::string& why) {
        listener.Refused(record.path, shown + ": " + why);
        ++counts.refused;
    };
    std::vector<std::uint8_t> original;
    try {
        original = folder.Read(record.backup);
    } catch (const Failure&) {
        return refuse("its backup " + record.backup + " cannot be read");
    }
    if (Sha256Hex(original) != record.originalSha256) return refuse("its backup " + record.backup + " is damaged");
    try {
        // The path is the one the check used, which held no link: one now was swapped in.
        FileInFolder file(record.path, LinkPolicy::RefuseLinks);
        const std::string now = Sha256Hex(file.ReadAll());
        if (now == record.originalSha256) {
            listener.AlreadyOriginal(record);
            ++counts.alreadyOriginal;
            return;
        }
        if (!force && (!record.curedSha256 || now != *record.curedSha256)) {
            return refuse("changed since its cure (restore it with --force to lose that change)");
        }
        file.Replace(original, calls);
    } catch (const Failure& failure) {
        return refuse(EscapeText(failure.what()));
    }
    try {
        folder.AppendLine(kBackupIndexName, RestoredLine(IndexTime(), record.backup), calls);
    } catch (const Failure&) {
        // The file is back; the index only misses a note, and a second restore finds the
        // file as it was before the cure.
    }
    listener.Restored(record);
    ++counts.restored;
}

}  // namespace

RestoreCounts RestoreBackups(const std::string& folder, const std::vector<std::string>& paths, bool force,
                             RestoreListener& listener, FileWriteCalls& calls) {
    PrivateFolder backups(folder);
    const std::vector<std::uint8_t> text = backups.Read(kBackupIndexName, true);
    const BackupIndex index = ReadBackupIndex(std::string(text.begin(), text.end()));

    // The latest backup of each path: the original before the last cure of it.
    std::map<std::string, const BackupRecord*> latest;
    for (const BackupRecord& record : index.records) latest[record.path] = &record;

    RestoreCounts counts;
    const std::set<std::string> wanted(paths.begin(), paths.end());
    for (const std::string& path : wanted) {
        if (latest.count(path) == 0) {
            listener.Refused(path, EscapeText(path) + ": no backup of it in " + folder);
            ++counts.refused;
        }
    }
    for (const auto& [path, record] : latest) {
        if (!wanted.empty() && wanted.count(path) == 0) continue;
        if (record->restored) {
            listener.AlreadyOriginal(*record);
            ++counts.alreadyOriginal;
            continue;
        }
        RestoreOne(backups, *record, force, listener, calls, counts);
    }
    return counts;
}

}  // namespace korvax
