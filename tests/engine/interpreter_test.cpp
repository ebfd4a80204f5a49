#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdio>

#include "engine/plan_pass.h"
#include "engine/scan_plan.h"
#include "engine/signature_interpreter.h"
#include "platform/failure.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;
using test::BytesOf;

// One image scanned by one interpreter, pass after pass, as a worker does it. Every
// ScanFile test runs twice: with the literal interpreter, and with the fast pass over the
// database's compiled plan, which must behave the same in every corner.
template <class Pass>
struct Scanner {
    explicit Scanner(Bytes file) : image(std::move(file)), interpreter(image) {}

    ResultCode pass(const VirusDatabase& base) {
        if constexpr (std::is_same_v<Pass, PlanPass>) {
            interpreter.ScanFile(ScanPlan(base));
        } else {
            interpreter.ScanFile(base);
        }
        return interpreter.resultCode();
    }
    Bytes bytes() const { return Bytes(image.bytes().begin(), image.bytes().end()); }

    FileImage image;
    Pass interpreter;
};

template <class Pass>
ResultCode ScanOnce(std::string_view source, const Bytes& file) {
    Scanner<Pass> scanner(file);
    return scanner.pass(BaseFromSource(source));
}

template <class Pass>
class ScanFile : public ::testing::Test {};
using Passes = ::testing::Types<SignatureInterpreter, PlanPass>;
TYPED_TEST_SUITE(ScanFile, Passes);

// 32 bytes: "MZ" header, the marker "EVIL" at 8 and again at 20, dots elsewhere.
Bytes Sample() {
    using namespace std::literals;
    return BytesOf("MZ\x90\x00....EVIL........EVIL........"sv);
}

// Runs `body` on a thread with a 256 KiB stack, far less than a recursive walk of
// thousands of nested groups would need.
template <typename Body>
void RunWithSmallStack(Body body) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread;
    auto trampoline = [](void* argument) -> void* {
        (*static_cast<Body*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, trampoline, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TYPED_TEST(ScanFile, OutcomeFollowsTheFirstMatchingEntryInDatabaseOrder) {
    Scanner<TypeParam> scanner(Sample());
    scanner.interpreter.setTexts("previous", "texts");

    // All entries skipped: nothing matched, the texts of the last result stay.
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"Skipped\" skip\nentry \"Also\" skip 7\n")), ResultCode::Clean);
    EXPECT_EQ(scanner.interpreter.statusText(), "previous");
    EXPECT_EQ(scanner.interpreter.actionText(), "texts");

    // An entry with only its head matches every file; the first matching entry wins.
    EXPECT_EQ(scanner.pass(BaseFromSource(R"(
        entry "Wrong.Header"
        match at 0 pattern 50 4B ?? ??
        entry "Skipped" skip
        entry "First"
        match at 0 pattern 4D 5A ?? ??
        entry "Second"
    )")),
              ResultCode::Detected);
    EXPECT_EQ(scanner.interpreter.statusText(), "First");
    EXPECT_EQ(scanner.interpreter.actionText(), kSkippedText);
}

TYPED_TEST(ScanFile, AFailedFirstInstructionOfAnyKindEndsTheEntry) {
    for (const char* first : {"match at 0 pattern 00 00 00 00", "search at 0 pattern 01 02 03 04",
                              "group at 0 count 0", "any at 0 {\nmatch at 1 pattern 11 11 11 11\n}"}) {
        EXPECT_EQ(ScanOnce<TypeParam>(std::string("entry \"V\"\n") + first + "\n", Sample()), ResultCode::Clean) << first;
    }
}

TYPED_TEST(ScanFile, PositionModesOfAComparison) {
    const Bytes file = Sample();
    // Mode 0: the offset; mode 1: the start of the file, whatever the offset says.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 8 pattern \"EVIL\"\n", file), ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch base 8 pattern \"MZ\" ?? ??\n", file), ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch base 8 pattern \"EVIL\"\n", file), ResultCode::Clean);
    // Mode 2: after a comparison that read at 8, offset 12 tests bytes 20..23.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 8 pattern \"EVIL\"\nmatch rel 12 pattern \"EVIL\"\n", file),
              ResultCode::Detected);
    // Any other mode tests where the stream stands: just after the last four bytes read.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 4 pattern \"....\"\nmatch mode 9 1000 pattern \"EVIL\"\n", file),
              ResultCode::Detected);
}

