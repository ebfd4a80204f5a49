#pragma once
// The fields of each record type, decoded from a record's data with explicit little-endian
// reads. A record's data may be shorter than the fields its type uses (the database format
// does not check lengths); every byte past the end of the data reads as 0, so decoding
// never reads outside a buffer.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace korvax {

using ByteSpan = std::span<const std::uint8_t>;

// Little-endian readers over a byte span; bytes past its end read as 0. `offset` may be any
// value; nothing outside `bytes` is touched.
std::uint8_t ReadU8(ByteSpan bytes, std::int64_t offset);
std::uint16_t ReadU16(ByteSpan bytes, std::int64_t offset);
std::int32_t ReadI32(ByteSpan bytes, std::int64_t offset);
std::uint32_t ReadU32(ByteSpan bytes, std::int64_t offset);

// Field layout of each record type: offsets within the record's data, and the least data
// length that holds every field the type uses.
namespace layout {
inline constexpr int kHeadNameEnd = 213;   // the name ends here at the latest
inline constexpr int kHeadSkipFlag = 213;
inline constexpr int kHeadSize = 214;
inline constexpr int kMaxShownName = 99;   // status texts hold 99 bytes and a zero

inline constexpr int kMatchMode = 0;
inline constexpr int kMatchOffset = 4;
inline constexpr int kMatchSearch = 8;
inline constexpr int kMatchPattern = 9;
inline constexpr int kMatchMask = 13;
inline constexpr int kMatchSize = 17;

inline constexpr int kGroupMode = 0;
inline constexpr int kGroupOffset = 4;
inline constexpr int kGroupCount = 8;
inline constexpr int kGroupSize = 12;

inline constexpr int kVariableId = 0;
inline constexpr int kVariableKind = 4;
inline constexpr int kVariableWidth = 5;
inline constexpr int kVariableOffset = 8;
inline constexpr int kVariableCaptured = 12;
inline constexpr int kVariableSize = 16;

inline constexpr int kOperandValue = 0;
inline constexpr int kOperandMode = 4;
inline constexpr int kOperandVariable = 8;
inline constexpr int kOperandSize = 12;

inline constexpr int kCopyLength = 0;
inline constexpr int kCopySource = 12;
inline constexpr int kCopyDestination = 24;
inline constexpr int kCopySize = 36;

inline constexpr int kSizeOperand = 0;
inline constexpr int kSizeSize = 12;
}  // namespace layout

// Groups may nest this deep inside one entry; a group one level deeper fails the scan
// pass that reaches it (and the linter reports it).
inline constexpr int kMaxGroupDepth = 10000;

// The least data length that holds every field of a record of `type` (0 for a type the
// interpreter does not know).
int FieldsSize(std::uint8_t type);

// Position modes of comparisons and groups.
namespace position_mode {
inline constexpr std::uint8_t kAbsolute = 0;
inline constexpr std::uint8_t kFromBase = 1;
inline constexpr std::uint8_t kRelative = 2;
}  // namespace position_mode

// Operand modes of cure instructions. What a mode means depends on the operand's role;
// a mode above kLastOperandMode makes the cure fail.
namespace operand_mode {
// Copy source and destination.
inline constexpr std::uint8_t kPositionValue = 0;     // the value
inline constexpr std::uint8_t kPositionFromBase = 1;  // ScanBaseOffset + value
inline constexpr std::uint8_t kPositionVariable = 2;  // the variable's value
// Copy length.
inline constexpr std::uint8_t kLengthValue = 0;     // the value
inline constexpr std::uint8_t kLengthVariable = 1;  // the variable's value
inline constexpr std::uint8_t kLengthToEnd = 2;     // image size - source
// New size.
inline constexpr std::uint8_t kSizeCut = 0;       // image size - value
inline constexpr std::uint8_t kSizeFromBase = 1;  // value + ScanBaseOffset
inline constexpr std::uint8_t kSizeVariable = 2;  // the variable's value

inline constexpr std::uint8_t kLastOperandMode = 2;
}  // namespace operand_mode

struct HeadFields {
    std::string name;  // bytes up to the first zero, at most 213 of them
    std::uint8_t skipFlag = 0;
};

struct MatchFields {
    std::uint8_t mode = 0;
    std::int32_t offset = 0;
    std::uint8_t search = 0;
    std::array<std::uint8_t, 4> pattern{};
    std::array<std::uint8_t, 4> mask{};
};

struct GroupFields {
    std::uint8_t mode = 0;
    std::int32_t offset = 0;
    std::int32_t count = 0;
};

// Variable kinds and the widths of kind-0 values.
namespace variable_kind {
inline constexpr std::uint8_t kFileValue = 0;
inline constexpr std::uint8_t kPosition = 1;
}  // namespace variable_kind
namespace variable_width {
inline constexpr std::uint8_t kSigned8 = 0;
inline constexpr std::uint8_t kUnsigned16 = 1;
inline constexpr std::uint8_t kSigned32 = 2;
}  // namespace variable_width

struct VariableFields {
    std::int32_t id = 0;
    std::uint8_t kind = 0;
    std::uint8_t width = 0;  // the "size" byte: 0 = 8-bit, 1 = 16-bit, 2 = 32-bit
    std::int32_t offset = 0;
    std::int32_t captured = 0;  // stored but never used
};

struct OperandFields {
    std::int32_t value = 0;
    std::uint8_t mode = 0;
    std::int32_t variable = 0;
};

struct CopyFields {
    OperandFields length;
    OperandFields source;
    OperandFields destination;
};

struct SizeFields {
    OperandFields newSize;
};

HeadFields DecodeHead(ByteSpan data);
MatchFields DecodeMatch(ByteSpan data);
GroupFields DecodeGroup(ByteSpan data);
VariableFields DecodeVariable(ByteSpan data);
OperandFields DecodeOperand(ByteSpan data, int at);
CopyFields DecodeCopy(ByteSpan data);
SizeFields DecodeSize(ByteSpan data);

// The name a head record's data gives, as the scan reports it: cut to 99 bytes.
std::string ShownName(ByteSpan headData);

}  // namespace korvax
