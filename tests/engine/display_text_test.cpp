#include <gtest/gtest.h>

#include <string>

#include "engine/display_text.h"

namespace korvax {
namespace {

TEST(DisplayText, Utf8StaysAndEverythingElseIsReadAsWindows1251) {
    EXPECT_EQ(DisplayText("Win32.Demo"), "Win32.Demo");
    EXPECT_EQ(DisplayText("Вирус"), "Вирус");
    // "Вирус" in Windows-1251.
    EXPECT_EQ(DisplayText("\xC2\xE8\xF0\xF3\xF1"), "Вирус");
    // 0x98 has no character in the code page; it is kept as U+0098.
    EXPECT_EQ(DisplayText("A\x98"), "A\xC2\x98");
    // Overlong forms, surrogates and cut sequences are not UTF-8.
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(DisplayText("\xE2\x82"), "в‚");
}

TEST(DisplayText, ANameCutInsideAUtf8CharacterLosesOnlyThatCharacter) {
    // Names are cut to 99 bytes for their status text.
    std::string cyrillic;
    for (int i = 0; i < 60; ++i) cyrillic += "Ж";
    std::string fortyNine;
    for (int i = 0; i < 49; ++i) fortyNine += "Ж";
    EXPECT_EQ(DisplayText(cyrillic.substr(0, 99)), fortyNine);
    // A cut three- or four-byte character, one to three of its bytes left.
    const std::string ascii(96, 'v');
    EXPECT_EQ(DisplayText(ascii + "a" + "\xE2\x82"), ascii + "a");
    EXPECT_EQ(DisplayText(ascii + "ab" + "\xE2"), ascii + "ab");
    EXPECT_EQ(DisplayText(ascii + "\xF0\x9F\x98"), ascii);
    // A whole name of 99 bytes stays as it is.
    EXPECT_EQ(DisplayText(ascii + "€"), ascii + "€");

    // Windows-1251 still reads as before: a fault before the end, a tail that cannot begin
    // a character (or not as the bytes after it go on), or a shorter text.
    std::string win1251;
    for (int i = 0; i < 33; ++i) win1251 += "\xC2\xE8\xF0";  // "Вир"
    std::string shown;
    for (int i = 0; i < 33; ++i) shown += "Вир";
    ASSERT_EQ(win1251.size(), 99U);
    EXPECT_EQ(DisplayText(win1251), shown);
    EXPECT_EQ(DisplayText("\xC6" + std::string(97, 'v') + "\xD0"), "Ж" + std::string(97, 'v') + "Р");
    EXPECT_EQ(DisplayText(std::string(98, 'v') + "\xFF"), std::string(98, 'v') + "я");
    EXPECT_EQ(DisplayText(std::string(97, 'v') + "\xE0\x80"), std::string(97, 'v') + "аЂ");  // overlong
    EXPECT_EQ(DisplayText(std::string(97, 'v') + "\xED\xA0"), std::string(97, 'v') + "н\xC2\xA0");  // surrogate
    EXPECT_EQ(DisplayText("Virus.\xC6"), "Virus.Ж");
}

}  // namespace
}  // namespace korvax
