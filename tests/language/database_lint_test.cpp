#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "language/database_lint.h"
#include "language/signature_source.h"

namespace korvax {
namespace {

// Sizes of whole records (header + data), for the offsets findings name.
constexpr int kHead = 12 + 214;
constexpr int kGroup = 12 + 12;
constexpr int kVar = 12 + 16;
constexpr int kCopy = 12 + 36;

std::vector<std::string> Findings(std::span<const std::uint8_t> file) {
    std::vector<std::string> lines;
    for (const LintFinding& finding : VerifyDatabase(file)) lines.push_back(FormatFinding(finding));
    return lines;
}

std::vector<std::string> Findings(std::string_view source) { return Findings(AssembleSource(source)); }

// Whether `lines` holds exactly one line starting with `prefix` and containing `text`.
::testing::AssertionResult HasFinding(const std::vector<std::string>& lines, const std::string& prefix,
                                      const std::string& text) {
    int hits = 0;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0 && line.find(text) != std::string::npos) ++hits;
    }
    if (hits == 1) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << hits << " findings '" << prefix << "..." << text << "' in:";
    for (const std::string& line : lines) failure << "\n  " << line;
    return failure;
}

TEST(VerifyDatabase, ACleanDatabaseHasNoFindings) {
    EXPECT_EQ(Findings(R"(
        entry "Clean.One"
        match at 0 pattern "MZ" ?? ??
        search mode 7 0 pattern "EVIL"        # a search's mode only matters when it is 2
        any rel 2 {
          match rel 0 pattern ?? ?? ?? ??
          any rel 1 {
            match rel 0 pattern "ABCD"
          }
        }
        copy $1 from $2 to base 0             # variables may come after the cure that uses them
        size $3
        var 1 value s8
        var 2 position
        var 3 kind 1 width 7                  # the width of a position does not matter
        entry "Clean.Two" skip
    )"),
              std::vector<std::string>{});
}

TEST(VerifyDatabase, DamagedFiles) {
    EXPECT_EQ(Findings(std::span<const std::uint8_t>{}),
              std::vector<std::string>{"0: error: the file is empty: it reads as one entry without records, and "
                                       "every scan fails with a read error"});

    const std::string head = "entry \"A\"\n";
    EXPECT_EQ(Findings(head + "bytes 00 01 02"),
              std::vector<std::string>{std::to_string(kHead) + ": error: the file ends inside a record header: 3 of 12 bytes"});
    EXPECT_TRUE(HasFinding(Findings(head + "raw 0x00 length 17 data 02 00"), std::to_string(kHead) + ": error:",
                           "length 17 but only 2 bytes left"));
    EXPECT_TRUE(HasFinding(Findings(head + "raw 0x42 length 0x7FFFFFFF data 01"), std::to_string(kHead) + ": error:",
                           "length 2147483647 but only 1 byte left"));

    // A negative length ends the reading and drops the entry in progress: nothing after it,
    // not even the headless record or the bad cure before it, is reported.
    const std::vector<std::string> negative =
        Findings(head + "entry \"B\"\ncopy 1 from $9 to 0\nraw 0x00 length -3\nbytes 01 02");
    EXPECT_EQ(negative, std::vector<std::string>{std::to_string(2 * kHead + kCopy) +
                                                 ": error: negative length -3: reading stops here; the entry it "
                                                 "belongs to (from offset 226) is dropped; the 2 bytes after it are "
                                                 "never read"});
    // A head with a negative length still completes the entry before it, which is checked.
    EXPECT_EQ(Findings(head + "copy 1 from $9 to 0\nraw 0xFF length -1"),
              (std::vector<std::string>{
                  "226: error: copy source names variable $9, which no variable of this entry collects: it reads as 0",
                  std::to_string(kHead + kCopy) + ": error: negative length -1: reading stops here"}));
}

TEST(VerifyDatabase, EntriesAndRecordShapes) {
    // The first record of a file opens the first entry whatever its type.
    EXPECT_TRUE(HasFinding(Findings("match at 0 pattern ?? ?? ?? ??\nentry \"A\""), "0: error:",
                           "does not begin with a head record (type 0x00)"));

    // A head record that is too short is still a head.
    EXPECT_EQ(Findings("entry \"A\"\nraw 0xFF data \"B\" 00"),
              std::vector<std::string>{std::to_string(kHead) +
                                       ": error: head record is 2 bytes long, shorter than the 214 bytes of its fields "
                                       "(the missing ones read as 0)"});
}

TEST(VerifyDatabase, ShortRecordsAreNamedAtTheirOffsets) {
    const std::vector<std::string> shorts = Findings(R"(
        entry "A"
        raw 0x00 length 16 data 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
        raw 0x01 data 00 00 00 00 00 00 00 00 01
        raw 0x80 length 0
        raw 0x04 length 0
        raw 0x05 data 00
    )");
    const int match = kHead;
    const int group = match + 12 + 16;
    const int variable = group + 12 + 9;
    const int copy = variable + 12;
    const int size = copy + 12;
    const std::string tail = " (the missing ones read as 0)";
    EXPECT_EQ(shorts, (std::vector<std::string>{
                          std::to_string(match) + ": error: match record is 16 bytes long, shorter than the 17 bytes of its fields" + tail,
                          std::to_string(group) + ": error: group record is 9 bytes long, shorter than the 12 bytes of its fields" + tail,
                          std::to_string(variable) + ": error: variable record is 0 bytes long, shorter than the 16 bytes of its fields" + tail,
                          // The short group's count still reads 1 (its missing bytes are 0):
                          // it takes the variable as its member.
                          std::to_string(variable) + ": warning: a variable inside a group is never collected",
                          std::to_string(copy) + ": error: copy record is 0 bytes long, shorter than the 36 bytes of its fields" + tail,
                          std::to_string(size) + ": error: size record is 1 byte long, shorter than the 12 bytes of its fields" + tail,
                      }));
}

