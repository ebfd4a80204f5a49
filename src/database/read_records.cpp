#include "database/read_records.h"

#include "database/record_cursor.h"
#include "platform/whole_file.h"

namespace korvax {

DatabaseFormatError::DatabaseFormatError(std::int64_t offset)
    : Failure("Negative record length at offset " + std::to_string(offset)), offset_(offset) {}

void ReadRecords(std::span<const std::uint8_t> source, VirusDatabase& target) {
    RecordCursor cursor(source);
    VirusEntry current;
    while (auto record = cursor.next()) {
        // The split comes before the data is read, so a head record with a bad length
        // still completes the entry before it.
        if (!current.records.empty() && record->header.type() == record_type::kHead) {
            target.push_back(std::move(current));
            current = VirusEntry{};
        }
        if (record->negativeLength) throw DatabaseFormatError(record->offset);
        current.records.push_back(Record{record->header, {record->data.begin(), record->data.end()}});
    }
    target.push_back(std::move(current));
}

void LoadDatabase(const std::string& path, VirusDatabase& target) {
    const std::vector<std::uint8_t> file = ReadWholeFile(path);
    ReadRecords(file, target);
}

}  // namespace korvax
