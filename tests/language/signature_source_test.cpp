#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "language/signature_source.h"

namespace korvax {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One record as it must appear in the file: type, the seven unread bytes, the length, then
// the data. Written out by hand here so the tests do not share the assembler's encoder.
Bytes Record(std::uint8_t type, std::int32_t length, const Bytes& data, const Bytes& unread = Bytes(7, 0)) {
    Bytes bytes{type};
    bytes.insert(bytes.end(), unread.begin(), unread.end());
    const auto bits = static_cast<std::uint32_t>(length);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes Record(std::uint8_t type, const Bytes& data) { return Record(type, static_cast<std::int32_t>(data.size()), data); }

Bytes RoundTrip(const Bytes& file) { return AssembleSource(DisassembleDatabase(file), "<disassembly>"); }

// --- assembling -------------------------------------------------------------------------

TEST(Assemble, HeadRecordsHoldNameZerosAndSkipFlag) {
    Bytes data(214, 0);
    data[0] = 'A';
    data[1] = 'B';
    data[213] = 7;
    EXPECT_EQ(AssembleSource("entry \"AB\" skip 7 header 01 02 03 04 05 06 07"),
              Record(0xFF, 214, data, {1, 2, 3, 4, 5, 6, 7}));
    data[213] = 1;
    EXPECT_EQ(AssembleSource("  entry \"AB\" skip   # a comment \"with quotes\"\n"), Record(0xFF, data));

    // Names are bytes: UTF-8 stays UTF-8, escapes give any byte but zero.
    const Bytes cyrillic = AssembleSource("entry \"Вирус\\t\\x80\"");
    EXPECT_EQ(Bytes(cyrillic.begin() + 12, cyrillic.begin() + 24),
              (Bytes{0xD0, 0x92, 0xD0, 0xB8, 0xD1, 0x80, 0xD1, 0x83, 0xD1, 0x81, 0x09, 0x80}));
    EXPECT_EQ(cyrillic[24], 0);

    // 213 bytes fill the name field up to the skip flag; one more does not fit.
    EXPECT_EQ(AssembleSource("entry \"" + std::string(213, 'x') + "\"")[12 + 212], 'x');
    EXPECT_THROW(AssembleSource("entry \"" + std::string(214, 'x') + "\""), SourceError);
    EXPECT_THROW(AssembleSource("entry \"A\\0B\""), SourceError);
}

TEST(Assemble, ComparisonsWithWildcardsMasksAndSearchFlags) {
    // rel -4: mode 2, offset FC FF FF FF; a `??` is pattern 00 under mask 00.
    EXPECT_EQ(AssembleSource("match rel -4 pattern 4d ?? \"Z\" 00"),
              Record(0x00, {2, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF, 0, 0x4D, 0, 0x5A, 0, 0xFF, 0, 0xFF, 0xFF}));
    EXPECT_EQ(AssembleSource("search base 16 pattern \"EVIL\""),
              Record(0x00, {1, 0, 0, 0, 16, 0, 0, 0, 1, 'E', 'V', 'I', 'L', 0xFF, 0xFF, 0xFF, 0xFF}));
    // An explicit mask replaces the implied one, wildcards included; any order of clauses.
    EXPECT_EQ(AssembleSource("search mode 9 0xFFFFFFFF pattern 40 ?? 00 01 flag 0x80 mask F0 0F 00 \"a\""),
              Record(0x00, {9, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x40, 0, 0, 1, 0xF0, 0x0F, 0, 'a'}));
    EXPECT_EQ(AssembleSource("match at +7 pattern \"MZ\" ?? ??")[12 + 4], 7);
}

TEST(Assemble, GroupsVariablesAndCures) {
    EXPECT_EQ(AssembleSource("group mode 200 -1 count -2"),
              Record(0x01, {200, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}));

    EXPECT_EQ(AssembleSource("var 5 value u16"), Record(0x80, {5, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AssembleSource("var $6 position -2 captured 3"),
              Record(0x80, {6, 0, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}));
    EXPECT_EQ(AssembleSource("var 7 kind 9 width 4 offset 0x100"),
              Record(0x80, {7, 0, 0, 0, 9, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}));

    // Operand: value, mode, 3 unread bytes, variable. The same words mean different modes
    // by role: `$ID` is mode 1 as a length but mode 2 as a position or size.
    EXPECT_EQ(AssembleSource("copy $3 from base 8 to $4"),
              Record(0x04, {0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0,     // length: variable 3
                            8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,     // source: base + 8
                            0, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0}));  // destination: variable 4
    EXPECT_EQ(AssembleSource("copy toend from 10 to [var 9 mode 7 value -1]"),
              Record(0x04, {0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 9, 0, 0, 0}));
    EXPECT_EQ(AssembleSource("size cut 100"), Record(0x05, {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AssembleSource("size 300"), Record(0x05, {0x2C, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AssembleSource("size $2"), Record(0x05, {0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0}));
}

TEST(Assemble, RawRecordsAndLooseBytesAreWrittenAsGiven) {
    EXPECT_EQ(AssembleSource("raw 0x42 data \"ab\" 00 FF"), Record(0x42, {'a', 'b', 0, 0xFF}));
    EXPECT_EQ(AssembleSource("raw 66"), Record(0x42, {}));
    // An explicit length is kept even when the data disagrees: a cut or a bad record.
    EXPECT_EQ(AssembleSource("raw 0 length 17 data 02 00"), Record(0x00, 17, {2, 0}));
    EXPECT_EQ(AssembleSource("raw 0xFF length -5 header 00 00 00 00 00 00 09"),
              Record(0xFF, -5, {}, {0, 0, 0, 0, 0, 0, 9}));
    EXPECT_EQ(AssembleSource("bytes 01 \"\\\\\\\"\\n\"\nbytes\n"), (Bytes{1, '\\', '"', '\n'}));
}

TEST(Assemble, BlocksCountTheirMembers) {
    const Bytes blocks = AssembleSource(R"(
        entry "V"
        any at 0 {
          match rel 0 pattern ?? ?? ?? ??
          any rel 2 {               # one member of the outer block
            match rel 1 pattern ?? ?? ?? ??
            var 1 position
            raw 0x33
          }
          group at 0 count 2        # one member, bringing its two along
            match at 0 pattern ?? ?? ?? ??
            group at 0 count 1
              size 1
          any at 0 {
          }
        }
    )");
    const Bytes flat = AssembleSource(R"(
        entry "V"
        group at 0 count 4
          match rel 0 pattern ?? ?? ?? ??
          group rel 2 count 3
            match rel 1 pattern ?? ?? ?? ??
            var 1 position
            raw 0x33
          group at 0 count 2
            match at 0 pattern ?? ?? ?? ??
            group at 0 count 1
              size 1
          group at 0 count 0
    )");
    EXPECT_EQ(blocks, flat);
}

TEST(Assemble, ErrorsNameTheLineAndColumn) {
    struct Case {
        const char* source;
        int line;
        int column;
        const char* message;
    };
    const Case cases[] = {
        {"entry \"A\nmatch", 1, 7, "unterminated string"},
        {"\n  frob 1", 2, 3, "unknown keyword 'frob'"},
        {"match at 0 pattern 01 02 03", 1, 28, "needs 4 bytes, found 3"},
        {"match at 0 pattern 01 02 03 04 05", 1, 32, "exactly 4 bytes"},
        {"match at 0 pattern \"ABCDE\"", 1, 20, "exactly 4 bytes"},
        {"match at 0 pattern 1 2 3 4", 1, 20, "needs 4 bytes, found 0"},
        {"match at 0 pattern ?? ?? ?? ?? mask ?? 00 00 00", 1, 37, "'?\?' cannot stand in the mask"},
        {"match near 0 pattern ?? ?? ?? ??", 1, 7, "expected a position"},
        {"group at 2147483648 count 1", 1, 10, "out of range"},
        {"group at 0x100000000 count 1", 1, 10, "out of range"},
        {"group at -0x1 count 1", 1, 10, "no sign"},
        {"raw 256", 1, 5, "out of range for a byte"},
        {"raw 1 00", 1, 7, "expected 'length', 'data' or 'header'"},
        {"raw 1 data 0G", 1, 12, "two hex digits"},
        {"entry \"a\\q\"", 1, 9, "unknown escape"},
        {"entry \"a\\x4\"", 1, 9, "two hex digits"},
        {"search at 0 pattern \"EVIL\" flag 0", 1, 33, "must not be 0"},
        {"copy 1 from 2", 1, 14, "expected 'to'"},
        {"size [mode 1 mode 2]", 1, 14, "given twice"},
        {"size [mode 1", 1, 13, "']'"},
        {"var 1 value s64", 1, 13, "width"},
        {"var 1 value s8 header 00 00", 1, 28, "header bytes"},
        {"bytes 01 header 00 00 00 00 00 00 00", 1, 10, "no 'header'"},
        {"entry \"A\" extra", 1, 11, "unexpected 'extra'"},
        // Blocks: stray and unclosed braces, and what may not stand inside one.
        {"entry \"A\"\n}", 2, 1, "without an open 'any' block"},
        {"entry \"A\"\nany at 0 {\n  any at 0 {\n  }\n", 2, 10, "never closed"},
        {"any at 0 { match at 0 pattern ?? ?? ?? ??\n}", 1, 12, "unexpected"},
        {"any at 0\n", 1, 9, "expected '{'"},
        {"any at 0 {\ngroup at 0 count 2\nmatch at 0 pattern ?? ?? ?? ??\n}", 4, 1, "1 more member"},
        {"any at 0 {\nentry \"B\"\n}", 2, 1, "cannot stand inside"},
        {"any at 0 {\nbytes 00\n}", 2, 1, "cannot stand inside"},
        {"any at 0 {\n} extra", 2, 3, "unexpected"},
    };
    for (const Case& c : cases) {
        try {
            AssembleSource(c.source, "sig.src");
            ADD_FAILURE() << "no error for: " << c.source;
        } catch (const SourceError& error) {
            EXPECT_EQ(error.line(), c.line) << c.source;
            EXPECT_EQ(error.column(), c.column) << c.source << " -> " << error.what();
            const std::string what = error.what();
            const std::string place = "sig.src:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ";
            EXPECT_EQ(what.rfind(place, 0), 0U) << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.source << " -> " << what;
        }
    }
}

// --- disassembling ----------------------------------------------------------------------

TEST(Disassemble, PrintsTheReadableFormOfEachRecord) {
    const std::string source = R"(entry "Trojan.Test"
match at 0 pattern "MZ" ?? ??
search rel 0 pattern "EVIL" flag 3
any at 4 {
  match rel -2 pattern 4D 5A 90 00 mask FF FF F0 00
  any rel 2 {
    match mode 9 1000 pattern 01 02 03 04
  }
  size 1
}
var 1 position 4 captured 9
var 2 value s32
var 3 kind 0 width 1 offset 8
copy toend from $1 to base 16
copy $2 from [mode 3 value 1 var 2] to 0
size cut 100 header 00 00 00 00 00 00 01

entry "Вирус \"x\"\x01" skip 5
raw 0x42 data "future" 00
)";
    EXPECT_EQ(DisassembleDatabase(AssembleSource(source)), R"(entry "Trojan.Test"
match at 0 pattern 4D 5A ?? ??
search rel 0 pattern "EVIL" flag 3
group at 4 count 3
  match rel -2 pattern 4D 5A 90 00 mask FF FF F0 00
  group rel +2 count 1
    match mode 9 1000 pattern 01 02 03 04
  size 1
var 1 position 4 captured 9
var 2 value s32
var 3 kind 0 width 1 offset 8
copy toend from $1 to base 16
copy $2 from [mode 3 value 1 var 2] to 0
size cut 100 header 00 00 00 00 00 00 01

entry "Вирус \"x\"\x01" skip 5
raw 0x42 data "future" 00
)");
}

TEST(Disassemble, FallsBackToRawWhereTheReadableFormWouldLoseBytes) {
    // Each of these has something the readable line cannot say: garbage after the name,
    // nonzero unread field bytes, a known type with an unusual length.
    auto zeros = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += " 00";
        return text;
    };
    const std::string odd[] = {
        "raw 0xFF data \"A\" 00 \"junk\"" + zeros(214 - 6),   // garbage after the name
        "raw 0x00 data 00 01" + zeros(15),                         // an unread byte of a match
        "raw 0x04 data" + zeros(5) + " 09" + zeros(30),            // an unread byte of an operand
        "raw 0x80 data" + zeros(6) + " 01" + zeros(9),             // an unread byte of a variable
        "raw 0x05 data 00 00 00 00 02 00 00 00 05 00 00 00 FF",    // one byte too long
        "raw 0x01 data 01 00 00 00",                               // too short
    };
    for (const std::string& line : odd) {
        const Bytes file = AssembleSource(line);
        const std::string text = DisassembleDatabase(file);
        EXPECT_EQ(text.rfind("raw ", 0), 0U) << line << " -> " << text;
        EXPECT_EQ(AssembleSource(text), file) << text;
    }
}

TEST(Disassemble, DamagedFilesRoundTripWithTheirDamageShown) {
    struct Case {
        const char* source;
        const char* shown;
    };
    const Case cases[] = {
        {"entry \"A\"\nbytes FF 00 00", "\n# the file ends inside a record header\nbytes FF 00 00\n"},
        {"entry \"A\"\nraw 0x00 length 17 data 02 00", "# truncated record: length 17, 2 bytes present\nraw 0x00 length 17 data 02 00\n"},
        {"entry \"A\"\nraw 0x01 length 0x7FFFFFFF", "raw 0x01 length 2147483647\n"},
        {"entry \"A\"\nraw 0x00 length -1 header 01 00 00 00 00 00 00\nbytes 01 02 03",
         "# negative length: a reader stops here\nraw 0x00 length -1 header 01 00 00 00 00 00 00\nbytes 01 02 03\n"},
        {"group at 0 count 1\nbytes 05 06", "group at 0 count 1\n  # the file ends inside a record header\n  bytes 05 06\n"},
    };
    for (const Case& c : cases) {
        const Bytes file = AssembleSource(c.source);
        const std::string text = DisassembleDatabase(file);
        EXPECT_NE(text.find(c.shown), std::string::npos) << text;
        EXPECT_EQ(AssembleSource(text), file) << text;
    }
    EXPECT_EQ(DisassembleDatabase({}), "");
}

TEST(Disassemble, IndentationStopsGrowingInDeepNests) {
    std::string source = "entry \"Deep\"\n";
    for (int i = 0; i < 3000; ++i) source += "group rel 0 count 1\n";
    source += "match at 0 pattern ?? ?? ?? ??\n";
    const Bytes file = AssembleSource(source);
    const std::string text = DisassembleDatabase(file);
    EXPECT_LT(text.size(), 3001U * 60);  // not quadratic in the depth
    EXPECT_EQ(AssembleSource(text), file);
}

// --- the lossless round trip ------------------------------------------------------------

// Bytes that look like a database often enough to reach every readable form, and break
// the rules often enough to reach every fallback.
Bytes RandomDatabase(std::mt19937& random) {
    auto pick = [&](std::uint32_t n) { return random() % n; };
    Bytes file;
    const std::uint32_t records = pick(8);
    static constexpr std::uint8_t kTypes[] = {0xFF, 0x00, 0x01, 0x04, 0x05, 0x80, 0x00, 0x01, 0x42};
    static constexpr std::int32_t kSizes[] = {214, 17, 12, 36, 12, 16, 17, 12, 3};
    for (std::uint32_t r = 0; r < records; ++r) {
        const std::uint32_t kind = pick(9);
        std::int32_t length = kSizes[kind];
        if (pick(6) == 0) length = static_cast<std::int32_t>(pick(40));
        if (pick(40) == 0) length = -static_cast<std::int32_t>(pick(5)) - 1;
        Bytes unread(7, 0);
        if (pick(10) == 0) unread[pick(7)] = static_cast<std::uint8_t>(random());
        Bytes data(static_cast<std::size_t>(std::max(length, 0)), 0);
        for (auto& b : data) {
            const std::uint32_t roll = pick(8);
            b = roll < 4 ? 0 : roll < 5 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        if (kind == 0 && data.size() == 214) {  // a plausible name, zeros after it
            const std::uint32_t letters = pick(20);
            for (std::uint32_t i = 0; i < 213; ++i) data[i] = i < letters ? static_cast<std::uint8_t>('A' + pick(26)) : 0;
        }
        // Bytes no field uses are mostly zero, as a real database has them.
        static const std::vector<std::vector<int>> kUnread = {
            {}, {1, 2, 3}, {1, 2, 3}, {5, 6, 7, 17, 18, 19, 29, 30, 31}, {5, 6, 7}, {6, 7}, {1, 2, 3}, {1, 2, 3}, {}};
        for (const int at : kUnread[kind]) {
            if (static_cast<std::size_t>(at) < data.size() && pick(20) != 0) data[static_cast<std::size_t>(at)] = 0;
        }
        const Bytes record = Record(kTypes[kind], length, data, unread);
        file.insert(file.end(), record.begin(), record.end());
    }
    if (pick(3) == 0) file.resize(pick(static_cast<std::uint32_t>(file.size()) + 1));  // cut anywhere
    if (pick(5) == 0) {
        for (std::uint32_t i = pick(30); i > 0; --i) file.push_back(static_cast<std::uint8_t>(random()));
    }
    return file;
}

TEST(RoundTrip, AnyBytesAssembleBackFromTheirDisassembly) {
    std::mt19937 random(20240611);
    std::size_t readableLines = 0;
    std::set<std::string> formsSeen;
    for (int round = 0; round < 3000; ++round) {
        Bytes file;
        if (round % 3 == 0) {
            file.resize(random() % 80);
            for (auto& b : file) b = static_cast<std::uint8_t>(random());
        } else {
            file = RandomDatabase(random);
        }
        const std::string text = DisassembleDatabase(file);
        ASSERT_EQ(AssembleSource(text), file) << "round " << round << ":\n" << text;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            const std::size_t first = text.find_first_not_of(' ', start);
            if (first < end && text.compare(first, 4, "raw ") != 0 && text.compare(first, 5, "bytes") != 0 &&
                text[first] != '#') {
                ++readableLines;
                formsSeen.insert(text.substr(first, text.find(' ', first) - first));
            }
            start = end + 1;
        }
    }
    // The readable forms were really exercised, not only the fallbacks.
    EXPECT_GT(readableLines, 2000U);
    EXPECT_EQ(formsSeen, (std::set<std::string>{"entry", "match", "search", "group", "var", "copy", "size"}));
}

TEST(RoundTrip, MutationsOfAValidDatabase) {
    const Bytes valid = AssembleSource(R"(
        entry "Trojan.Test"
        match at 0 pattern "MZ" ?? ??
        search rel 0 pattern "EVIL"
        any at 4 {
          match rel 0 pattern 4D 5A 90 00 mask FF FF F0 00
          any rel 2 {
            match rel 18 pattern "EVIL"
          }
        }
        var 1 position 4
        var 2 value u16
        copy toend from $1 to base 16
        size $2
        entry "Second" skip
        raw 0x42 data "x"
    )");
    std::mt19937 random(77);
    for (int round = 0; round < 3000; ++round) {
        Bytes file = valid;
        for (std::uint32_t edits = 1 + random() % 4; edits > 0; --edits) {
            const std::size_t at = random() % (file.size() + 1);
            switch (random() % 4) {
                case 0:
                    if (at < file.size()) file[at] = static_cast<std::uint8_t>(random());
                    break;
                case 1:
                    if (at < file.size()) file[at] ^= static_cast<std::uint8_t>(1U << (random() % 8));
                    break;
                case 2:
                    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random()));
                    break;
                default:
                    file.resize(at);
                    break;
            }
        }
        const std::string text = DisassembleDatabase(file);
        ASSERT_EQ(AssembleSource(text), file) << "round " << round << ":\n" << text;
    }
    EXPECT_EQ(RoundTrip(valid), valid);
}

// --- the kvdtool subcommands --------------------------------------------------------------

}  // namespace
}  // namespace korvax