TEST(VerifyDatabase, LongNamesAndUnknownTypesAreWarnings) {
    const std::string name(120, 'N');
    const std::vector<std::string> lines = Findings("entry \"" + name + "\"\nraw 0x42 data 01\n");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "0: warning: the name is 120 bytes long; reports show only the first 99: \"" +
                             std::string(99, 'N') + "\"",
                         std::to_string(kHead) + ": warning: unknown record type 0x42: the scanner passes over it",
                     }));
}

TEST(VerifyDatabase, Groups) {
    // The inner group needs one more record and so does the outer one: one error, at the
    // outermost group the scan evaluates, counting every missing record.
    const std::vector<std::string> past = Findings(R"(
        entry "A"
        group at 0 count 3
          match at 0 pattern ?? ?? ?? ??
          group rel 0 count 2
            match at 0 pattern ?? ?? ?? ??
        entry "B"
    )");
    EXPECT_EQ(past, std::vector<std::string>{std::to_string(kHead) +
                                             ": error: the group's members run past the end of its entry: 2 more "
                                             "records needed; the scan fails when it gets there"});

    const std::vector<std::string> odd = Findings(R"(
        entry "A"
        group mode 3 0 count 0
        group at 0 count -1
        match mode 255 0 pattern ?? ?? ?? ??
        search mode 255 0 pattern ?? ?? ?? ??
    )");
    EXPECT_EQ(odd, (std::vector<std::string>{
                       "226: warning: group count 0 is not above 0: the group never holds",
                       "226: warning: group mode 3 is not 0-2: its members start wherever the stream stands",
                       "250: warning: group count -1 is not above 0: the group never holds",
                       "274: warning: match mode 255 is not 0-2: the comparison is made wherever the stream stands",
                   }));
}

TEST(VerifyDatabase, GroupsNestedTooDeepAreReportedOnce) {
    auto nested = [](int depth) {
        std::string source = "entry \"Deep\"\n";
        for (int i = 0; i < depth; ++i) source += "group rel 0 count 1\n";
        return source + "match at 0 pattern ?? ?? ?? ??\n";
    };
    EXPECT_EQ(Findings(nested(10000)), std::vector<std::string>{});
    EXPECT_EQ(Findings(nested(10003)),
              std::vector<std::string>{std::to_string(kHead + 10000 * kGroup) +
                                       ": error: groups nest more than 10000 levels deep here: the scan fails when it "
                                       "gets here"});
}

TEST(VerifyDatabase, CuresAndTheVariablesTheyUse) {
    const std::vector<std::string> lines = Findings(R"(
        entry "A"
        any at 0 {
          var 2 position
          size cut 1
        }
        copy $1 from $2 to $3
        copy [mode 3] from [mode 4] to [mode 5]
        size $4
        size [mode 9]
        copy toend from 0 to base 0
        var 1 kind 2 width 0
        var 5 value s8
        var 4 kind 0 width 3
    )");
    const int group = kHead;
    const int copy1 = group + kGroup + kVar + 24;
    const int copy2 = copy1 + kCopy;
    const int size1 = copy2 + kCopy;
    const int size2 = size1 + 24;
    const int var1 = size2 + 24 + kCopy;
    EXPECT_EQ(lines, (std::vector<std::string>{
                         std::to_string(group + kGroup) + ": warning: a variable inside a group is never collected",
                         std::to_string(group + kGroup + kVar) + ": warning: a cure inside a group is never applied",
                         // Variable 2 is only inside the group; 3 does not exist at all.
                         std::to_string(copy1) + ": error: copy source names variable $2, which no variable of this "
                                                 "entry collects: it reads as 0",
                         std::to_string(copy1) + ": error: copy destination names variable $3, which no variable "
                                                 "of this entry collects: it reads as 0",
                         std::to_string(copy2) + ": error: copy length operand mode 3 is outside 0-2: the cure fails",
                         std::to_string(copy2) + ": error: copy source operand mode 4 is outside 0-2: the cure fails",
                         std::to_string(copy2) +
                             ": error: copy destination operand mode 5 is outside 0-2: the cure fails",
                         std::to_string(size2) + ": error: new size operand mode 9 is outside 0-2: the cure fails",
                         std::to_string(var1) + ": warning: variable kind 2 is neither 0 nor 1: its value is always 0",
                         std::to_string(var1 + 2 * kVar) +
                             ": warning: variable width 3 is not 0-2: its value is always 0",
                     }));
}

}  // namespace
}  // namespace korvax
