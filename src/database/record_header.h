#pragma once
// One database record: a 12-byte header (type byte, seven bytes nobody reads, a signed
// little-endian length) followed by `length` bytes of data.

#include <array>
#include <cstdint>
#include <vector>

namespace korvax {

inline constexpr int kRecordHeaderSize = 12;

// The record types the interpreter knows. Any other type byte is kept and passed over.
namespace record_type {
inline constexpr std::uint8_t kMatch = 0x00;
inline constexpr std::uint8_t kGroup = 0x01;
inline constexpr std::uint8_t kCopy = 0x04;
inline constexpr std::uint8_t kSize = 0x05;
inline constexpr std::uint8_t kVariable = 0x80;
inline constexpr std::uint8_t kHead = 0xFF;
}  // namespace record_type

// The header exactly as stored, so that a database can be written out again unchanged.
struct RecordHeader {
    std::array<std::uint8_t, kRecordHeaderSize> bytes{};

    std::uint8_t type() const { return bytes[0]; }
    std::int32_t length() const;

    static RecordHeader Make(std::uint8_t type, std::int32_t length);
    friend bool operator==(const RecordHeader&, const RecordHeader&) = default;
};

// A header and its data as read. The data may be shorter than the header's length when the
// file ended inside the record; every field reader treats missing bytes as 0.
struct Record {
    RecordHeader header;
    std::vector<std::uint8_t> data;

    std::uint8_t type() const { return header.type(); }
    friend bool operator==(const Record&, const Record&) = default;
};

}  // namespace korvax
