#include "engine/display_text.h"

#include <array>
#include <cstdint>
#include <optional>

#include "database/record_fields.h"
#include "engine/escaped_text.h"

namespace korvax {
namespace {

// Windows-1251, bytes 0x80 to 0xFF (0x98, undefined in the code page, maps to U+0098).
constexpr std::array<std::uint16_t, 128> kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// What a sequence that begins with `lead` must be: its length, and the range of its second
// byte, which rules out overlong forms, surrogates and code points past U+10FFFF (every
// later byte is a plain continuation byte). Length 0: no sequence begins with `lead`.
struct Utf8Lead {
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Utf8Lead LeadOf(unsigned char lead) {
    if (lead < 0x80) return {1};
    if (lead >= 0xC2 && lead <= 0xDF) return {2};
    if (lead == 0xE0) return {3, 0xA0};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3};
    if (lead == 0xF0) return {4, 0x90};
    if (lead >= 0xF1 && lead <= 0xF3) return {4};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {};
}

// Whether the bytes from `at` on (fewer than `lead.length`, at least the lead itself) fit
// the sequence `lead` begins.
bool FitsSequence(std::string_view bytes, std::size_t at, const Utf8Lead& lead) {
    for (std::size_t k = 1; k < lead.length && at + k < bytes.size(); ++k) {
        const auto b = static_cast<unsigned char>(bytes[at + k]);
        if (k == 1 ? (b < lead.low || b > lead.high) : (b < 0x80 || b > 0xBF)) return false;
    }
    return true;
}

// The length of `bytes` without a character cut off at its very end, when that cut is the
// only thing keeping them from being UTF-8; else nothing.
std::optional<std::size_t> Utf8BeforeCutEnd(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) break;
        i += length;
    }
    if (i == bytes.size()) return std::nullopt;  // valid, nothing cut
    const Utf8Lead lead = LeadOf(static_cast<unsigned char>(bytes[i]));
    if (lead.length < 2 || bytes.size() - i >= lead.length || !FitsSequence(bytes, i, lead)) return std::nullopt;
    return i;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at) {
    const Utf8Lead lead = LeadOf(static_cast<unsigned char>(bytes[at]));
    if (lead.length == 0 || bytes.size() - at < lead.length) return 0;
    return FitsSequence(bytes, at, lead) ? lead.length : 0;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string DisplayText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    // A virus name longer than its status text is cut at 99 bytes, which may fall inside a
    // character of a UTF-8 name; that name is still UTF-8 and loses only the cut character.
    // Only at that length: a shorter text ending in what looks like a cut character is far
    // more likely Windows-1251 ending in a Cyrillic letter ("Virus.\xC6" is "Virus.Ж").
    if (bytes.size() == static_cast<std::size_t>(layout::kMaxShownName)) {
        if (const auto whole = Utf8BeforeCutEnd(bytes)) return std::string(bytes.substr(0, *whole));
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c < 0x80 ? c : kCp1251[c - 0x80]);
    }
    return out;
}

std::string DisplayLine(std::string_view bytes) { return EscapeText(DisplayText(bytes)); }

}  // namespace korvax
