#pragma once
// Random databases and files for comparing the fast pass with the literal interpreter,
// drawn from any byte source (a fuzzer's input, or a seeded generator).
//
// The databases are built to reach the corners where the two could part: entries sharing
// places and patterns (so one sweep hit stands for many entries), patterns cut from the
// file itself (so tests hold), entries that depend on the stream right after entries that
// fail, groups, variables before and after the first test, cures, records cut short,
// unknown record types, skip flags, places outside the image and near its end, offsets
// that wrap, masks with bits missing and patterns with bits outside their masks.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "database/record_fields.h"
#include "database/virus_database.h"

namespace korvax::test {

// Bytes to draw from; 0 once they run out, so every input makes some database.
class Draw {
public:
    explicit Draw(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint8_t byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
    std::uint32_t below(std::uint32_t n) {  // 0 .. n-1
        const std::uint32_t v = static_cast<std::uint32_t>(byte()) | static_cast<std::uint32_t>(byte()) << 8;
        return n == 0 ? 0 : v % n;
    }
    bool chance(std::uint32_t oneIn) { return below(oneIn) == 0; }
    std::int32_t word() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return static_cast<std::int32_t>(v);
    }
    bool exhausted() const { return at_ >= bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

namespace random_detail {

inline void Put32(std::vector<std::uint8_t>& data, int at, std::int32_t value) {
    for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

inline Record Make(std::uint8_t type, std::vector<std::uint8_t> data) {
    Record record;
    record.header = RecordHeader::Make(type, static_cast<std::int32_t>(data.size()));
    record.data = std::move(data);
    return record;
}

struct Pools {
    std::vector<std::int32_t> places;
    std::vector<std::array<std::uint8_t, 4>> masks;
    std::vector<std::array<std::uint8_t, 4>> patterns;
};

inline std::int32_t Place(Draw& draw, std::int32_t fileSize) {
    switch (draw.below(8)) {
        case 0: return static_cast<std::int32_t>(draw.below(8));
        case 1: return fileSize - static_cast<std::int32_t>(draw.below(6));  // at and near the end
        case 2: return -static_cast<std::int32_t>(draw.below(5));             // below 0
        case 3: return draw.word();                                          // anywhere, wrapping
        default: return static_cast<std::int32_t>(draw.below(static_cast<std::uint32_t>(fileSize) + 8));
    }
}

inline std::array<std::uint8_t, 4> Mask(Draw& draw) {
    static constexpr std::array<std::array<std::uint8_t, 4>, 6> kMasks{{
        {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xF0, 0xFF},
        {0x00, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0x00, 0x00}, {0x0F, 0xFF, 0xFF, 0xFF},
    }};
    if (draw.chance(5)) return {draw.byte(), draw.byte(), draw.byte(), draw.byte()};
    return kMasks[draw.below(kMasks.size())];
}

// A pattern for `mask`: mostly the masked window at some place of the file (so it holds
// there), sometimes anything (bits outside the mask included).
inline std::array<std::uint8_t, 4> Pattern(Draw& draw, std::span<const std::uint8_t> file, std::array<std::uint8_t, 4> mask,
                                           std::int32_t place) {
    std::array<std::uint8_t, 4> pattern{};
    if (draw.chance(6)) return {draw.byte(), draw.byte(), draw.byte(), draw.byte()};
    const std::int64_t at = draw.chance(2) ? place : file.empty() ? 0 : draw.below(static_cast<std::uint32_t>(file.size()) + 3);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::int64_t p = at + static_cast<std::int64_t>(i);
        // A read below 0 copies nothing: the whole window is 0 there.
        const std::uint8_t b = at >= 0 && p < static_cast<std::int64_t>(file.size()) ? file[static_cast<std::size_t>(p)] : 0;
        pattern[i] = static_cast<std::uint8_t>(b & mask[i]);
    }
    return pattern;
}

inline void MaybeCut(Draw& draw, Record& record) {
    if (!draw.chance(16)) return;
    record.data.resize(draw.below(static_cast<std::uint32_t>(record.data.size())));
    if (draw.chance(2)) record.header = RecordHeader::Make(record.type(), static_cast<std::int32_t>(record.data.size()));
}

inline Record Comparison(Draw& draw, const Pools& pools) {
    std::vector<std::uint8_t> data(layout::kMatchSize, 0);
    const std::uint32_t modeRoll = draw.below(10);
    data[layout::kMatchMode] = static_cast<std::uint8_t>(modeRoll < 4 ? 0 : modeRoll < 5 ? 1 : modeRoll < 8 ? 2 : 3 + draw.below(3));
    const std::size_t which = draw.below(static_cast<std::uint32_t>(pools.patterns.size()));
    const std::int32_t offset = draw.chance(3) ? static_cast<std::int32_t>(draw.below(9)) - 4
                                : draw.chance(4) ? pools.places[draw.below(static_cast<std::uint32_t>(pools.places.size()))]
                                                 : pools.places[which];
    Put32(data, layout::kMatchOffset, offset);
    data[layout::kMatchSearch] = draw.chance(3) ? static_cast<std::uint8_t>(1 + draw.below(255)) : 0;
    for (int i = 0; i < 4; ++i) {
        data[static_cast<std::size_t>(layout::kMatchPattern + i)] = pools.patterns[which][static_cast<std::size_t>(i)];
        data[static_cast<std::size_t>(layout::kMatchMask + i)] = pools.masks[which][static_cast<std::size_t>(i)];
    }
    Record record = Make(record_type::kMatch, std::move(data));
    MaybeCut(draw, record);
    return record;
}

inline Record Operands(Draw& draw, std::uint8_t type, int size) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size), 0);
    for (int at = 0; at + layout::kOperandSize <= size; at += layout::kOperandSize) {
        Put32(data, at + layout::kOperandValue, static_cast<std::int32_t>(draw.below(24)) - 4);
        data[static_cast<std::size_t>(at + layout::kOperandMode)] = static_cast<std::uint8_t>(draw.chance(12) ? 3 : draw.below(3));
        Put32(data, at + layout::kOperandVariable, static_cast<std::int32_t>(draw.below(3)));
    }
    Record record = Make(type, std::move(data));
    MaybeCut(draw, record);
    return record;
}

inline Record Variable(Draw& draw) {
    std::vector<std::uint8_t> data(layout::kVariableSize, 0);
    Put32(data, layout::kVariableId, static_cast<std::int32_t>(draw.below(3)));
    data[layout::kVariableKind] = static_cast<std::uint8_t>(draw.below(3));
    data[layout::kVariableWidth] = static_cast<std::uint8_t>(draw.below(4));
    Put32(data, layout::kVariableOffset, static_cast<std::int32_t>(draw.below(16)) - 4);
    Record record = Make(record_type::kVariable, std::move(data));
    MaybeCut(draw, record);
    return record;
}

inline Record Group(Draw& draw, std::int32_t members) {
    std::vector<std::uint8_t> data(layout::kGroupSize, 0);
    data[layout::kGroupMode] = static_cast<std::uint8_t>(draw.below(4));
    Put32(data, layout::kGroupOffset, static_cast<std::int32_t>(draw.below(12)));
    Put32(data, layout::kGroupCount, members);
    Record record = Make(record_type::kGroup, std::move(data));
    MaybeCut(draw, record);
    return record;
}

}  // namespace random_detail

