#include "backup/backup_index.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <sstream>

#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "engine/json_path.h"
#include "platform/system_info.h"

namespace korvax {
using nlohmann::json;

std::string BackupLine(const BackupRecord& record) {
    json line;
    line["kind"] = "backup";
    line["time"] = record.time;
    PutJsonPath(line, record.path);
    line["size"] = record.size;
    line["mode"] = record.mode;
    line["owner"] = record.owner;
    line["group"] = record.group;
    line["entry"] = DisplayText(record.entry);
    line["backup"] = record.backup;
    line["sha256"] = record.originalSha256;
    return JsonLineText(line);
}

std::string CuredLine(const std::string& time, const std::string& backup, const std::string& curedSha256,
                      const std::optional<FileIdentity>& cured) {
    json line{{"kind", "cured"}, {"time", time}, {"backup", backup}, {"sha256", curedSha256}};
    if (cured) {
        line["device"] = cured->device;
        line["inode"] = cured->inode;
    }
    return JsonLineText(line);
}

std::string WithdrawnLine(const std::string& time, const std::string& backup) {
    return JsonLineText(json{{"kind", "withdrawn"}, {"time", time}, {"backup", backup}});
}

std::string RestoredLine(const std::string& time, const std::string& backup) {
    return JsonLineText(json{{"kind", "restored"}, {"time", time}, {"backup", backup}});
}

std::string PrunedLine(const std::string& time, const std::string& backup) {
    return JsonLineText(json{{"kind", "pruned"}, {"time", time}, {"backup", backup}});
}

BackupIndex ReadBackupIndex(const std::string& text) {
    BackupIndex index;
    std::map<std::string, std::size_t> byBackup;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        try {
            const json object = json::parse(line);
            const std::string kind = object.at("kind").get<std::string>();
            const std::string backup = object.at("backup").get<std::string>();
            if (kind == "backup") {
                const std::optional<std::string> path = JsonPathOf(object);
                if (!path) throw std::runtime_error("path");
                BackupRecord record;
                record.time = object.at("time").get<std::string>();
                record.path = *path;
                record.size = object.at("size").get<std::int64_t>();
                record.mode = object.at("mode").get<std::uint32_t>();
                record.owner = object.at("owner").get<std::uint32_t>();
                record.group = object.at("group").get<std::uint32_t>();
                record.entry = object.at("entry").get<std::string>();
                record.backup = backup;
                record.originalSha256 = object.at("sha256").get<std::string>();
                byBackup[backup] = index.records.size();
                index.records.push_back(std::move(record));
            } else if (kind == "cured" || kind == "restored" || kind == "withdrawn" || kind == "pruned") {
                const auto found = byBackup.find(backup);
                if (found == byBackup.end()) throw std::runtime_error("unknown backup");
                BackupRecord& record = index.records[found->second];
                if (kind == "cured") {
                    // Read whole before the record changes: a line cut short changes nothing.
                    std::string sha256 = object.at("sha256").get<std::string>();
                    std::optional<FileIdentity> cured;
                    // Both or neither: an index of an earlier version has neither.
                    if (object.contains("device") || object.contains("inode")) {
                        cured = FileIdentity{object.at("device").get<std::uint64_t>(),
                                             object.at("inode").get<std::uint64_t>()};
                    }
                    record.curedSha256 = std::move(sha256);
                    record.cured = cured;
                    record.restored = false;
                } else if (kind == "withdrawn") {
                    record.withdrawn = true;
                } else if (kind == "pruned") {
                    record.pruned = true;
                } else {
                    record.restored = true;
                }
            } else {
                throw std::runtime_error("kind");
            }
        } catch (const std::exception&) {
            ++index.unreadable;
        }
    }
    return index;
}

std::optional<std::int64_t> IndexTimeSeconds(const std::string& time) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char zone = 0;
    if (std::sscanf(time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &zone) != 7 ||
        zone != 'Z' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    // Days since 1970-01-01 of a date of the proleptic Gregorian calendar (March-based
    // years, so that the leap day comes last).
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string IndexTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm parts = UtcCalendarTime(now);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace korvax
