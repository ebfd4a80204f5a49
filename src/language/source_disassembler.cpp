#include "language/signature_source.h"

#include <algorithm>
#include <array>

#include "database/record_cursor.h"
#include "database/record_fields.h"
#include "database/record_header.h"
#include "language/operand_syntax.h"
#include "language/source_support.h"

namespace korvax {
namespace {

using Bytes = std::vector<std::uint8_t>;
using operand_syntax::OperandRole;
using operand_syntax::OperandText;
using source_support::HexByte;
using source_support::QuoteBytes;

// Indentation shows group membership; past this depth it stops growing, so a file of
// thousands of nested groups cannot make the text grow with the square of its size.
constexpr std::size_t kMaxIndentLevels = 16;

std::string Decimal(std::int64_t value) { return std::to_string(value); }

std::string Position(std::uint8_t mode, std::int32_t offset) {
    switch (mode) {
        case position_mode::kAbsolute: return "at " + Decimal(offset);
        case position_mode::kFromBase: return "base " + Decimal(offset);
        case position_mode::kRelative: return "rel " + std::string(offset > 0 ? "+" : "") + Decimal(offset);
        default: return "mode " + Decimal(mode) + " " + Decimal(offset);
    }
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += HexByte(b);
    }
    return text;
}

// Data items: runs of at least four printable characters as strings, the rest as hex.
std::string DataItems(std::span<const std::uint8_t> data) {
    std::string text;
    std::size_t i = 0;
    auto printable = [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; };
    while (i < data.size()) {
        std::size_t run = 0;
        while (i + run < data.size() && printable(data[i + run])) ++run;
        if (!text.empty()) text += ' ';
        if (run >= 4) {
            text += QuoteBytes(data.subspan(i, run));
            i += run;
        } else {
            text += HexByte(data[i]);
            ++i;
        }
    }
    return text;
}

std::string HeaderClause(const RecordHeader& header) {
    const bool any = std::any_of(header.bytes.begin() + 1, header.bytes.begin() + 8, [](std::uint8_t b) { return b != 0; });
    if (!any) return "";
    return " header " + HexBytes(std::span<const std::uint8_t>(header.bytes).subspan(1, 7));
}

std::string FourBytesText(const MatchFields& fields) {
    bool plain = true;  // every byte either given (mask FF) or a wildcard (pattern and mask 00)
    std::string pattern;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) pattern += ' ';
        if (fields.mask[i] == 0xFF) {
            pattern += HexByte(fields.pattern[i]);
        } else if (fields.mask[i] == 0 && fields.pattern[i] == 0) {
            pattern += "??";
        } else {
            plain = false;
        }
    }
    const bool visible = std::all_of(fields.pattern.begin(), fields.pattern.end(),
                                     [](std::uint8_t c) { return c > 0x20 && c < 0x7F; });
    if (plain && visible && fields.mask == std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}) {
        return "pattern " + QuoteBytes(fields.pattern);
    }
    if (plain) return "pattern " + pattern;
    return "pattern " + HexBytes(fields.pattern) + " mask " + HexBytes(fields.mask);
}

