#include "platform/wide_text.h"

#include <cstdint>

namespace korvax {
namespace {

bool IsLeadSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsTrailSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::string& out, std::uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Decodes the code point at `at` (a lone surrogate allowed), advancing `at`; nothing when
// the bytes there are no well-formed sequence.
std::optional<std::uint32_t> DecodeAt(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t first = byte(at);
    std::size_t length = 0;
    std::uint32_t point = 0;
    std::uint32_t least = 0;
    if (first < 0x80) {
        ++at;
        return first;
    } else if (first >= 0xC2 && first <= 0xDF) {
        length = 2, point = first & 0x1F, least = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3, point = first & 0x0F, least = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4, point = first & 0x07, least = 0x10000;
    } else {
        return std::nullopt;  // a continuation byte, or C0, C1, F5-FF: never a lead byte
    }
    if (text.size() - at < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF) return std::nullopt;
    at += length;
    return point;
}

}  // namespace

std::string Utf8FromWide(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (IsLeadSurrogate(unit) && i + 1 < units.size() && IsTrailSurrogate(units[i + 1])) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendCodePoint(out, unit);  // a lone surrogate keeps its three-byte form
        }
    }
    return out;
}

std::optional<std::u16string> WideFromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool afterLeadSurrogate = false;
    for (std::size_t at = 0; at < text.size();) {
        const auto point = DecodeAt(text, at);
        if (!point) return std::nullopt;
        // A lead surrogate written alone followed by a trail surrogate written alone would
        // join into a pair: that pair's only form is four bytes.
        if (afterLeadSurrogate && IsTrailSurrogate(*point)) return std::nullopt;
        afterLeadSurrogate = IsLeadSurrogate(*point);
        if (*point >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((*point - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((*point - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(*point);
        }
    }
    return out;
}

std::optional<std::size_t> WideLength(std::string_view text) {
    const auto wide = WideFromUtf8(text);
    if (!wide) return std::nullopt;
    return wide->size();
}

}  // namespace korvax
