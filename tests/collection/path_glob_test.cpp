#include <gtest/gtest.h>

#include <string>

#include "collection/path_glob.h"
#include "platform/file_name.h"

namespace korvax {
namespace {

TEST(GlobMatches, ShellPatternsOverWholePaths) {
    struct Case {
        const char* pattern;
        const char* path;
        bool matches;
    };
    const Case cases[] = {
        {"/srv/a.exe", "/srv/a.exe", true},      {"/srv/a.exe", "/srv/a.exe2", false},
        {"/srv/*.exe", "/srv/a.exe", true},      {"/srv/*.exe", "/srv/sub/a.exe", false},  // * stays in a folder
        {"/srv/**.exe", "/srv/sub/a.exe", true}, {"/srv/**/a.exe", "/srv/a.exe", true},     // ** may be no folder
        {"/srv/**/a.exe", "/srv/x/y/a.exe", true}, {"**/cache", "/home/u/cache", true},
        {"**/cache", "/home/u/cache/x", false},  {"**/cache/**", "/home/u/cache/x/y.exe", true},
        {"/srv/?.exe", "/srv/a.exe", true},      {"/srv/?.exe", "/srv/ab.exe", false},
        {"/srv/?", "/srv//", false},             {"/srv/[ab].exe", "/srv/b.exe", true},
        {"/srv/[!ab].exe", "/srv/b.exe", false}, {"/srv/[a-c]x", "/srv/bx", true},
        {"/srv/[a-c]x", "/srv/dx", false},       {"/srv/\\*", "/srv/*", true},
        {"/srv/\\*", "/srv/a", false},           {"/srv/[", "/srv/[", true},  // an unclosed set is a '['
        {"*.EXE", "A.exe", false},               {"", "", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GlobMatches(c.pattern, c.path, GlobStyle::Posix), c.matches) << c.pattern << " vs " << c.path;
    }
}

TEST(GlobMatches, KeepsTheMeaningOfEveryPatternOnTheCornerCases) {
    struct Case {
        const char* pattern;
        const char* path;
        bool matches;
    };
    const Case cases[] = {
        // "**/" may stand for no folder, but only where nothing was taken yet.
        {"a/**/b", "a/b", true},     {"a/**/b", "a//b", true},      {"a/**/b", "a/xb", false},
        {"a/**/b", "a/x/y/b", true}, {"**/", "", true},             {"**/", "/", true},
        {"**/**/b", "b", true},      {"**/**/b", "x/b", true},      {"**/**/b", "xb", false},
        // Stars pair off from the left: "***" is "**" then "*", and "****" is "**" twice.
        {"a/***/b", "a/b", false},   {"a/***/b", "a/x/y/b", true},  {"a/****/b", "a/b", true},
        {"a/****/b", "a/xb", true},  {"a/****/b", "a/x/y/b", true}, {"a/*****/b", "a/b", false},
        {"a/*****/b", "a/x/b", true}, {"a/******/b", "a/b", true},   {"a/******/b", "a/xb", true},
        {"a/*/b", "a//b", true},
        {"*", "", true},             {"*", "/", false},             {"**", "", true},
        {"**", "/x/y", true},        {"/x/**", "/x", false},        {"/x/**", "/x/", true},
        {"*a", "/a", false},         {"**a", "/x/a", true},         {"*?", "", false},
        {"*?*", "ab", true},         {"?*/", "a/", true},           {"*.exe*", "a.exe.exe", true},
        // Sets: a leading ']' is a member, '-' at either end too; escapes; never a '/'.
        {"[]]", "]", true},          {"[]a]", "a", true},           {"[!]]", "]", false},
        {"[!]]", "a", true},         {"[^a]", "b", true},           {"[a-]", "-", true},
        {"[-a]", "-", true},         {"[\\]]", "]", true},        {"[a\\-z]", "b", false},
        {"[a\\-z]", "-", true},    {"[z-a]", "m", false},         {"[/]", "/", false},
        {"[!a]", "/", false},        {"[]", "[]", true},            {"[!", "[!", true},
        {"[a-c][!x]?", "bya", true}, {"[a-c][!x]?", "bxa", false},
        // Escapes; a trailing backslash stands for itself; bytes, not characters.
        {"\\a", "a", true},        {"\\?", "a", false},         {"\\[a]", "[a]", true},
        {"a\\", "a\\", true},    {"\\*", "\\x", false},     {"?", "\xC3\xA9", false},
        {"??", "\xC3\xA9", true},  {"*.exe", "a.EXE", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GlobMatches(c.pattern, c.path, GlobStyle::Posix), c.matches) << c.pattern << " vs " << c.path;
    }
}

// Windows names: either separator on either side, no quoting backslash, letters in either
// case; the rest as above.
TEST(GlobMatches, WindowsPathsMatchAsWindowsNamesThem) {
    struct Case {
        const char* pattern;
        const char* path;
        bool matches;
    };
    const Case cases[] = {
        {"**\\cache", "C:\\Users\\u\\cache", true},      {"**/cache", "C:\\Users\\u\\cache", true},
        {"**\\cache", "C:/Users/u/cache", true},            {"**\\cache", "C:\\Users\\u\\cache\\x", false},
        {"C:\\srv\\*.exe", "c:\\SRV\\Setup.EXE", true},     {"C:\\srv\\*.exe", "C:\\srv\\sub\\a.exe", false},
        {"C:\\srv\\**\\a.exe", "C:\\srv\\a.exe", true},   {"C:\\srv\\**\\a.exe", "C:\\srv\\x\\y\\A.EXE", true},
        {"C:\\srv\\?.exe", "C:\\srv\\\\.exe", false},      {"C:\\srv\\[a-c]x", "C:\\srv\\BX", true},
        {"C:\\srv\\[!a-c]x", "C:\\srv\\BX", false},     {"C:\\srv\\[\\]x", "C:\\srv\\\\x", false},
        {"\\*", "\\x", true},                             {"*.exe", "a.EXE", true},
        {"\xC3\xA9*", "\xC3\x89", false},  // letters beyond ASCII keep their case
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GlobMatches(c.pattern, c.path, GlobStyle::Windows), c.matches) << c.pattern << " vs " << c.path;
    }
    // The system's own style: Windows' where a backslash separates folders.
    EXPECT_EQ(GlobMatches("*.exe", "a.EXE"), kPathSeparator == '\\');
}

TEST(GlobMatches, NoPatternTakesLongerThanItsSizeTimesThePathsSquared) {
    // A pattern that backtracks without end in a naive matcher.
    const std::string path(1000, 'a');
    EXPECT_FALSE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*b", path));
    EXPECT_FALSE(GlobMatches("**a**a**a**a**a**a**a**b", path));
    EXPECT_TRUE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*", path));

    // Far past what korvax-scan accepts, and deep enough to overflow a stack if the
    // matcher went one call deeper per star.
    const std::string stars(130000, '*');
    const std::string longest = "/" + std::string(1022, 'p') + "/";
    EXPECT_TRUE(GlobMatches(stars, longest));
    EXPECT_FALSE(GlobMatches(stars + "x", longest));
    std::string folders;
    for (int i = 0; i < 43000; ++i) folders += "**/";
    EXPECT_TRUE(GlobMatches(folders + "a.exe", "/srv/a.exe"));
    EXPECT_FALSE(GlobMatches(folders + "a.exe", "/srv/b.exe"));
}

}  // namespace
}  // namespace korvax
