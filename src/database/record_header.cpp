#include "database/record_header.h"

#include "database/record_fields.h"

namespace korvax {

std::int32_t RecordHeader::length() const { return ReadI32(bytes, 8); }

RecordHeader RecordHeader::Make(std::uint8_t type, std::int32_t length) {
    RecordHeader header;
    header.bytes[0] = type;
    const auto value = static_cast<std::uint32_t>(length);
    for (int i = 0; i < 4; ++i) header.bytes[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return header;
}

}  // namespace korvax