TYPED_TEST(ScanFile, MasksAndWindowsThatRunPastTheEnd) {
    const Bytes file = BytesOf("AB");
    // Missing bytes compare as 0.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 0 pattern 41 42 00 00\n", file), ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 1 pattern 42 00 00 00\n", file), ResultCode::Detected);
    // Positions outside the file read nothing: four zero bytes.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at -3 pattern 00 00 00 00\n", file), ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 2 pattern ?? ?? ?? 00\n", file), ResultCode::Detected);
    // Masks select bits; a pattern bit outside its mask can never match.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 0 pattern 40 02 00 00 mask F0 0F 00 00\n", file), ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 0 pattern 41 00 00 01 mask FF 00 00 00\n", file), ResultCode::Clean);
}

TYPED_TEST(ScanFile, ASearchDoesNotMoveTheMatchPosition) {
    const Bytes file = Sample();
    // The search finds EVIL at 8, but a following mode-2 record is still placed from the
    // last comparison (at 0): bytes 20..23 are offset 20 from 0, not from 8.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 0 pattern \"MZ\" ?? ??\nsearch rel 0 pattern \"EVIL\"\n"
                       "match rel 20 pattern \"EVIL\"\n",
                       file),
              ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nsearch rel 0 pattern \"EVIL\"\nmatch rel 12 pattern \"EVIL\"\n", file),
              ResultCode::Clean);
    // A mode-2 search starts at the match position and ignores its offset.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nmatch at 8 pattern \"EVIL\"\nsearch rel 100 pattern \"EVIL\"\n", file),
              ResultCode::Detected);
}

TYPED_TEST(ScanFile, ASearchStartsWhereTheStreamStands) {
    Scanner<TypeParam> scanner(Sample());
    // Just after the last comparison's four bytes: the marker at 8 lies behind, the one
    // at 20 ahead. The search leaves the stream one byte after the window that matched.
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nmatch at 9 pattern ?? ?? ?? ??\nsearch at 0 pattern \"EVIL\"\n")),
              ResultCode::Detected);
    EXPECT_EQ(scanner.image.position(), 21);

    // Not found: the stream ends at the file size.
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nsearch at 0 pattern \"GOOD\"\n")), ResultCode::Clean);
    EXPECT_EQ(scanner.image.position(), 32);

    // The position carries over from entry to entry: the first entry's failed comparison
    // at 28 leaves the stream at 32, so the second entry's search finds nothing.
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"A\"\nmatch at 28 pattern 00 00 00 00\n"
                                          "entry \"B\"\nsearch at 0 pattern \"EVIL\"\n")),
              ResultCode::Clean);
}

TYPED_TEST(ScanFile, ThePositionCarriesOverBetweenPasses) {
    // A freshly loaded file starts at 0; a second pass starts where the first left off,
    // so a search that found the only marker does not find it again.
    Bytes file = BytesOf("xxEVILxxxxxxxxxx");
    Scanner<TypeParam> scanner(file);
    const VirusDatabase base = BaseFromSource("entry \"V\"\nsearch at 0 pattern \"EVIL\"\n");
    EXPECT_EQ(scanner.pass(base), ResultCode::Detected);
    EXPECT_EQ(scanner.image.position(), 3);
    EXPECT_EQ(scanner.pass(base), ResultCode::Clean);
}

TYPED_TEST(ScanFile, SearchesFromOutsideTheFile) {
    // Below 0 every window is four zero bytes: a zero pattern is found at once ...
    Scanner<TypeParam> scanner(BytesOf("abcd"));
    scanner.image.seek(-1000000);
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nsearch at 0 pattern 00 00 00 00\n")), ResultCode::Detected);
    EXPECT_EQ(scanner.image.position(), -999999);
    // ... any other pattern is looked for from 0 on.
    scanner.image.seek(INT32_MIN);
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nsearch at 0 pattern 62 63 64 ??\n")), ResultCode::Detected);
    EXPECT_EQ(scanner.image.position(), 2);
    // Begun at or past the end: nothing is tried and the stream stays.
    scanner.image.seek(70);
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nsearch at 0 pattern 00 00 00 00\n")), ResultCode::Clean);
    EXPECT_EQ(scanner.image.position(), 70);
    // The last windows run past the end, padded with zeros.
    scanner.image.seek(0);
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nsearch at 0 pattern 64 00 00 00\n")), ResultCode::Detected);
    EXPECT_EQ(scanner.image.position(), 4);
}

