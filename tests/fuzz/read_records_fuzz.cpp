// libFuzzer target: the database reader must survive any bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "database/read_records.h"
#include "database/record_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvax::VirusDatabase base;
    try {
        korvax::ReadRecords(std::span<const std::uint8_t>(data, size), base);
    } catch (const korvax::DatabaseFormatError&) {
        // A negative length ends the load; what was read stays usable.
    }
    // Decode every record as every type: short data must read as zeros, never past the end.
    std::uint64_t sink = 0;
    for (const korvax::VirusEntry& entry : base) {
        for (const korvax::Record& record : entry.records) {
            sink += korvax::DecodeHead(record.data).name.size();
            sink += static_cast<std::uint32_t>(korvax::DecodeMatch(record.data).offset);
            sink += static_cast<std::uint32_t>(korvax::DecodeGroup(record.data).count);
            sink += static_cast<std::uint32_t>(korvax::DecodeVariable(record.data).offset);
            sink += static_cast<std::uint32_t>(korvax::DecodeCopy(record.data).destination.value);
            sink += korvax::DecodeSize(record.data).newSize.mode;
        }
    }
    volatile std::uint64_t keep = sink;
    (void)keep;
    return 0;
}
