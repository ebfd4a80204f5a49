#pragma once
// Splitting a database file into entries: every record of type 0xFF opens a new entry when
// the current one already holds a record, so the first record of a file always opens the
// first entry, whatever its type. Two database files joined end to end read as the entries
// of the first followed by those of the second.

#include <cstdint>
#include <span>
#include <string>

#include "database/virus_database.h"
#include "platform/failure.h"

namespace korvax {

// A record length below 0: the file cannot be split any further.
class DatabaseFormatError : public Failure {
public:
    DatabaseFormatError(std::int64_t offset);
    std::int64_t offset() const { return offset_; }

private:
    std::int64_t offset_;
};

// Appends the entries found in `source` (a whole database file) to `target`. The last
// entry is appended also when it holds no record, so an empty file gives one empty entry.
// A file that ends inside a record keeps that record, with the missing bytes reading as 0.
// A negative length throws DatabaseFormatError after the entries completed before it were
// appended; the entry in progress is dropped.
void ReadRecords(std::span<const std::uint8_t> source, VirusDatabase& target);

// Start-up load: reads the file at `path` whole and appends its entries to `target`.
// "Cannot open file %s" when it cannot be read (then `target` is unchanged).
void LoadDatabase(const std::string& path, VirusDatabase& target);

}  // namespace korvax
