#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "engine/row_format.h"

namespace korvax {
namespace {

// What every escaped text must be: one line of valid UTF-8 without tabs, control
// characters or C1 controls, that unescapes to exactly the bytes it came from.
void ExpectOneLineRoundTrip(const std::string& bytes) {
    const std::string escaped = EscapeText(bytes);
    ASSERT_TRUE(IsValidUtf8(escaped)) << escaped;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const auto c = static_cast<unsigned char>(escaped[i]);
        ASSERT_TRUE(c >= 0x20 && c != 0x7F) << "control byte in " << escaped;
        if (c == 0xC2) {
            ASSERT_GE(static_cast<unsigned char>(escaped[i + 1]), 0xA0) << "C1 control in " << escaped;
        }
    }
    const auto back = UnescapeText(escaped);
    ASSERT_TRUE(back.has_value()) << escaped;
    ASSERT_EQ(*back, bytes) << escaped;
}

TEST(EscapeText, OrdinaryNamesPrintUnchanged) {
    for (const std::string name : {"", "/home/user/Setup.exe", "/tmp/Вирус.com", "/srv/имя файла с пробелами.EXE",
                                   "\xC2\xA0nbsp", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF", "\xF0\x90\x80\x80",
                                   "\xF4\x8F\xBF\xBF", "emoji \xF0\x9F\x98\x80", "~!@#$%^&*()_+{}|:\"<>?`-=[];',./"}) {
        EXPECT_EQ(EscapeText(name), name);
    }
}

TEST(EscapeText, ControlsBackslashC1AndNonUtf8AreEscaped) {
    EXPECT_EQ(EscapeText("a\nb\tc.com"), "a\\nb\\tc.com");
    EXPECT_EQ(EscapeText("dir\\name\r"), "dir\\\\name\\r");
    EXPECT_EQ(EscapeText(std::string("\0\x01\x1B[2J\x1F\x7F", 8)), "\\x00\\x01\\x1B[2J\\x1F\\x7F");
    // C1 controls are valid UTF-8, but a terminal acts on them: U+009B opens a control sequence.
    EXPECT_EQ(EscapeText("\xC2\x80\xC2\x9B" "31m\xC2\x9F\xC2\xA0"), "\\xC2\\x80\\xC2\\x9B" "31m\\xC2\\x9F\xC2\xA0");
    // Bytes outside well-formed UTF-8 are escaped one by one; what follows them is read afresh.
    EXPECT_EQ(EscapeText("\xFF\xFE.exe"), "\\xFF\\xFE.exe");
    EXPECT_EQ(EscapeText("\xC2\xE8\xF0\xF3\xF1"), "\\xC2\\xE8\\xF0\\xF3\\xF1");  // Windows-1251
    EXPECT_EQ(EscapeText("\xC0\xAF"), "\\xC0\\xAF");                            // overlong '/'
    EXPECT_EQ(EscapeText("\xE0\x9F\xBF"), "\\xE0\\x9F\\xBF");                   // overlong
    EXPECT_EQ(EscapeText("\xED\xA0\x80"), "\\xED\\xA0\\x80");                   // surrogate
    EXPECT_EQ(EscapeText("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");          // past U+10FFFF
    EXPECT_EQ(EscapeText("\xF0\x8F\xBF\xBF"), "\\xF0\\x8F\\xBF\\xBF");          // overlong
    EXPECT_EQ(EscapeText("\xE2\x82x\xE2\x82"), "\\xE2\\x82x\\xE2\\x82");        // cut sequences
    EXPECT_EQ(EscapeText("\x80\xF0\x9F\x98\x80"), "\\x80\xF0\x9F\x98\x80");     // stray continuation
}

TEST(EscapeText, EveryByteAndEveryPairRoundTrips) {
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, static_cast<char>(a));
        ExpectOneLineRoundTrip(one);
        ExpectOneLineRoundTrip("x" + one + "\\x41");
        // Alone, a byte prints as itself exactly when it is printable ASCII other than '\'.
        EXPECT_EQ(EscapeText(one) == one, a >= 0x20 && a < 0x7F && a != '\\') << a;
        for (int b = 0; b < 256; ++b) ExpectOneLineRoundTrip(one + static_cast<char>(b));
        if (HasFailure()) return;
    }
}

TEST(EscapeText, RandomByteStringsRoundTrip) {
    std::mt19937 random(20240611);
    // Half the bytes from the ranges UTF-8 is made of, so that valid, cut and overlong
    // sequences all turn up; the rest anything at all.
    const std::string interesting = "\\\t\n\r\x1B\x7F\x80\x9F\xA0\xBF\xC0\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF" "ax";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& c : bytes) {
            c = random() % 2 ? interesting[random() % interesting.size()] : static_cast<char>(random() % 256);
        }
        ExpectOneLineRoundTrip(bytes);
        if (HasFailure()) return;
    }
}