TYPED_TEST(ScanFile, SearchAgreesWithTryingEveryPosition) {
    // The fast search against the plain definition, over many masks and files.
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0xFF; };
    for (int round = 0; round < 400; ++round) {
        Bytes file(next() % 40);
        for (auto& b : file) b = static_cast<std::uint8_t>(next() % 4);
        std::array<std::uint8_t, 4> pattern{}, mask{};
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t choice = static_cast<std::uint8_t>(next() % 3);
            mask[static_cast<std::size_t>(i)] = choice == 0 ? 0x00 : choice == 1 ? 0xFF : 0x03;
            pattern[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(next() % 4) & mask[static_cast<std::size_t>(i)];
        }
        const std::int32_t start = static_cast<std::int32_t>(next() % 50) - 5;

        std::int32_t expected = start;
        bool found = false;
        FileImage reference{Bytes(file)};
        const auto size = static_cast<std::int32_t>(file.size());
        for (std::int32_t p = start; p < size && !found; ++p) {
            reference.seek(p);
            std::uint8_t window[4] = {0, 0, 0, 0};
            reference.read(window, 4);
            found = true;
            for (std::size_t i = 0; i < 4; ++i) found = found && (window[i] & mask[i]) == pattern[i];
            expected = p + 1;
        }

        char line[160];
        std::snprintf(line, sizeof line, "entry \"V\"\nsearch at 0 pattern %02X %02X %02X %02X mask %02X %02X %02X %02X\n",
                      pattern[0], pattern[1], pattern[2], pattern[3], mask[0], mask[1], mask[2], mask[3]);
        Scanner<TypeParam> scanner(file);
        scanner.image.seek(start);
        EXPECT_EQ(scanner.pass(BaseFromSource(line)) == ResultCode::Detected, found) << line << " from " << start;
        EXPECT_EQ(scanner.image.position(), expected) << line << " from " << start;
    }
}

TYPED_TEST(ScanFile, AGroupHoldsWhenAnyMemberHoldsAndEvaluatesThemAll) {
    const Bytes file = Sample();
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nany at 0 {\nmatch rel 1 pattern \"NOPE\"\nmatch rel 8 pattern \"EVIL\"\n}\n", file),
              ResultCode::Detected);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nany at 0 {\nmatch rel 1 pattern \"NOPE\"\nmatch rel 2 pattern \"NOPE\"\n}\n"
                       "entry \"Later\"\nmatch at 8 pattern \"EVIL\"\n",
                       file),
              ResultCode::Detected);  // the first entry failed, so the second is reported
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\ngroup at 0 count 0\n", file), ResultCode::Clean);
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\ngroup at 0 count -3\n", file), ResultCode::Clean);
}

TYPED_TEST(ScanFile, AGroupLeavesTheFurthestPositionAnyMemberLeft) {
    const Bytes file = Sample();
    // Members start from the group's position (4). The failed member at rel 16 read at 20,
    // the matching one at 4: the group leaves 20, so rel 0 afterwards tests bytes 20..23.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nany at 4 {\nmatch rel 0 pattern \"....\"\nmatch rel 16 pattern \"XXXX\"\n}\n"
                       "match rel 0 pattern \"EVIL\"\n",
                       file),
              ResultCode::Detected);
    // A nested group counts as one member and brings its members along; the outer group's
    // position is the furthest of everything inside.
    EXPECT_EQ(ScanOnce<TypeParam>("entry \"V\"\nany at 0 {\n  any rel 2 {\n    match rel 18 pattern \"EVIL\"\n  }\n"
                       "  match rel 0 pattern \"MZ\" ?? ??\n}\nmatch rel 0 pattern \"EVIL\"\n",
                       file),
              ResultCode::Detected);
    // A variable after the group captures the group's position: 20 + 1 = 21 is where the
    // size change cuts the file.
    Scanner<TypeParam> scanner(file);
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nany at 4 {\nmatch rel 0 pattern \"....\"\n"
                                          "match rel 16 pattern \"XXXX\"\n}\nvar 1 position 1\nsize $1\n")),
              ResultCode::Cured);
    EXPECT_EQ(scanner.image.size(), 21);
}

TYPED_TEST(ScanFile, GroupMembersOfOtherTypesHoldAndAreNotCollected) {
    Scanner<TypeParam> scanner(Sample());
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nany at 0 {\nsize 4\nvar 1 position\n}\n")),
              ResultCode::Detected);  // no cure was collected, so nothing was cured
    EXPECT_EQ(scanner.image.size(), 32);
}

