#include "backup/backup_index.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <sstream>

#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "platform/system_info.h"

namespace korvax {
namespace {

using nlohmann::json;

void PutPath(json& line, const std::string& path) {
    if (IsValidUtf8(path)) {
        line["path"] = path;
    } else {
        line["path"] = EscapeText(path);
        line["path_escaped"] = true;
    }
}

std::optional<std::string> PathOf(const json& line) {
    const std::string text = line.at("path").get<std::string>();
    if (!line.value("path_escaped", false)) return text;
    return UnescapeText(text);
}

std::string Text(const json& line) {
    // The index is ours, but a name may hold any byte: never let the library refuse it.
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string BackupLine(const BackupRecord& record) {
    json line;
    line["kind"] = "backup";
    line["time"] = record.time;
    PutPath(line, record.path);
    line["size"] = record.size;
    line["mode"] = record.mode;
    line["owner"] = record.owner;
    line["group"] = record.group;
    line["entry"] = DisplayText(record.entry);
    line["backup"] = record.backup;
    line["sha256"] = record.originalSha256;
    return Text(line);
}

std::string CuredLine(const std::string& time, const std::string& backup, const std::string& curedSha256) {
    return Text(json{{"kind", "cured"}, {"time", time}, {"backup", backup}, {"sha256", curedSha256}});
}

std::string RestoredLine(const std::string& time, const std::string& backup) {
    return Text(json{{"kind", "restored"}, {"time", time}, {"backup", backup}});
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
                const std::optional<std::string> path = PathOf(object);
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
            } else if (kind == "cured" || kind == "restored") {
                const auto found = byBackup.find(backup);
                if (found == byBackup.end()) throw std::runtime_error("unknown backup");
                BackupRecord& record = index.records[found->second];
                if (kind == "cured") {
                    record.curedSha256 = object.at("sha256").get<std::string>();
                    record.restored = false;
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

std::string IndexTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm parts = UtcCalendarTime(now);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace korvax
