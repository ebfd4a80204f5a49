#pragma once
// Walks a database file record by record, as the reader splits it, keeping each record's
// byte offset (for the linter and the disassembler) and noting where the file ends inside
// a record. Never allocates more data than the bytes actually left in the file.

#include <cstdint>
#include <optional>
#include <span>

#include "database/record_header.h"

namespace korvax {

struct RecordAt {
    std::int64_t offset = 0;       // where the header begins in the file
    RecordHeader header;           // missing header bytes read as 0
    std::span<const std::uint8_t> data;  // the data bytes present (fewer than length at a cut tail)
    bool headerCut = false;        // the file ended inside the header
    bool dataCut = false;          // the file ended inside the data
    bool negativeLength = false;   // the length field is below 0: reading stops here
};

class RecordCursor {
public:
    explicit RecordCursor(std::span<const std::uint8_t> file) : file_(file) {}

    // The next record, or nothing at the end of the file. After a record with a negative
    // length there is nothing more: its data cannot be delimited.
    std::optional<RecordAt> next();

private:
    std::span<const std::uint8_t> file_;
    std::int64_t position_ = 0;
    bool stopped_ = false;
};

}  // namespace korvax