// The readable line for a record of a known type and usual length; empty when there is
// none. Whether it really stands for the record's bytes is checked by the caller.
std::string StructuredLine(const RecordAt& record) {
    const std::span<const std::uint8_t> data = record.data;
    const auto length = static_cast<std::int64_t>(data.size());
    switch (record.header.type()) {
        case record_type::kHead: {
            if (length != layout::kHeadSize) return "";
            const HeadFields head = DecodeHead(data);
            std::string line = "entry " + QuoteBytes({reinterpret_cast<const std::uint8_t*>(head.name.data()), head.name.size()});
            if (head.skipFlag == 1) line += " skip";
            if (head.skipFlag > 1) line += " skip " + Decimal(head.skipFlag);
            return line;
        }
        case record_type::kMatch: {
            if (length != layout::kMatchSize) return "";
            const MatchFields match = DecodeMatch(data);
            std::string line = (match.search != 0 ? "search " : "match ") + Position(match.mode, match.offset) + " " +
                               FourBytesText(match);
            if (match.search > 1) line += " flag " + Decimal(match.search);
            return line;
        }
        case record_type::kGroup: {
            if (length != layout::kGroupSize) return "";
            const GroupFields group = DecodeGroup(data);
            return "group " + Position(group.mode, group.offset) + " count " + Decimal(group.count);
        }
        case record_type::kVariable: {
            if (length != layout::kVariableSize) return "";
            const VariableFields v = DecodeVariable(data);
            std::string line = "var " + Decimal(v.id);
            static constexpr const char* kWidths[] = {"s8", "u16", "s32"};
            if (v.kind == variable_kind::kFileValue && v.width <= 2 && v.offset == 0) {
                line += std::string(" value ") + kWidths[v.width];
            } else if (v.kind == variable_kind::kPosition && v.width == 0) {
                line += " position";
                if (v.offset != 0) line += " " + Decimal(v.offset);
            } else {
                line += " kind " + Decimal(v.kind) + " width " + Decimal(v.width);
                if (v.offset != 0) line += " offset " + Decimal(v.offset);
            }
            if (v.captured != 0) line += " captured " + Decimal(v.captured);
            return line;
        }
        case record_type::kCopy: {
            if (length != layout::kCopySize) return "";
            const CopyFields copy = DecodeCopy(data);
            return "copy " + OperandText(copy.length, OperandRole::Length) + " from " +
                   OperandText(copy.source, OperandRole::Position) + " to " +
                   OperandText(copy.destination, OperandRole::Position);
        }
        case record_type::kSize: {
            if (length != layout::kSizeSize) return "";
            return "size " + OperandText(DecodeSize(data).newSize, OperandRole::NewSize);
        }
        default:
            return "";
    }
}

std::string RawLine(const RecordAt& record) {
    std::string line = "raw 0x" + HexByte(record.header.type());
    if (record.negativeLength || record.dataCut ||
        static_cast<std::int64_t>(record.data.size()) != record.header.length()) {
        line += " length " + Decimal(record.header.length());
    }
    if (!record.data.empty()) line += " data " + DataItems(record.data);
    return line + HeaderClause(record.header);
}

void AppendBytesLines(std::string& out, const std::string& indent, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 16) {
        out += indent + "bytes " + HexBytes(bytes.subspan(i, std::min<std::size_t>(16, bytes.size() - i))) + "\n";
    }
}

}  // namespace

std::string DisassembleDatabase(std::span<const std::uint8_t> file) {
    std::string out;
    RecordCursor cursor(file);
    source_support::GroupNesting nesting;
    while (auto record = cursor.next()) {
        const std::uint8_t type = record->header.type();
        if (type == record_type::kHead) {
            nesting.reset();
            if (!out.empty()) out += '\n';
        }
        const std::string indent(2 * std::min(nesting.depth(), kMaxIndentLevels), ' ');
        const auto offset = static_cast<std::size_t>(record->offset);

        if (record->headerCut) {
            out += indent + "# the file ends inside a record header\n";
            AppendBytesLines(out, indent, file.subspan(offset));
            break;
        }
        if (record->negativeLength) {
            out += indent + "# negative length: a reader stops here\n";
            out += indent + RawLine(*record) + "\n";
            AppendBytesLines(out, indent, file.subspan(offset + kRecordHeaderSize));
            break;
        }
        if (record->dataCut) {
            out += indent + "# truncated record: length " + Decimal(record->header.length()) + ", " +
                   Decimal(static_cast<std::int64_t>(record->data.size())) + " bytes present\n";
            out += indent + RawLine(*record) + "\n";
            nesting.add(type, record->data, record->offset);
            continue;
        }

        std::string line = StructuredLine(*record);
        if (!line.empty()) {
            line += HeaderClause(record->header);
            const std::span<const std::uint8_t> original = file.subspan(offset, kRecordHeaderSize + record->data.size());
            bool same = false;
            try {
                const Bytes again = AssembleSource(line);
                same = std::equal(again.begin(), again.end(), original.begin(), original.end());
            } catch (const SourceError&) {
                same = false;
            }
            if (!same) line.clear();
        }
        if (line.empty()) line = RawLine(*record);
        out += indent + line + "\n";
        nesting.add(type, record->data, record->offset);
    }
    return out;
}

}  // namespace korvax