TEST(UnescapeText, RefusesWhatEscapeTextNeverWrites) {
    EXPECT_EQ(UnescapeText("\\x4a\\x4A\\\\\\t"), "JJ\\\t");  // hex digits in either case
    for (const char* broken : {"\\", "end\\", "\\q", "\\0", "\\x", "\\x4", "\\xG1", "\\x4G", "\\u0041"}) {
        EXPECT_EQ(UnescapeText(broken), std::nullopt) << broken;
    }
}

TEST(RowFormat, EveryRowIsOneLineOfThreeColumns) {
    // Paths as the system shows them (ShownPath, below): escaped on Linux, as Windows
    // shows them on Windows.
    const bool escaped = kPathShowing == PathShowing::Escaped;
    EXPECT_EQ(FormatRow({"/tmp/a\nb\tc.com", "Mark.S", "Пропущен"}),
              escaped ? "/tmp/a\\nb\\tc.com\tMark.S\tПропущен" : "/tmp/a\uFFFDb\uFFFDc.com\tMark.S\tПропущен");
    EXPECT_EQ(FormatRow({"/tmp/\xFF.exe", "\xC2\xE8\xF0\xF3\xF1", "Вылечен"}),
              escaped ? "/tmp/\\xFF.exe\tВирус\tВылечен" : "/tmp/\uFFFD.exe\tВирус\tВылечен");
    EXPECT_EQ(FormatRow({"C:\\x\\a.exe", "Mark.S", "Пропущен"}),
              escaped ? "C:\\\\x\\\\a.exe\tMark.S\tПропущен" : "C:\\x\\a.exe\tMark.S\tПропущен");
    // Virus names come from the database: decoded, then their controls escaped too.
    EXPECT_EQ(FormatRow({"/a.exe", "Evil\nName\x1B[2J\\", "Пропущен"}), "/a.exe\tEvil\\nName\\x1B[2J\\\\\tПропущен");
    EXPECT_EQ(DisplayLine("A\x98\tB"), "A\\xC2\\x98\\tB");  // Windows-1251 0x98 is U+0098, a C1 control
    EXPECT_EQ(FormatCounter("Проверено", -3), "Проверено: -3");
}

// How Windows rows show a path: as it is, backslashes and all; what cannot stand on one
// readable line (made behind Win32's back) as one U+FFFD each, a lone surrogate included.
TEST(ShownPath, WindowsShowsPathsAsTheyAreAndWhatCannotShowAsReplacement) {
    const auto windows = [](std::string_view path) { return ShownPath(path, PathShowing::Replaced); };
    EXPECT_EQ(windows("C:\\Users\\Иван\\Жук 1.exe"), "C:\\Users\\Иван\\Жук 1.exe");
    EXPECT_EQ(windows("\\\\server\\share\\日本.com"), "\\\\server\\share\\日本.com");
    EXPECT_EQ(windows("a\tb\nc\rd\x01\x7F"), "a\uFFFDb\uFFFDc\uFFFDd\uFFFD\uFFFD");
    EXPECT_EQ(windows("C1 \xC2\x9B end"), "C1 \uFFFD end");                   // a terminal's control sequence start
    EXPECT_EQ(windows("lone \xED\xA0\x80 high"), "lone \uFFFD high");          // WTF-8's lone surrogate
    EXPECT_EQ(windows("lone \xED\xBF\xBF"), "lone \uFFFD");
    EXPECT_EQ(windows("pair \xF0\x9F\x98\x80"), "pair \xF0\x9F\x98\x80");  // a whole character stays
    EXPECT_EQ(windows("cut \xE2\x82"), "cut \uFFFD\uFFFD");
    EXPECT_EQ(windows("\xFF\xFE"), "\uFFFD\uFFFD");
    // Whatever the path, the result is one line of valid UTF-8 without a tab.
    for (const std::string& path : {std::string("a\0b", 3), std::string("\xED\xA0"), std::string("\xC2")}) {
        const std::string shown = windows(path);
        EXPECT_TRUE(IsValidUtf8(shown)) << shown;
        EXPECT_EQ(shown.find_first_of("\t\n\r"), std::string::npos);
    }
    // Linux keeps its escapes.
    EXPECT_EQ(ShownPath("/a\\b\n", PathShowing::Escaped), "/a\\\\b\\n");
    EXPECT_EQ(ShownPath("/a\\b"), kPathShowing == PathShowing::Escaped ? "/a\\\\b" : "/a\\b");
}

}  // namespace
}  // namespace korvax
