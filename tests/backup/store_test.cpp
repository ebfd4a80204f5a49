// The backup store over time: its limits prune the oldest backups but never the newest of
// a file, and a file put back stays put back (trusted) until its bytes change.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "backup/backup_index.h"
#include "backup/backup_store.h"
#include "backup/quarantined_bytes.h"
#include "backup/restore.h"
#include "backup/sha256.h"
#include "backup/store_pruning.h"
#include "backup/trust_list.h"
#include "engine/file_check.h"
#include "platform/private_folder.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;

TEST(IndexTimeSeconds, ReadsTheIndexsTimesAndRefusesAnythingElse) {
    EXPECT_EQ(IndexTimeSeconds("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(IndexTimeSeconds("2000-02-29T12:00:00Z"), 951825600);  // a leap day
    EXPECT_EQ(IndexTimeSeconds("2026-12-10T04:12:00Z"), 1796875920);
    EXPECT_EQ(IndexTimeSeconds("1969-12-31T23:59:59Z"), -1);
    for (const char* bad : {"", "2026-12-10", "2026-13-01T00:00:00Z", "2026-12-10T04:12:00", "yesterday"}) {
        EXPECT_EQ(IndexTimeSeconds(bad), std::nullopt) << bad;
    }
    const auto now = IndexTimeSeconds(IndexTime());
    ASSERT_TRUE(now.has_value());
    EXPECT_NEAR(static_cast<double>(*now), static_cast<double>(std::time(nullptr)), 5.0);
}

// A store whose backups were made at chosen times, as if over months of checks.
class Store : public ::testing::Test {
protected:
    std::string keep(const std::string& path, const std::string& time, std::size_t size) {
        BackupRecord record;
        record.time = time;
        record.path = path;
        record.size = static_cast<std::int64_t>(size);
        record.entry = "E";
        record.originalSha256 = std::string(64, 'a');
        record.backup = "b" + std::to_string(++made) + ".kvq";
        EXPECT_TRUE(store.CreateNewFile(record.backup, Bytes(size, 1)));
        store.AppendLine(kBackupIndexName, BackupLine(record));
        return record.backup;
    }
    bool present(const std::string& backup) const { return std::filesystem::exists(folder.file("store/" + backup)); }

    test::TempFolder folder;
    PrivateFolder store{folder.file("store")};
    int made = 0;
    const std::int64_t now = *IndexTimeSeconds("2026-12-10T00:00:00Z");
};

TEST_F(Store, PruningRemovesTheOldestFirstAndNeverTheNewestOfAFile) {
    const std::string a1 = keep("/a.exe", "2026-01-01T00:00:00Z", 400);
    const std::string b1 = keep("/b.exe", "2026-02-01T00:00:00Z", 400);
    const std::string a2 = keep("/a.exe", "2026-11-01T00:00:00Z", 400);
    const std::string a3 = keep("/a.exe", "2026-12-01T00:00:00Z", 400);
    const std::string c1 = keep("/c.exe", "2025-01-01T00:00:00Z", 400);  // old, but the only one of its file

    // 2,000 bytes kept; a limit of 1,300 needs two gone: the oldest that may go, a1 then a2.
    PruneOutcome outcome = PruneStore(store, StoreLimits{1300, 10000}, now);
    EXPECT_EQ(outcome.pruned, 2);
    EXPECT_EQ(outcome.keptBytes, 1200);
    EXPECT_FALSE(outcome.newestOverLimit);
    EXPECT_FALSE(present(a1));
    EXPECT_FALSE(present(a2));
    for (const std::string& kept : {b1, a3, c1}) EXPECT_TRUE(present(kept)) << kept;
    EXPECT_NE(PruneMessage(outcome, StoreLimits{1300, 10000}, "S").find("pruned 2 older backup(s) (800 bytes)"),
              std::string::npos);
    // The index says so, and a restore no longer offers what is gone.
    const Bytes text = ReadBytes(folder.file("store/index.jsonl"));
    const BackupIndex index = ReadBackupIndex(std::string(text.begin(), text.end()));
    EXPECT_TRUE(index.records[0].pruned);
    EXPECT_FALSE(index.records[1].pruned);
    std::map<std::string, std::string> offered;
    for (const BackupRecord& record : RestorableBackups(folder.file("store"))) offered[record.path] = record.backup;
    EXPECT_EQ(offered, (std::map<std::string, std::string>{{"/a.exe", a3}, {"/b.exe", b1}, {"/c.exe", c1}}));

    // The newest alone are over a smaller limit: nothing more goes, and the user is told.
    outcome = PruneStore(store, StoreLimits{500, 10000}, now);
    EXPECT_EQ(outcome.pruned, 0);
    EXPECT_TRUE(outcome.newestOverLimit);
    EXPECT_NE(PruneMessage(outcome, StoreLimits{500, 10000}, "S").find("alone takes 1200 bytes"), std::string::npos);
    for (const std::string& kept : {b1, a3, c1}) EXPECT_TRUE(present(kept)) << kept;
}

TEST_F(Store, PruningByAgeSparesTheNewestOfAFileHoweverOld) {
    const std::string old1 = keep("/x.exe", "2026-01-01T00:00:00Z", 10);
    const std::string old2 = keep("/x.exe", "2026-02-01T00:00:00Z", 10);
    const std::string recent = keep("/y.exe", "2026-11-20T00:00:00Z", 10);
    const std::string older = keep("/y.exe", "2026-11-01T00:00:00Z", 10);  // made later, so newest of y
    const PruneOutcome outcome = PruneStore(store, StoreLimits{}, now);
    EXPECT_EQ(outcome.pruned, 1);
    EXPECT_FALSE(present(old1));
    EXPECT_TRUE(present(old2));  // the newest of /x.exe
    EXPECT_TRUE(present(recent));
    EXPECT_TRUE(present(older));
    EXPECT_EQ(PruneStore(store, StoreLimits{}, now).pruned, 0);  // nothing twice
}

TEST_F(Store, ATrustedFileIsFoundCleanOnlyAtItsPathAndWithItsBytes) {
    const Bytes program = test::WithMarkers(test::SampleProgram(), "STUK");
    const std::string path = folder.write("srv/tool.exe", program);
    const std::string copy = folder.write("elsewhere/tool.exe", program);
    {
        TrustList trust(store);
        trust.Trust(path, Sha256Hex(program));
    }
    TrustList trust(store);  // as the next check reads it
    EXPECT_EQ(trust.Entries().size(), 1U);

    const VirusDatabase base = test::BaseFromSource("entry \"Mark.S\"\nsearch rel 0 pattern \"STUK\"\n");
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    FileCheckOptions options;
    options.trusted = &trust;
    const auto check = [&](const std::string& file) {
        return CheckFile(file, LinkPolicy::RefuseLinks, base, counters,
                         [&](const ResultRow& row) { rows.push_back(row); }, options)
            .resultCode;
    };
    EXPECT_EQ(check(path), ResultCode::Clean);
    // Named another way, it is the same file.
    EXPECT_EQ(check(folder.file("srv/../srv/tool.exe")), ResultCode::Clean);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(trust.Met(), std::vector<std::string>{path});
    // The same bytes elsewhere are not trusted, nor other bytes at the path.
    EXPECT_EQ(check(copy), ResultCode::Detected);
    folder.write("srv/tool.exe", test::WithMarkers(program, "x"));
    EXPECT_EQ(check(path), ResultCode::Detected);
    EXPECT_EQ(counters.VirusCount.load(), 2);

    // Taken off the list, it is checked as any other file.
    folder.write("srv/tool.exe", program);
    EXPECT_TRUE(trust.Untrust(path));
    EXPECT_FALSE(trust.Untrust(path));
    EXPECT_EQ(check(path), ResultCode::Detected);
    EXPECT_TRUE(TrustList(store).Entries().empty());
}

TEST_F(Store, ARestoredFileIsTrustedSoTheNextCheckLeavesItAlone) {
    const Bytes good = test::BytesOf("GOODa good program wrongly matched");
    const std::string path = folder.write("srv/good.exe", good);
    const VirusDatabase base = test::BaseFromSource("entry \"False.Positive\"\nsearch rel 0 pattern \"GOOD\"\nsize cut 4\n");
    DetectionCounters counters;
    std::ostringstream warnings;
    std::vector<ResultRow> rows;
    const auto report = [&](const ResultRow& row) { rows.push_back(row); };
    {
        BackupStore backups(folder.file("store"), warnings);
        FileCheckOptions options;
        options.guard = &backups;
        CheckFile(path, LinkPolicy::RefuseLinks, base, counters, report, options);
    }
    ASSERT_NE(ReadBytes(path), good);

    class Quiet : public RestoreListener {
        void Restored(const BackupRecord&) override {}
        void AlreadyOriginal(const BackupRecord&) override {}
        void Refused(const std::string&, const std::string& reason) override { ADD_FAILURE() << reason; }
    } listener;
    EXPECT_EQ(RestoreBackups(folder.file("store"), {path}, false, listener).restored, 1);
    ASSERT_EQ(ReadBytes(path), good);

    rows.clear();
    TrustList trust(store);
    FileCheckOptions options;
    options.trusted = &trust;
    EXPECT_EQ(CheckFile(path, LinkPolicy::RefuseLinks, base, counters, report, options).resultCode, ResultCode::Clean);
    EXPECT_EQ(ReadBytes(path), good);
    EXPECT_TRUE(rows.empty());

    // Taken off the list, then asked back once more: it is as it was, and wanted so.
    EXPECT_TRUE(trust.Untrust(path));
    EXPECT_EQ(RestoreBackups(folder.file("store"), {path}, false, listener).alreadyOriginal, 1);
    EXPECT_EQ(TrustList(store).Entries().count(path), 1U);
}

}  // namespace
}  // namespace korvax
