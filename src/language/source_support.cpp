#include "language/source_support.h"

#include "database/record_fields.h"
#include "database/record_header.h"

namespace korvax::source_support {
namespace {

// Length of the well-formed UTF-8 sequence starting at bytes[i], or 0 when there is none.
// C1 controls (U+0080..U+009F) count as not well-formed here: a terminal acts on them.
std::size_t Utf8SequenceAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    const std::uint8_t lead = bytes[i];
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead == 0xC2) {
        length = 2;
        low = 0xA0;
    } else if (lead >= 0xC3 && lead <= 0xDF) {
        length = 2;
    } else if (lead == 0xE0) {
        length = 3;
        low = 0xA0;
    } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
        length = 3;
    } else if (lead == 0xED) {
        length = 3;
        high = 0x9F;
    } else if (lead == 0xF0) {
        length = 4;
        low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        length = 4;
    } else if (lead == 0xF4) {
        length = 4;
        high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string HexByte(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string QuoteBytes(std::span<const std::uint8_t> bytes) {
    std::string text = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == 0) {
            text += "\\0";
        } else if (const std::size_t length = c >= 0x80 ? Utf8SequenceAt(bytes, i) : 0; length > 0) {
            text.append(reinterpret_cast<const char*>(bytes.data() + i), length);
            i += length;
            continue;
        } else {
            text += "\\x" + HexByte(c);
        }
        ++i;
    }
    text += '"';
    return text;
}

void GroupNesting::add(std::uint8_t type, std::span<const std::uint8_t> data, std::int64_t offset) {
    if (!open_.empty()) --open_.back().remaining;
    if (type == record_type::kGroup) {
        // The interpreter decodes any record of this type as a group, whatever its length.
        const std::int32_t count = DecodeGroup(data).count;
        if (count > 0) open_.push_back({offset, count});
    }
    // A group ends with its last member, and that may end its parent too.
    while (!open_.empty() && open_.back().remaining == 0) open_.pop_back();
}

}  // namespace korvax::source_support
