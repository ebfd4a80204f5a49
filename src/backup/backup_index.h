#pragma once
// The index of a backup folder, `index.jsonl`: one JSON object a line, appended and never
// rewritten, so that a crash can cost at most its last line.
//
//   {"kind":"backup","time":"2026-12-09T04:12:00Z","path":"/srv/a.exe","size":1234,
//    "mode":493,"owner":0,"group":0,"entry":"Demo.Append.A","backup":"20261209T041200Z-...",
//    "sha256":"<of the original>"}
//       written before the first write-back of a file: its original is in "backup"
//   {"kind":"cured","time":...,"backup":"...","sha256":"<of the file the cures left>",
//    "device":2049,"inode":1234567}
//       written after its last write-back: what it left, and which file holds it
//   {"kind":"withdrawn","time":...,"backup":"..."}
//       written when the first write-back failed after all: nothing was cured, and the
//       original kept for it is gone
//   {"kind":"restored","time":...,"backup":"..."}
//       written when the original was put back
//   {"kind":"pruned","time":...,"backup":"..."}
//       written when the store's limits removed the original kept (never the newest
//       backup of a file: see store_pruning.h)
//
// "path" is absolute: the path the check used, made absolute against the folder it ran
// in (AbsolutePath), so that a restore run anywhere names the same file. It holds the
// path's bytes: the UTF-8 text itself where the bytes are UTF-8, else the escaped form of
// the rows (engine/escaped_text.h), with "path_escaped": true. A restore reads it back to
// the exact bytes. Indexes of earlier versions may hold relative paths and cured lines
// without "device" and "inode": they are read all the same.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/write_back_guard.h"

namespace korvax {

inline constexpr char kBackupIndexName[] = "index.jsonl";

struct BackupRecord {
    std::string time;
    std::string path;  // exact bytes
    std::int64_t size = 0;
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::string entry;
    std::string backup;  // file name in the backup folder
    std::string originalSha256;
    std::optional<std::string> curedSha256;  // once the cures were written
    std::optional<FileIdentity> cured;       // the file they were written to, where recorded
    bool withdrawn = false;                  // nothing was cured: no backup at all
    bool restored = false;
    bool pruned = false;                     // its original is no longer kept
};

std::string BackupLine(const BackupRecord& record);
std::string CuredLine(const std::string& time, const std::string& backup, const std::string& curedSha256,
                      const std::optional<FileIdentity>& cured);
std::string WithdrawnLine(const std::string& time, const std::string& backup);
std::string RestoredLine(const std::string& time, const std::string& backup);
std::string PrunedLine(const std::string& time, const std::string& backup);

// The records of an index, in the order of their backups, each with what later lines said
// of it. Lines that cannot be read (a line cut by a crash, say) are passed over and
// counted in `unreadable`.
struct BackupIndex {
    std::vector<BackupRecord> records;
    int unreadable = 0;
};
BackupIndex ReadBackupIndex(const std::string& text);

// The current time as the index writes it (UTC, to the second).
std::string IndexTime();

// A time as the index writes it, in seconds since 1970 (UTC); empty when it is not one.
std::optional<std::int64_t> IndexTimeSeconds(const std::string& time);

}  // namespace korvax
