#pragma once
// The database update: a second database file is appended to the database file on disk
// and its entries to the database in memory.
//
// Nothing changes unless everything can: the update file is checked first (it must be a
// whole database beginning with a virus entry), so is the database file (it must end at a
// record's end) and the two joined (they must read back as all entries of both), the
// joined file replaces the database file atomically, and the entries are added in memory
// only after the file was written.
//
// Runs on the user-interface thread, and never while a check runs: workers read the
// database without a lock.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "database/virus_database.h"
#include "platform/failure.h"
#include "platform/file_write_calls.h"

namespace korvax {

// An update file that is refused for its contents, or an update while a check runs. The
// message says why.
class UpdateRefused : public Failure {
public:
    using Failure::Failure;
};

// Checks that `bytes` (named `path` in messages) can be added: not empty, whole records
// with lengths of 0 or more, the first a head record. Throws UpdateRefused otherwise.
void CheckUpdateFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Checks that `joined`, the database file at `path` with an update appended, reads back
// as the next start will read it: `baseEntries` entries from the database file followed
// by `added`, the update's entries, all of them whole. Throws UpdateRefused otherwise.
void CheckJoinedDatabase(const std::string& path, std::span<const std::uint8_t> joined, std::size_t baseEntries,
                         const VirusDatabase& added);

// Appends the database file at `updatePath` to the one at `basePath` and its entries to
// `base`. The database file must pass the trust rule (platform/trusted_path.h): NotTrusted
// when another user could have planted or could change it, or a link on the way is theirs. "Cannot open file %s" when either file cannot be read, "Cannot create file %s"
// or "Stream write error" when the database file cannot be replaced, UpdateRefused for
// the rest; on any failure the database file and `base` are as they were.
// A database file that ends inside a record, or holds a negative length, is refused as
// damaged: whatever is appended to it would be read as part of that record, or not at
// all, at the next start. The joined file passes CheckJoinedDatabase before it is written.
// Every step of the database file's replacement goes through `calls`.
void UpdateDatabase(const std::string& updatePath, const std::string& basePath, VirusDatabase& base,
                    bool checkRunning, FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
