// Backups on every system: a cure keeps the original and a restore puts it back, bytes and
// what a replacement keeps (permission bits on Linux, attributes on Windows); never a
// cure without its backup; a first write-back that fails withdraws it; a restore never
// writes over a later change unless forced, nor over a file its cure did not leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "backup/backup_index.h"
#include "backup/backup_store.h"
#include "backup/quarantined_bytes.h"
#include "backup/restore.h"
#include "engine/disk_file.h"
#include "engine/file_check.h"
#include "platform/file_name.h"
#include "platform/file_write_calls.h"
#include "platform/private_folder.h"
#include "restore_listener.h"
#include "test_support.h"
#include "test_system.h"

namespace korvax {
namespace {

using test::Bytes;
using test::Listener;
using test::NamesIn;
using test::ReadBytes;
using test::WithMarkers;

class BackupRoundTrip : public ::testing::Test {
protected:
    // A good program the entry takes for a virus: its cure cuts its first four bytes.
    FileCheckOutcome cure(const std::string& path, WriteBackGuard& guard,
                          FileWriteCalls& calls = SystemFileWriteCalls()) {
        DiskFile file(path, LinkPolicy::RefuseLinks, calls);
        FileCheckOptions options;
        options.guard = &guard;
        return CheckFile(path, file, base, counters, [&](const ResultRow& row) { rows.push_back(row); }, options);
    }
    BackupIndex index() const {
        const Bytes text = ReadBytes(JoinPath(backups, kBackupIndexName));
        return ReadBackupIndex(std::string(text.begin(), text.end()));
    }

    test::TempFolder folder;
    const std::string backups = folder.file("backups");
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "the rest of a good program");
    // What the cure leaves: the program without its first four bytes.
    const Bytes cured = WithMarkers({}, "the rest of a good program");
    VirusDatabase base = test::BaseFromSource(R"(
        entry "False.Positive"
        search rel 0 pattern "GOOD"
        copy toend from 4 to 0
        size cut 4
    )");
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    std::ostringstream warnings;
};

TEST_F(BackupRoundTrip, ACureKeepsTheOriginalAndARestorePutsItBackAsItWas) {
    const std::string path = folder.write("apps/tool.exe", good);
    test::SetKeptMode(path, test::kKeptMode);
    {
        BackupStore store(backups, warnings);
        ASSERT_EQ(cure(path, store).cures, 1);
        EXPECT_EQ(store.kept(), 1);
    }
    ASSERT_EQ(ReadBytes(path), cured);
    EXPECT_EQ(test::KeptModeOf(path), test::kKeptMode);  // the cure kept it too
    const BackupIndex kept = index();
    ASSERT_EQ(kept.records.size(), 1U);
    const BackupRecord& record = kept.records[0];
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.mode, test::kKeptMode);
    EXPECT_EQ(Released(ReadBytes(JoinPath(backups, record.backup))), good);
    ASSERT_TRUE(record.cured.has_value());
    const auto [device, inode] = test::IdentityOf(path);
    EXPECT_EQ(record.cured->device, device);
    EXPECT_EQ(record.cured->inode, inode);

    // Changed since in what a replacement keeps: put back as recorded before the cure.
    test::SetKeptMode(path, test::kOtherMode);
    Listener listener;
    EXPECT_EQ(RestoreBackups(backups, {}, false, listener).restored, 1);
    EXPECT_EQ(listener.restored, std::vector<std::string>{path});
    EXPECT_EQ(ReadBytes(path), good);
    EXPECT_EQ(test::KeptModeOf(path), test::kKeptMode);
    EXPECT_EQ(NamesIn(folder.file("apps")), std::set<std::string>{"tool.exe"});
    // Restored once: a second restore has nothing to do.
    Listener again;
    EXPECT_EQ(RestoreBackups(backups, {path}, false, again).restored, 0);
    EXPECT_EQ(again.already, std::vector<std::string>{path});
}

