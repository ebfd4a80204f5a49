#include "backup/store_pruning.h"

#include <map>
#include <vector>

#include "backup/backup_index.h"

namespace korvax {

PruneOutcome PruneStore(PrivateFolder& folder, const StoreLimits& limits, std::int64_t now, FileWriteCalls& calls) {
    const std::vector<std::uint8_t> text = folder.Read(kBackupIndexName, true);
    const BackupIndex index = ReadBackupIndex(std::string(text.begin(), text.end()));

    // The originals still kept; the newest of each file is the one never pruned.
    std::vector<const BackupRecord*> kept;
    std::map<std::string, const BackupRecord*> newest;
    PruneOutcome outcome;
    for (const BackupRecord& record : index.records) {
        if (record.withdrawn || record.pruned) continue;
        kept.push_back(&record);
        newest[record.path] = &record;
        outcome.keptBytes += record.size;
    }
    const std::int64_t oldest = now - static_cast<std::int64_t>(limits.maxDays) * 86400;
    // In the index's order: oldest first.
    for (const BackupRecord* record : kept) {
        if (newest[record->path] == record) continue;
        const std::optional<std::int64_t> made = IndexTimeSeconds(record->time);
        const bool tooOld = made && *made < oldest;
        if (!tooOld && outcome.keptBytes <= limits.maxBytes) continue;
        folder.AppendLine(kBackupIndexName, PrunedLine(IndexTime(), record->backup), calls);
        folder.Remove(record->backup);
        ++outcome.pruned;
        outcome.prunedBytes += record->size;
        outcome.keptBytes -= record->size;
    }
    outcome.newestOverLimit = outcome.keptBytes > limits.maxBytes;
    return outcome;
}

std::string PruneMessage(const PruneOutcome& outcome, const StoreLimits& limits, const std::string& folder) {
    std::string message;
    if (outcome.pruned > 0) {
        message = "the backup store " + folder + " pruned " + std::to_string(outcome.pruned) +
                  " older backup(s) (" + std::to_string(outcome.prunedBytes) + " bytes) past its limits of " +
                  std::to_string(limits.maxBytes) + " bytes and " + std::to_string(limits.maxDays) + " days";
    }
    if (outcome.newestOverLimit) {
        if (!message.empty()) message += "; ";
        message += "the newest backup of each file, never pruned, alone takes " + std::to_string(outcome.keptBytes) +
                   " bytes in " + folder + ", more than its limit of " + std::to_string(limits.maxBytes) +
                   " bytes: restore or remove what you no longer need";
    }
    return message;
}

}  // namespace korvax
