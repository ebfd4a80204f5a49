#pragma once
// korvax-scan's output for scripts (`--json`, `--report FILE`): JSON Lines, one object a
// line, so that nobody has to parse Russian text or guess where a file name ends.
//
//   {"type":"row","path":"/srv/a.exe","status":"Demo.Append.A","action":"Вылечен","result":"cured"}
//   {"type":"summary","total":120,"checked":120,"cured":1,"viruses":2,"read_errors":0,
//    "wall_seconds":0.42,"files_per_second":285.7,"database_entries":4}
//
// "result" is a stable English word: cured, detected, curable (a report-only check's
// detection whose cure was not applied), read-error, restored. "path" is the path's bytes
// as a JSON string where they are UTF-8; otherwise it holds the rows' escaped form (see
// engine/escaped_text.h: \\, \t, \n, \r, \xHH), and "path_escaped": true says so.
// A read error of a file swapped during the check has "changed_during_check": true.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan_result.h"

namespace korvax::cli {

const char* ResultWord(const ResultRow& row);

std::string JsonRow(const ResultRow& row);

// A file a restore put back: `entry` is the entry whose cure was undone.
std::string JsonRestored(const std::string& path, const std::string& entry);

// What a check passed over without looking inside, and why (see PassedOver).
struct PassedOverCounts {
    std::int64_t tooLarge = 0;
    std::int64_t unreadable = 0;
    std::int64_t pathTooLong = 0;
    std::int64_t excluded = 0;
    std::int64_t refused = 0;
    std::int64_t total() const { return tooLarge + unreadable + pathTooLong + excluded + refused; }
};

struct RunSummary {
    std::int64_t total = 0;
    std::int64_t checked = 0;
    std::int64_t cured = 0;
    std::int64_t viruses = 0;
    std::int64_t readErrors = 0;
    double wallSeconds = 0;
    std::int64_t databaseEntries = 0;
    PassedOverCounts passedOver;
    // Trusted files the check met unchanged (found clean without a pass), by path.
    std::vector<std::string> trusted;
    // The store the originals of cured files went to; empty when none was kept (--no-backup,
    // or a check that writes nothing).
    std::string backupStore;
    bool noBackup = false;
};

std::string JsonSummary(const RunSummary& summary);

}  // namespace korvax::cli