TEST_F(BackupRoundTrip, NeverACureWithoutItsBackup) {
    // The backup folder's disk is full, or read-only: the file is not cured at all.
    for (const auto& [step, fault] : {std::pair{WriteStep::Write, WriteFault::DiskFull},
                                      std::pair{WriteStep::Create, WriteFault::ReadOnlyDisk}}) {
        SCOPED_TRACE(static_cast<int>(fault));
        const std::string path = folder.write("tool.exe", good);
        InjectedWriteFaults disk;
        disk.Fail(step, fault);
        BackupStore store(backups, warnings, disk.calls());
        rows.clear();
        const FileCheckOutcome outcome = cure(path, store);
        EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
        EXPECT_NE(outcome.failure.find("not cured"), std::string::npos) << outcome.failure;
        EXPECT_EQ(rows, std::vector<ResultRow>{ReadErrorRow(path)});
        EXPECT_EQ(ReadBytes(path), good);
        EXPECT_GT(disk.callsMade(step), 0);
    }
    EXPECT_EQ(counters.CuredCount.load(), 0);
    folder.write("not-a-folder", Bytes(3));
    EXPECT_THROW(BackupStore(folder.file("not-a-folder"), warnings), FolderRefused);
}

TEST_F(BackupRoundTrip, AFirstWriteBackThatFailsWithdrawsItsBackup) {
    const std::string path = folder.write("tool.exe", good);
    BackupStore store(backups, warnings);
    InjectedWriteFaults calls;  // the user may not give the file its owner
    calls.Fail(WriteStep::Owner, WriteFault::NotPermitted);
    const FileCheckOutcome outcome = cure(path, store, calls.calls());
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_NE(rows[0].reason.find("cannot be kept"), std::string::npos) << rows[0].reason;
    EXPECT_EQ(ReadBytes(path), good);
    EXPECT_EQ(NamesIn(folder.file("")), (std::set<std::string>{"tool.exe", "backups"}));
    EXPECT_EQ(store.kept(), 0);
    EXPECT_EQ(NamesIn(backups), std::set<std::string>{"index.jsonl"});
    const BackupIndex withdrawn = index();
    ASSERT_EQ(withdrawn.records.size(), 1U);
    EXPECT_TRUE(withdrawn.records[0].withdrawn);
    EXPECT_TRUE(warnings.str().empty()) << warnings.str();
}

TEST_F(BackupRoundTrip, ARestoreNeverWritesOverALaterChangeNorAnotherFile) {
    const std::string path = folder.write("tool.exe", good);
    {
        BackupStore store(backups, warnings);
        cure(path, store);
    }
    // Another file at the path, holding the very bytes the cure left: not the one cured,
    // forced or not.
    const std::string aside = folder.file("tool.cured");
    std::filesystem::rename(test::PathOf(path), test::PathOf(aside));
    folder.write("tool.exe", cured);
    for (const bool force : {false, true}) {
        Listener listener;
        EXPECT_EQ(RestoreBackups(backups, {path}, force, listener).refused, 1);
        ASSERT_EQ(listener.refused.size(), 1U);
        EXPECT_NE(listener.refused[0].find("is not the file its cure left"), std::string::npos) << listener.refused[0];
        EXPECT_EQ(ReadBytes(path), cured);
    }
    // The cured file back in its place, then changed by its user: refused unless forced.
    std::filesystem::remove(test::PathOf(path));
    std::filesystem::rename(test::PathOf(aside), test::PathOf(path));
    folder.write("tool.exe", test::BytesOf("changed by its user after the cure"));
    Listener listener;
    const RestoreCounts counts = RestoreBackups(backups, {path, folder.file("never-cured.exe")}, false, listener);
    EXPECT_EQ(counts.restored, 0);
    EXPECT_EQ(counts.refused, 2);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("changed by its user after the cure"));
    ASSERT_EQ(listener.refused.size(), 2U);
    EXPECT_NE(listener.refused[0].find("no backup"), std::string::npos) << listener.refused[0];
    EXPECT_NE(listener.refused[1].find("changed since its cure"), std::string::npos) << listener.refused[1];
    EXPECT_EQ(RestoreBackups(backups, {path}, true, listener).restored, 1);
    EXPECT_EQ(ReadBytes(path), good);
}

}  // namespace
}  // namespace korvax
