#include "database/record_fields.h"

#include "database/record_header.h"

namespace korvax {

std::uint8_t ReadU8(ByteSpan bytes, std::int64_t offset) {
    if (offset < 0 || offset >= static_cast<std::int64_t>(bytes.size())) return 0;
    return bytes[static_cast<std::size_t>(offset)];
}

std::uint16_t ReadU16(ByteSpan bytes, std::int64_t offset) {
    return static_cast<std::uint16_t>(ReadU8(bytes, offset) | (ReadU8(bytes, offset + 1) << 8));
}

std::uint32_t ReadU32(ByteSpan bytes, std::int64_t offset) {
    return static_cast<std::uint32_t>(ReadU8(bytes, offset)) |
           static_cast<std::uint32_t>(ReadU8(bytes, offset + 1)) << 8 |
           static_cast<std::uint32_t>(ReadU8(bytes, offset + 2)) << 16 |
           static_cast<std::uint32_t>(ReadU8(bytes, offset + 3)) << 24;
}

std::int32_t ReadI32(ByteSpan bytes, std::int64_t offset) {
    return static_cast<std::int32_t>(ReadU32(bytes, offset));
}

int FieldsSize(std::uint8_t type) {
    switch (type) {
        case record_type::kHead: return layout::kHeadSize;
        case record_type::kMatch: return layout::kMatchSize;
        case record_type::kGroup: return layout::kGroupSize;
        case record_type::kVariable: return layout::kVariableSize;
        case record_type::kCopy: return layout::kCopySize;
        case record_type::kSize: return layout::kSizeSize;
        default: return 0;
    }
}

HeadFields DecodeHead(ByteSpan data) {
    HeadFields head;
    for (int i = 0; i < layout::kHeadNameEnd; ++i) {
        const std::uint8_t c = ReadU8(data, i);
        if (c == 0) break;
        head.name.push_back(static_cast<char>(c));
    }
    head.skipFlag = ReadU8(data, layout::kHeadSkipFlag);
    return head;
}

std::string ShownName(ByteSpan headData) {
    std::string name;
    for (int i = 0; i < layout::kMaxShownName; ++i) {
        const std::uint8_t c = ReadU8(headData, i);
        if (c == 0) break;
        name.push_back(static_cast<char>(c));
    }
    return name;
}

MatchFields DecodeMatch(ByteSpan data) {
    MatchFields match;
    match.mode = ReadU8(data, layout::kMatchMode);
    match.offset = ReadI32(data, layout::kMatchOffset);
    match.search = ReadU8(data, layout::kMatchSearch);
    for (int i = 0; i < 4; ++i) {
        match.pattern[static_cast<std::size_t>(i)] = ReadU8(data, layout::kMatchPattern + i);
        match.mask[static_cast<std::size_t>(i)] = ReadU8(data, layout::kMatchMask + i);
    }
    return match;
}

GroupFields DecodeGroup(ByteSpan data) {
    return {ReadU8(data, layout::kGroupMode), ReadI32(data, layout::kGroupOffset),
            ReadI32(data, layout::kGroupCount)};
}

VariableFields DecodeVariable(ByteSpan data) {
    return {ReadI32(data, layout::kVariableId), ReadU8(data, layout::kVariableKind),
            ReadU8(data, layout::kVariableWidth), ReadI32(data, layout::kVariableOffset),
            ReadI32(data, layout::kVariableCaptured)};
}

OperandFields DecodeOperand(ByteSpan data, int at) {
    return {ReadI32(data, at + layout::kOperandValue), ReadU8(data, at + layout::kOperandMode),
            ReadI32(data, at + layout::kOperandVariable)};
}

CopyFields DecodeCopy(ByteSpan data) {
    return {DecodeOperand(data, layout::kCopyLength), DecodeOperand(data, layout::kCopySource),
            DecodeOperand(data, layout::kCopyDestination)};
}

SizeFields DecodeSize(ByteSpan data) { return {DecodeOperand(data, layout::kSizeOperand)}; }

}  // namespace korvax
