#include <gtest/gtest.h>

#include <string>

#include "platform/wide_text.h"

namespace korvax {
namespace {

std::string Bytes(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(WideText, ValidTextIsPlainUtf8BothWays) {
    const std::pair<std::u16string, std::u8string> cases[] = {
        {u"", u8""},
        {u"PROGRAM.EXE", u8"PROGRAM.EXE"},
        {u"Проверка\\файл.com", u8"Проверка\\файл.com"},
        {u"\u00FF\u0800\uFFFF", u8"\u00FF\u0800\uFFFF"},
        {u"\U0001F600 \U0010FFFF", u8"\U0001F600 \U0010FFFF"},  // pairs become four bytes
    };
    for (const auto& [wide, utf8] : cases) {
        EXPECT_EQ(Utf8FromWide(wide), Bytes(utf8));
        EXPECT_EQ(WideFromUtf8(Bytes(utf8)), wide);
        EXPECT_EQ(WideLength(Bytes(utf8)), wide.size());
    }
}

// A Windows name may hold a surrogate without its partner; it must come back unit for unit
// or a cure would write a file of another name.
TEST(WideText, EverySingleUnitAndEveryLoneSurrogateRoundTrips) {
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string name = {u'a', static_cast<char16_t>(unit), u'z'};
        const auto back = WideFromUtf8(Utf8FromWide(name));
        ASSERT_TRUE(back.has_value()) << std::hex << unit;
        ASSERT_EQ(*back, name) << std::hex << unit;
    }
    const std::u16string odd[] = {
        {char16_t(0xD800)},                    // a lead alone
        {char16_t(0xDC00), u'x'},              // a trail alone
        {char16_t(0xDC00), char16_t(0xD800)},  // a pair in the wrong order is two lone ones
        {char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},  // a lead, then a pair
    };
    for (const auto& name : odd) EXPECT_EQ(WideFromUtf8(Utf8FromWide(name)), name);
    EXPECT_EQ(Utf8FromWide(std::u16string{char16_t(0xD800)}), "\xED\xA0\x80");
    EXPECT_EQ(Utf8FromWide(std::u16string{char16_t(0xDFFF)}), "\xED\xBF\xBF");
}

// Each of these would either name no file at all or give one name two spellings.
TEST(WideText, RefusesBytesThatAreNoWtf8) {
    const std::string refused[] = {
        "\x80",                      // a continuation byte alone
        "a\xC3",                     // cut at the end
        "\xE2\x82",                  // cut inside
        "\xC3\x28",                  // a lead byte without its continuation
        "\xC0\x80",                  // overlong NUL
        "\xC1\xBF",                  // overlong ASCII
        "\xE0\x80\x80",              // overlong three-byte
        "\xE0\x81\x81",              // 'A' in three bytes
        "\xE0\x9F\xBF",              // U+07FF in three bytes
        "\xF0\x80\x80\x80",          // overlong four-byte
        "\xF0\x8F\xBF\xBF",          // U+FFFF in four bytes
        "\xF4\x90\x80\x80",          // above U+10FFFF
        "\xF5\x80\x80\x80",          // no such lead byte
        "\xFF",
        "\xED\xA0\xBD\xED\xB8\x80",  // U+1F600's pair written as two surrogates
    };
    for (const auto& text : refused) {
        EXPECT_FALSE(WideFromUtf8(text).has_value()) << testing::PrintToString(text);
        EXPECT_FALSE(WideLength(text).has_value());
    }
    // The pair's one spelling is accepted.
    EXPECT_EQ(WideFromUtf8("\xF0\x9F\x98\x80"), (std::u16string{char16_t(0xD83D), char16_t(0xDE00)}));
}

// Windows counts a path's length in these units: a Cyrillic letter is two bytes and one
// unit, a character beyond U+FFFF four bytes and two units.
TEST(WideText, LengthCountsSixteenBitUnits) {
    EXPECT_EQ(WideLength(Bytes(u8"C:\\Я\\a.exe")), 10U);
    EXPECT_EQ(WideLength(Bytes(u8"\U0001F600")), 2U);
    EXPECT_EQ(WideLength(std::string(1024, 'a') + Bytes(u8"Ж")), 1025U);
}

}  // namespace
}  // namespace korvax
