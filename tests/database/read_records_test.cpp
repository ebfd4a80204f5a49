#include <gtest/gtest.h>

#include "database/read_records.h"
#include "database/record_fields.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;

std::vector<std::size_t> ItemCounts(const VirusDatabase& base) {
    std::vector<std::size_t> counts;
    for (const VirusEntry& entry : base) counts.push_back(entry.itemCount());
    return counts;
}

TEST(ReadRecords, SplitsEntriesAtHeadRecordsOnly) {
    const VirusDatabase base = BaseFromSource(R"(
        entry "A"
        match at 0 pattern 4D 5A ?? ??
        var 1 position 4
        size cut 10
        entry "B"
        search rel 0 pattern "EVIL"
        entry "C"
        entry "D"
    )");
    EXPECT_EQ(ItemCounts(base), (std::vector<std::size_t>{8, 4, 2, 2}));
    EXPECT_EQ(DecodeHead(base[1].records[0].data).name, "B");
    EXPECT_EQ(base[0].records[3].type(), record_type::kSize);
}

TEST(ReadRecords, TheFirstRecordOpensTheFirstEntryWhateverItsType) {
    const VirusDatabase base = BaseFromSource(R"(
        match at 0 pattern 00 00 00 00
        raw 0x42 data
        entry "X"
    )");
    ASSERT_EQ(ItemCounts(base), (std::vector<std::size_t>{4, 2}));
    EXPECT_EQ(base[0].records[0].type(), record_type::kMatch);
    EXPECT_TRUE(base[0].records[1].data.empty());  // length 0: empty data, next header follows
}

TEST(ReadRecords, AnEmptyFileGivesOneEmptyEntry) {
    VirusDatabase base;
    ReadRecords({}, base);
    ASSERT_EQ(base.size(), 1U);
    EXPECT_TRUE(base[0].records.empty());
}

TEST(ReadRecords, UnreadHeaderBytesDoNotChangeWhatIsRead) {
    const VirusDatabase plain = BaseFromSource("entry \"N\"\nmatch at 3 pattern 01 02 03 04\n");
    const VirusDatabase noisy = BaseFromSource(
        "entry \"N\" header FF FF FF FF FF FF FF\nmatch at 3 pattern 01 02 03 04 header 01 02 03 04 05 06 07\n");
    ASSERT_EQ(ItemCounts(plain), ItemCounts(noisy));
    for (std::size_t i = 0; i < plain[0].records.size(); ++i) {
        EXPECT_EQ(plain[0].records[i].type(), noisy[0].records[i].type());
        EXPECT_EQ(plain[0].records[i].data, noisy[0].records[i].data);
    }
}

TEST(ReadRecords, ACutTailKeepsItsRecordWithTheMissingBytesReadingZero) {
    // The data stops after two of the 17 bytes the length promises: the record stays, the
    // buffer holds only what was there, and every field past it reads as 0.
    VirusDatabase base = BaseFromSource("entry \"T\"\nraw 0x00 length 17 data 02 00\n");
    ASSERT_EQ(ItemCounts(base), (std::vector<std::size_t>{4}));
    const Record& cut = base[0].records[1];
    EXPECT_EQ(cut.data.size(), 2U);
    const MatchFields fields = DecodeMatch(cut.data);
    EXPECT_EQ(fields.mode, 2);
    EXPECT_EQ(fields.offset, 0);
    EXPECT_EQ(fields.mask, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));

    base.clear();
    ReadRecords(AssembleSource("entry \"T\"\nbytes 05 01 02\n"), base);  // a header cut after 3 bytes
    ASSERT_EQ(base[0].records.size(), 2U);
    EXPECT_EQ(base[0].records[1].type(), 0x05);
    EXPECT_EQ(base[0].records[1].header.length(), 0);
}

TEST(ReadRecords, AHugeLengthNeverAllocatesMoreThanTheFileHolds) {
    VirusDatabase base;
    ReadRecords(AssembleSource("entry \"H\"\nraw 0x00 length 0x7FFFFFFF data 01 02 03\n"), base);
    ASSERT_EQ(base[0].records.size(), 2U);
    EXPECT_EQ(base[0].records[1].data.size(), 3U);
    EXPECT_EQ(base[0].records[1].header.length(), 0x7FFFFFFF);
}

TEST(ReadRecords, ANegativeLengthKeepsTheEntriesCompletedBeforeIt) {
    // Offsets: entry A is 12 + 214 bytes, its match 12 + 17; the bad record starts at 255.
    const Bytes file = AssembleSource(R"(
        entry "A"
        match at 0 pattern 00 00 00 00
        entry "B"
        raw 0x00 length -1
        bytes 01 02 03
    )");
    VirusDatabase base;
    try {
        ReadRecords(file, base);
        FAIL() << "no failure";
    } catch (const DatabaseFormatError& failure) {
        EXPECT_EQ(failure.offset(), 12 + 214 + 12 + 17 + 12 + 214);
        EXPECT_NE(std::string(failure.what()).find(std::to_string(failure.offset())), std::string::npos);
    }
    // A is complete; B, in progress when the bad length came, is dropped.
    ASSERT_EQ(ItemCounts(base), (std::vector<std::size_t>{4}));
    EXPECT_EQ(DecodeHead(base[0].records[0].data).name, "A");

    // A head record with a bad length still completes the entry before it: the split
    // comes before the data.
    base.clear();
    EXPECT_THROW(ReadRecords(AssembleSource("entry \"A\"\nraw 0xFF length -5\n"), base), DatabaseFormatError);
    EXPECT_EQ(ItemCounts(base), (std::vector<std::size_t>{2}));
}

TEST(ReadRecords, JoinedFilesReadAsTheirEntriesInOrder) {
    const Bytes first = AssembleSource("entry \"A\"\nmatch at 0 pattern 01 02 03 04\n");
    const Bytes second = AssembleSource("entry \"B\"\nentry \"C\"\n");
    Bytes joined = first;
    joined.insert(joined.end(), second.begin(), second.end());

    VirusDatabase apart;
    ReadRecords(first, apart);
    ReadRecords(second, apart);
    VirusDatabase together;
    ReadRecords(joined, together);
    EXPECT_EQ(apart, together);

    // A second file that does not begin with a head record joins the last entry of the
    // first when both are read as one file.
    const Bytes headless = AssembleSource("match at 0 pattern 01 02 03 04\n");
    joined = first;
    joined.insert(joined.end(), headless.begin(), headless.end());
    together.clear();
    ReadRecords(joined, together);
    EXPECT_EQ(ItemCounts(together), (std::vector<std::size_t>{6}));
}

TEST(LoadDatabase, AMissingFileFailsWithTheOpenMessageAndAddsNothing) {
    test::TempFolder folder;
    VirusDatabase base;
    const std::string path = folder.file("virbase.kvd");
    try {
        LoadDatabase(path, base);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot open file " + path);
    }
    EXPECT_TRUE(base.empty());
    EXPECT_THROW(LoadDatabase(folder.path().string(), base), Failure);  // a folder is not a database
}

}  // namespace
}  // namespace korvax
