#include <gtest/gtest.h>

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

}  // namespace
}  // namespace korvax
