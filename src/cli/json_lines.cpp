#include "cli/json_lines.h"

#include <nlohmann/json.hpp>

#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "engine/json_path.h"

namespace korvax::cli {
using nlohmann::json;

const char* ResultWord(const ResultRow& row) {
    switch (row.code) {
        case ResultCode::Cured: return "cured";
        case ResultCode::ReadError: return "read-error";
        case ResultCode::Detected: return row.curable ? "curable" : "detected";
        case ResultCode::Clean: break;
    }
    return "clean";
}

std::string JsonRow(const ResultRow& row) {
    json line;
    line["type"] = "row";
    PutJsonPath(line, row.path);
    line["status"] = DisplayText(row.status);
    line["action"] = DisplayText(row.action);
    line["result"] = ResultWord(row);
    if (row.changedDuringCheck) line["changed_during_check"] = true;
    return JsonLineText(line);
}

std::string JsonRestored(const std::string& path, const std::string& entry) {
    json line;
    line["type"] = "row";
    PutJsonPath(line, path);
    line["status"] = DisplayText(entry);
    line["action"] = "Восстановлен";
    line["result"] = "restored";
    return JsonLineText(line);
}

std::string JsonSummary(const RunSummary& summary) {
    json line;
    line["type"] = "summary";
    line["total"] = summary.total;
    line["checked"] = summary.checked;
    line["cured"] = summary.cured;
    line["viruses"] = summary.viruses;
    line["read_errors"] = summary.readErrors;
    line["wall_seconds"] = summary.wallSeconds;
    line["files_per_second"] = summary.wallSeconds > 0 ? static_cast<double>(summary.checked) / summary.wallSeconds : 0.0;
    line["database_entries"] = summary.databaseEntries;
    const PassedOverCounts& passed = summary.passedOver;
    line["passed_over"] = {{"too_large", passed.tooLarge},       {"unreadable", passed.unreadable},
                           {"path_too_long", passed.pathTooLong}, {"excluded", passed.excluded},
                           {"refused", passed.refused}};
    json trusted = json::array();
    for (const std::string& path : summary.trusted) {
        json entry;
        PutJsonPath(entry, path);
        trusted.push_back(entry);
    }
    line["trusted"] = trusted;
    if (summary.backupStore.empty()) {
        line["backup_store"] = nullptr;
    } else {
        PutJsonPath(line, summary.backupStore, "backup_store");
    }
    return JsonLineText(line);
}

}  // namespace korvax::cli
