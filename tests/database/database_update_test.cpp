// The update against the database file it is appended to: a damaged one is refused, and
// whatever is written reads back at the next start with every entry of both files.
#include <gtest/gtest.h>

#include "database/database_update.h"
#include "database/read_records.h"
#include "language/signature_source.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;

const char kBase[] = R"(
entry "Old.One"
search rel 0 pattern "OLD1"
entry "Dropper"
search rel 0 pattern "DROP"
)";
const char kUpdate[] = R"(
entry "New.One"
match at 0 pattern "NEW1"
entry "New.Two"
match at 0 pattern "NEW2"
)";

VirusDatabase EntriesOf(const Bytes& bytes) {
    VirusDatabase entries;
    ReadRecords(bytes, entries);
    return entries;
}

Bytes Joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(UpdateDatabase, OntoADatabaseThatDoesNotEndAtARecordsEndIsRefusedAndChangesNothing) {
    const Bytes base = AssembleSource(kBase);
    const Bytes update = AssembleSource(kUpdate);
    const struct {
        const char* what;
        Bytes bytes;
        const char* says;
    } damaged[] = {
        {"cut inside the data", Joined(base, AssembleSource("raw 0 length 17 data 02 00")), "обрывается внутри записи"},
        {"cut inside a header", Joined(base, {0x00, 0x01, 0x02}), "обрывается внутри записи"},
        {"a negative length", Joined(base, AssembleSource("raw 0 length -1")), "отрицательная длина записи"},
    };
    for (const auto& [what, bytes, says] : damaged) {
        test::TempFolder folder;
        const std::string path = folder.write("virbase.kvd", bytes);
        const std::string updatePath = folder.write("update.kvd", update);
        VirusDatabase memory;
        ReadRecords(base, memory);
        try {
            UpdateDatabase(updatePath, path, memory, false);
            ADD_FAILURE() << what << ": accepted";
        } catch (const UpdateRefused& refused) {
            const std::string message = refused.what();
            EXPECT_NE(message.find("Файл базы повреждён (" + std::string(says)), std::string::npos) << what << message;
            EXPECT_NE(message.find(path), std::string::npos) << what << message;
            EXPECT_NE(message.find("(запись по смещению " + std::to_string(base.size()) + ")"), std::string::npos)
                << what << message;
        }
        EXPECT_EQ(ReadBytes(path), bytes) << what;
        EXPECT_EQ(memory, EntriesOf(base)) << what;
    }
}

TEST(UpdateDatabase, TheJoinedFileReadsBackWithEveryEntryOfBothParts) {
    const Bytes update = AssembleSource(kUpdate);
    // An empty database file and one that begins without a head record are whole too.
    const Bytes headless = AssembleSource("match at 0 pattern 01 02 03 04\n" + std::string(kBase));
    for (const Bytes& base : {AssembleSource(kBase), Bytes{}, headless}) {
        test::TempFolder folder;
        const std::string path = folder.write("virbase.kvd", base);
        VirusDatabase memory;
        UpdateDatabase(folder.write("update.kvd", update), path, memory, false);
        EXPECT_EQ(ReadBytes(path), Joined(base, update));
        VirusDatabase expected = base.empty() ? VirusDatabase{} : EntriesOf(base);
        const VirusDatabase added = EntriesOf(update);
        expected.insert(expected.end(), added.begin(), added.end());
        EXPECT_EQ(EntriesOf(ReadBytes(path)), expected) << base.size();
        EXPECT_EQ(memory, added);
    }
}

TEST(CheckJoinedDatabase, RefusesJoinedBytesThatDoNotReadBackAsBothParts) {
    const Bytes base = AssembleSource(kBase);
    const Bytes update = AssembleSource(kUpdate);
    const VirusDatabase added = EntriesOf(update);
    EXPECT_NO_THROW(CheckJoinedDatabase("virbase.kvd", Joined(base, update), 2, added));

    // Behind a cut record the update's first bytes are read as its data, and its entries
    // come out shifted or not at all.
    const Bytes cut = Joined(base, AssembleSource("raw 0 length 17 data 02 00"));
    EXPECT_THROW(CheckJoinedDatabase("virbase.kvd", Joined(cut, update), 3, added), UpdateRefused);
    const Bytes negative = Joined(base, AssembleSource("raw 0 length -1"));
    EXPECT_THROW(CheckJoinedDatabase("virbase.kvd", Joined(negative, update), 3, added), UpdateRefused);
    // Entries lost or made up before the update's.
    EXPECT_THROW(CheckJoinedDatabase("virbase.kvd", Joined(base, update), 3, added), UpdateRefused);
    EXPECT_THROW(CheckJoinedDatabase("virbase.kvd", Joined(base, update), 1, added), UpdateRefused);
}

}  // namespace
}  // namespace korvax