// A random database of up to `maxEntries` entries for `file`.
inline VirusDatabase RandomDatabase(Draw& draw, std::span<const std::uint8_t> file, std::uint32_t maxEntries = 400) {
    using namespace random_detail;
    const auto fileSize = static_cast<std::int32_t>(file.size());
    Pools pools;
    // Now and then enough distinct patterns for the sweep's key table, not only lone searches.
    const std::uint32_t poolSize = 1 + draw.below(draw.chance(3) ? 80 : 12);
    for (std::uint32_t i = 0; i < poolSize; ++i) {
        pools.places.push_back(Place(draw, fileSize));
        pools.masks.push_back(Mask(draw));
        pools.patterns.push_back(Pattern(draw, file, pools.masks.back(), pools.places.back()));
    }
    // Comparisons and searches of shared patterns are mostly made to fail at their place,
    // so that many entries fail at their first test and the pass has to skip them exactly.
    const std::uint32_t entries = 1 + draw.below(maxEntries);
    VirusDatabase base;
    base.reserve(entries);
    for (std::uint32_t e = 0; e < entries; ++e) {
        VirusEntry entry;
        if (draw.chance(400)) {  // no records at all: fails the pass that reaches it
            base.push_back(std::move(entry));
            continue;
        }
        std::vector<std::uint8_t> head(layout::kHeadSize, 0);
        const std::string name = "E" + std::to_string(e);
        std::copy(name.begin(), name.end(), head.begin());
        head[layout::kHeadSkipFlag] = draw.chance(12) ? 1 : 0;
        entry.records.push_back(Make(record_type::kHead, std::move(head)));
        if (draw.chance(30)) entry.records.back().data.resize(draw.below(layout::kHeadSize));

        const std::uint32_t records = draw.below(6);
        std::int32_t groupMembersLeft = 0;
        for (std::uint32_t r = 0; r < records; ++r) {
            switch (draw.below(12)) {
                case 0: entry.records.push_back(Variable(draw)); break;
                case 1: entry.records.push_back(Operands(draw, record_type::kCopy, layout::kCopySize)); break;
                case 2: entry.records.push_back(Operands(draw, record_type::kSize, layout::kSizeSize)); break;
                case 3:
                    if (groupMembersLeft == 0 && !draw.chance(3)) {
                        groupMembersLeft = static_cast<std::int32_t>(draw.below(4));
                        // Now and then a group that claims more members than its entry has.
                        entry.records.push_back(Group(draw, groupMembersLeft + (draw.chance(10) ? 2 : 0)));
                        continue;
                    }
                    entry.records.push_back(Make(0x07, std::vector<std::uint8_t>(draw.below(8), 0)));
                    break;
                default: entry.records.push_back(Comparison(draw, pools)); break;
            }
            if (groupMembersLeft > 0) --groupMembersLeft;
        }
        base.push_back(std::move(entry));
    }
    return base;
}

}  // namespace korvax::test
