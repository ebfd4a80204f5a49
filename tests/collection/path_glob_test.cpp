#include <gtest/gtest.h>

#include <string>

#include "collection/path_glob.h"

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
    for (const Case& c : cases) EXPECT_EQ(GlobMatches(c.pattern, c.path), c.matches) << c.pattern << " vs " << c.path;
}

TEST(GlobMatches, NoPatternTakesLongerThanItsSizeTimesThePathsSquared) {
    // A pattern that backtracks without end in a naive matcher.
    const std::string path(1000, 'a');
    EXPECT_FALSE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*b", path));
    EXPECT_FALSE(GlobMatches("**a**a**a**a**a**a**a**b", path));
    EXPECT_TRUE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*", path));
}

}  // namespace
}  // namespace korvax