TYPED_TEST(ScanFile, BrokenEntriesFailThePass) {
    Scanner<TypeParam> scanner(Sample());
    // An empty database file gives one entry without records.
    VirusDatabase empty(1);
    try {
        scanner.pass(empty);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "List index out of bounds (1)");
    }
    // A group whose members run past the end of its entry fails at the first missing one.
    EXPECT_THROW(scanner.pass(BaseFromSource("entry \"V\"\ngroup at 0 count 3\nmatch at 0 pattern ?? ?? ?? ??\n"
                                             "entry \"W\"\n")),
                 Failure);
}

std::string NestedGroups(int depth) {
    std::string source = "entry \"Deep\"\n";
    for (int i = 0; i < depth; ++i) source += "group rel 0 count 1\n";
    source += "match at 0 pattern \"MZ\" ?? ??\n";
    return source;
}

TYPED_TEST(ScanFile, GroupsNestTenThousandDeepAndNoDeeper) {
    const VirusDatabase deepest = BaseFromSource(NestedGroups(kMaxGroupDepth));
    const VirusDatabase tooDeep = BaseFromSource(NestedGroups(kMaxGroupDepth + 1));
    RunWithSmallStack([&] {
        Scanner<TypeParam> scanner(Sample());
        EXPECT_EQ(scanner.pass(deepest), ResultCode::Detected);
        EXPECT_THROW(scanner.pass(tooDeep), Failure);
    });
}

TEST(ReadVariable, KindsWidthsAndTheLastVariableWithAnId) {
    // Variables are read directly here: kind 0 reads where the stream stands.
    const VirusDatabase base = BaseFromSource(R"(
        entry "V"
        var 1 value s8
        var 2 value u16
        var 3 value s32
        var 4 position 8
        var 5 kind 0 width 3
        var 6 kind 7 width 0
        var 7 value s8
        var 7 position -2
    )");
    std::vector<ScanVariable> variables;
    for (std::size_t i = 1; i < base[0].records.size(); ++i) variables.push_back({&base[0].records[i], 100});

    FileImage image(Bytes{0xFE, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x80});
    EXPECT_EQ(ReadVariable(variables, image, 1), -2);      // signed 8-bit
    EXPECT_EQ(ReadVariable(variables, image, 2), 0xFFFF);  // unsigned 16-bit
    EXPECT_EQ(image.position(), 3);
    EXPECT_EQ(ReadVariable(variables, image, 3), static_cast<std::int32_t>(0x80030201));  // signed 32-bit
    EXPECT_EQ(image.position(), 7);
    EXPECT_EQ(ReadVariable(variables, image, 3), 0);  // nothing left to read
    EXPECT_EQ(image.position(), 7);
    image.seek(5);
    EXPECT_EQ(ReadVariable(variables, image, 3), 0x8003);  // two bytes left, the rest 0
    EXPECT_EQ(image.position(), 7);
    EXPECT_EQ(ReadVariable(variables, image, 4), 108);
    EXPECT_EQ(ReadVariable(variables, image, 5), 0);  // an unknown width reads nothing
    EXPECT_EQ(ReadVariable(variables, image, 6), 0);
    EXPECT_EQ(ReadVariable(variables, image, 99), 0);  // no such variable
    image.seek(0);
    EXPECT_EQ(ReadVariable(variables, image, 7), 98);  // the last one wins ...
    EXPECT_EQ(image.position(), 1);                    // ... but the earlier one still read

    std::vector<ScanVariable> wrapping{{&base[0].records[4], INT32_MAX}};
    EXPECT_EQ(ReadVariable(wrapping, image, 4), INT32_MIN + 7);
}

TYPED_TEST(ScanFile, VariablesCaptureTheMatchPositionWhereTheyStand) {
    // Before any comparison a variable captures 0; after the comparison at 8, variable 2
    // with offset 8 is 16. The copy moves "MZ" from 0 to 16.
    Scanner<TypeParam> scanner(Sample());
    EXPECT_EQ(scanner.pass(BaseFromSource("entry \"V\"\nvar 1 position 0\nmatch at 8 pattern \"EVIL\"\n"
                                          "var 2 position 8\ncopy 2 from $1 to $2\n")),
              ResultCode::Cured);
    EXPECT_EQ(scanner.bytes()[16], 'M');
    EXPECT_EQ(scanner.bytes()[17], 'Z');
    EXPECT_EQ(scanner.image.position(), 18);  // a copy leaves the stream after the block
}

}  // namespace
}  // namespace korvax
