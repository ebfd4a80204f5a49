// Keeping originals and putting them back: a cure with its backup, undone byte for byte
// with its metadata; never a cure without its backup; a restore that would lose a later
// change refused; an index that survives odd names and a cut line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sstream>

#include "backup/backup_index.h"
#include "backup/backup_store.h"
#include "backup/quarantined_bytes.h"
#include "backup/restore.h"
#include "backup/sha256.h"
#include "engine/disk_file.h"
#include "engine/file_check.h"
#include "platform/private_folder.h"
#include "restore_listener.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::Listener;
using test::NamesIn;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

BackupIndex IndexIn(const std::string& backups) {
    const Bytes text = ReadBytes(backups + "/index.jsonl");
    return ReadBackupIndex(std::string(text.begin(), text.end()));
}

class Backups : public ::testing::Test {
protected:
    void SetUp() override {
        base = test::BaseFromSource(R"(
            entry "False.Positive"
            search rel 0 pattern "GOOD"
            copy toend from 4 to 0
            size cut 4
        )");
    }

    FileCheckOutcome cure(const std::string& path, WriteBackGuard& guard,
                          FileWriteCalls& calls = SystemFileWriteCalls()) {
        DiskFile file(path, LinkPolicy::RefuseLinks, calls);
        FileCheckOptions options;
        options.guard = &guard;
        return CheckFile(path, file, base, counters, [&](const ResultRow& row) { rows.push_back(row); }, options);
    }

    test::TempFolder folder;
    VirusDatabase base;
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    std::ostringstream warnings;
};

TEST_F(Backups, ACureKeepsTheOriginalAndARestorePutsItBackWithItsMetadata) {
    // A good program the entry takes for a virus: its cure cuts its first four bytes.
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "the rest of a good program");
    const std::string path = folder.write("apps/tool.exe", good);
    ASSERT_EQ(::chmod(path.c_str(), 0750), 0);
    const bool attributes = ::setxattr(path.c_str(), "user.origin", "kept", 4, 0) == 0;
    const std::string backups = folder.file("backups");

    BackupStore store(backups, warnings);
    ASSERT_EQ(cure(path, store).cures, 1);
    ASSERT_NE(ReadBytes(path), good);
    EXPECT_EQ(store.kept(), 1);
    struct stat folderInfo {};
    ASSERT_EQ(::stat(backups.c_str(), &folderInfo), 0);
    EXPECT_EQ(folderInfo.st_mode & 0777, 0700U);

    // The index names the file, the entry and the backup, which holds the original.
    const Bytes indexText = ReadBytes(backups + "/index.jsonl");
    const BackupIndex index = ReadBackupIndex(std::string(indexText.begin(), indexText.end()));
    ASSERT_EQ(index.records.size(), 1U);
    const BackupRecord& record = index.records[0];
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.entry, "False.Positive");
    EXPECT_EQ(record.size, static_cast<std::int64_t>(good.size()));
    EXPECT_EQ(record.mode, 0750U);
    // Kept transformed and not executable: nobody runs it by mistake, and no scanner that
    // walks the store finds the original's bytes in it.
    const Bytes kept = ReadBytes(backups + "/" + record.backup);
    EXPECT_EQ(Released(kept), good);
    const auto body = std::find(kept.begin(), kept.end(), '\n');  // after the header's line of text
    ASSERT_NE(body, kept.end());
    for (std::size_t at = 0; at + 4 <= good.size(); ++at) {
        ASSERT_EQ(std::search(body, kept.end(), good.begin() + at, good.begin() + at + 4), kept.end()) << at;
    }
    struct stat keptInfo {};
    ASSERT_EQ(::stat((backups + "/" + record.backup).c_str(), &keptInfo), 0);
    EXPECT_EQ(keptInfo.st_mode & 0777, 0600U);
    EXPECT_EQ(Released(good), good);  // a backup of an earlier version, kept as it was
    EXPECT_TRUE(record.curedSha256.has_value());

    Listener listener;
    RestoreCounts counts = RestoreBackups(backups, {}, false, listener);
    EXPECT_EQ(counts.restored, 1);
    EXPECT_EQ(listener.restored, std::vector<std::string>{path});
    EXPECT_EQ(ReadBytes(path), good);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750U);
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(path.c_str(), "user.origin", value, sizeof value), 4);
    }
    // Restored once: a second restore has nothing to do.
    Listener again;
    counts = RestoreBackups(backups, {path}, false, again);
    EXPECT_EQ(counts.restored, 0);
    EXPECT_EQ(again.already, std::vector<std::string>{path});
}

TEST_F(Backups, ARestoreThatWouldLoseALaterChangeIsRefusedUnlessForced) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const std::string path = folder.write("tool.exe", good);
    const std::string backups = folder.file("backups");
    {
        BackupStore store(backups, warnings);
        cure(path, store);
    }
    folder.write("tool.exe", test::BytesOf("changed by its user after the cure"));
    Listener listener;
    RestoreCounts counts = RestoreBackups(backups, {path, folder.file("never-cured.exe")}, false, listener);
    EXPECT_EQ(counts.restored, 0);
    EXPECT_EQ(counts.refused, 2);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("changed by its user after the cure"));
    ASSERT_EQ(listener.refused.size(), 2U);
    EXPECT_NE(listener.refused[1].find("changed since its cure"), std::string::npos) << listener.refused[1];
    EXPECT_NE(listener.refused[0].find("no backup"), std::string::npos) << listener.refused[0];

    counts = RestoreBackups(backups, {path}, true, listener);
    EXPECT_EQ(counts.restored, 1);
    EXPECT_EQ(ReadBytes(path), good);
}

TEST_F(Backups, NeverACureWithoutItsBackup) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    // The backup folder's disk is full, or read-only.
    for (const auto& [step, fault] : {std::pair{WriteStep::Write, WriteFault::DiskFull},
                                      std::pair{WriteStep::Create, WriteFault::ReadOnlyDisk}}) {
        SCOPED_TRACE(static_cast<int>(fault));
        const std::string path = folder.write("tool.exe", good);
        InjectedWriteFaults disk;
        disk.Fail(step, fault);
        BackupStore store(folder.file("backups"), warnings, disk.calls());
        rows.clear();
        const FileCheckOutcome outcome = cure(path, store);
        EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
        EXPECT_NE(outcome.failure.find("not cured"), std::string::npos) << outcome.failure;
        EXPECT_EQ(rows, std::vector<ResultRow>{ReadErrorRow(path)});
        EXPECT_EQ(ReadBytes(path), good);
    }
    EXPECT_EQ(counters.CuredCount.load(), 0);
    EXPECT_EQ(counters.VirusCount.load(), 2);

    // A folder other users may write to is refused before anything is checked.
    const std::string shared = folder.file("shared");
    std::filesystem::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    EXPECT_THROW(BackupStore(shared, warnings), FolderRefused);
    folder.write("not-a-folder", Bytes(3));
    EXPECT_THROW(BackupStore(folder.file("not-a-folder"), warnings), FolderRefused);
}

TEST_F(Backups, AFirstWriteBackThatFailsWithdrawsItsBackup) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const std::string path = folder.write("tool.exe", good);
    const std::string backups = folder.file("backups");
    BackupStore store(backups, warnings);
    // The user may not give a file away.
    InjectedWriteFaults calls;
    calls.Fail(WriteStep::Owner, WriteFault::NotPermitted);
    const FileCheckOutcome outcome = cure(path, store, calls.calls());

    // Not cured, and said why; the file as it was, nothing beside it.
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].code, ResultCode::ReadError);
    EXPECT_NE(rows[0].reason.find("cannot be kept"), std::string::npos) << rows[0].reason;
    EXPECT_EQ(ReadBytes(path), good);
    EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"tool.exe", "backups"}));
    // The original kept for it is gone, and the index says the backup stands for no cure.
    EXPECT_EQ(store.kept(), 0);
    EXPECT_EQ(NamesIn(backups), std::set<std::string>{"index.jsonl"});
    const BackupIndex index = IndexIn(backups);
    ASSERT_EQ(index.records.size(), 1U);
    EXPECT_TRUE(index.records[0].withdrawn);
    EXPECT_FALSE(index.records[0].curedSha256.has_value());
    EXPECT_TRUE(warnings.str().empty()) << warnings.str();
    Listener listener;
    const RestoreCounts counts = RestoreBackups(backups, {}, true, listener);
    EXPECT_EQ(counts.restored + counts.refused + counts.alreadyOriginal, 0);
}

TEST_F(Backups, ARestoreWritesOnlyTheFileItsCureLeftWithTheOwnerAndModeItRecorded) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "the rest of a good program");
    const Bytes cured(good.begin() + 4, good.end());
    const std::string path = folder.write("apps/tool.exe", good);
    ASSERT_EQ(::chmod(path.c_str(), 0750), 0);
    const std::string backups = folder.file("backups");
    {
        // Checked under a relative path: the index holds it absolute all the same.
        const std::filesystem::path before = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
        BackupStore store(backups, warnings);
        cure("apps/tool.exe", store);
        std::filesystem::current_path(before);
    }
    ASSERT_EQ(ReadBytes(path), cured);
    const BackupIndex index = IndexIn(backups);
    ASSERT_EQ(index.records.size(), 1U);
    EXPECT_EQ(index.records[0].path, path);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    ASSERT_TRUE(index.records[0].cured.has_value());
    EXPECT_EQ(index.records[0].cured->inode, static_cast<std::uint64_t>(info.st_ino));
    EXPECT_EQ(index.records[0].cured->device, static_cast<std::uint64_t>(info.st_dev));

    // Another file at the path, holding the very bytes the cure left: not the one cured,
    // forced or not.
    const std::string aside = folder.file("apps/tool.cured");
    ASSERT_EQ(::rename(path.c_str(), aside.c_str()), 0);
    folder.write("apps/tool.exe", cured);
    for (const bool force : {false, true}) {
        Listener listener;
        const RestoreCounts counts = RestoreBackups(backups, {path}, force, listener);
        EXPECT_EQ(counts.refused, 1);
        ASSERT_EQ(listener.refused.size(), 1U);
        EXPECT_NE(listener.refused[0].find("is not the file its cure left"), std::string::npos) << listener.refused[0];
        EXPECT_EQ(ReadBytes(path), cured);
    }

    // The cured file itself, back in its place with a mode changed since: restored, with
    // the mode recorded before the cure.
    ASSERT_EQ(::rename(aside.c_str(), path.c_str()), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0777), 0);
    Listener listener;
    EXPECT_EQ(RestoreBackups(backups, {path}, false, listener).restored, 1);
    EXPECT_EQ(ReadBytes(path), good);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750U);
}

TEST_F(Backups, AFileIsAsItWasOnlyWhenItWasReadAndHoldsItsOriginal) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const std::string path = folder.write("tool.exe", good);
    const std::string backups = folder.file("backups");
    {
        BackupStore store(backups, warnings);
        cure(path, store);
    }
    Listener listener;
    ASSERT_EQ(RestoreBackups(backups, {}, false, listener).restored, 1);
    // Cured again without a backup: the index still says "restored", the file says otherwise.
    ASSERT_EQ(CheckFile(path, LinkPolicy::RefuseLinks, base, counters, [](const ResultRow&) {}).cures, 1);
    for (const bool force : {false, true}) {
        Listener again;
        const RestoreCounts counts = RestoreBackups(backups, {path}, force, again);
        EXPECT_EQ(counts.alreadyOriginal, 0);
        EXPECT_EQ(counts.refused, 1);
        ASSERT_EQ(again.refused.size(), 1U);
        EXPECT_NE(again.refused[0].find("no longer holds the original"), std::string::npos) << again.refused[0];
        EXPECT_NE(ReadBytes(path), good);
    }
    // Its original written back by other means: now it is as it was.
    folder.write("tool.exe", good);
    Listener last;
    EXPECT_EQ(RestoreBackups(backups, {path}, false, last).alreadyOriginal, 1);
    EXPECT_TRUE(last.refused.empty());
}

TEST_F(Backups, AnIndexOfAnEarlierVersionIsReadAndWhatItCannotVouchForIsRefused) {
    // Written as an earlier version wrote it: a relative path, and cured lines that do not
    // say which file the cure left.
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const Bytes cured(good.begin() + 4, good.end());
    const std::string path = folder.write("tool.exe", cured);
    const std::string relative = folder.write("scan/A.EXE", cured);
    const std::string backups = folder.file("backups");
    std::filesystem::create_directory(backups);
    ::chmod(backups.c_str(), 0700);
    folder.write("backups/b1.orig", good);
    folder.write("backups/b2.orig", good);
    BackupRecord record;
    record.time = "2026-12-01T00:00:00Z";
    record.size = static_cast<std::int64_t>(good.size());
    record.mode = 0644;
    record.owner = ::geteuid();
    record.group = ::getegid();
    record.entry = "False.Positive";
    record.originalSha256 = Sha256Hex(good);
    std::string text;
    record.path = path;
    record.backup = "b1.orig";
    text += BackupLine(record) + "\n" + CuredLine("t", "b1.orig", Sha256Hex(cured), std::nullopt) + "\n";
    record.path = "scan/A.EXE";
    record.backup = "b2.orig";
    text += BackupLine(record) + "\n" + CuredLine("t", "b2.orig", Sha256Hex(cured), std::nullopt) + "\n";
    folder.write("backups/index.jsonl", Bytes(text.begin(), text.end()));

    Listener refused;
    RestoreCounts counts = RestoreBackups(backups, {}, false, refused);
    EXPECT_EQ(counts.refused, 2);
    ASSERT_EQ(refused.refused.size(), 2U);
    EXPECT_NE(refused.refused[0].find("does not say which file its cure left"), std::string::npos)
        << refused.refused[0];
    EXPECT_NE(refused.refused[1].find("relative path"), std::string::npos) << refused.refused[1];
    EXPECT_EQ(ReadBytes(path), cured);

    // Forced: the absolute one is put back, with the owner and mode it recorded; a
    // relative path names no file for sure, forced or not.
    Listener forced;
    counts = RestoreBackups(backups, {}, true, forced);
    EXPECT_EQ(counts.restored, 1);
    EXPECT_EQ(counts.refused, 1);
    EXPECT_EQ(forced.restored, std::vector<std::string>{path});
    EXPECT_EQ(ReadBytes(path), good);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644U);
    EXPECT_EQ(ReadBytes(relative), cured);
}

TEST_F(Backups, AFileOnARenumberedDeviceIsKnownByItsInodeAndTheBytesItsCureLeft) {
    // A remount may give the file system another device number; the index still holds
    // the old one. Written by hand: no test can remount.
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const Bytes cured(good.begin() + 4, good.end());
    const std::string path = folder.write("tool.exe", cured);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const std::string backups = folder.file("backups");
    std::filesystem::create_directory(backups);
    ::chmod(backups.c_str(), 0700);
    folder.write("backups/b1.orig", good);
    BackupRecord record;
    record.time = "t";
    record.path = path;
    record.size = static_cast<std::int64_t>(good.size());
    record.mode = 0640;
    record.owner = ::geteuid();
    record.group = ::getegid();
    record.backup = "b1.orig";
    record.originalSha256 = Sha256Hex(good);
    const FileIdentity before{static_cast<std::uint64_t>(info.st_dev) + 1, static_cast<std::uint64_t>(info.st_ino)};
    const std::string text = BackupLine(record) + "\n" + CuredLine("t", "b1.orig", Sha256Hex(cured), before) + "\n";
    folder.write("backups/index.jsonl", Bytes(text.begin(), text.end()));

    // Changed in place since: its inode alone cannot tell it is the cured file, forced or not.
    folder.write("tool.exe", test::BytesOf("changed in place"));
    Listener changed;
    EXPECT_EQ(RestoreBackups(backups, {path}, true, changed).refused, 1);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("changed in place"));
    // Holding what the cure left: it is the cured file.
    folder.write("tool.exe", cured);
    Listener same;
    EXPECT_EQ(RestoreBackups(backups, {path}, false, same).restored, 1);
    EXPECT_EQ(ReadBytes(path), good);
}

TEST(BackupIndex, WhichFileACureLeftAndAWithdrawalAreReadBack) {
    BackupRecord record;
    record.time = "t";
    record.path = "/a.exe";
    record.originalSha256 = std::string(64, 'a');
    std::string text;
    for (const char* backup : {"b1", "b2", "b3"}) {
        record.backup = backup;
        text += BackupLine(record) + "\n";
    }
    text += CuredLine("t", "b1", std::string(64, 'c'), FileIdentity{2049, 1ULL << 40}) + "\n";
    text += WithdrawnLine("t", "b2") + "\n";
    // A cured line that names the device but not the inode is no line at all: b3 stays
    // as its backup line left it.
    text += R"({"kind":"cured","time":"t","backup":"b3","sha256":"cc","device":1})" "\n";
    const BackupIndex index = ReadBackupIndex(text);
    ASSERT_EQ(index.records.size(), 3U);
    EXPECT_EQ(index.records[0].cured, (FileIdentity{2049, 1ULL << 40}));
    EXPECT_FALSE(index.records[0].withdrawn);
    EXPECT_TRUE(index.records[1].withdrawn);
    EXPECT_FALSE(index.records[2].cured.has_value());
    EXPECT_FALSE(index.records[2].curedSha256.has_value());
    EXPECT_EQ(index.unreadable, 1);
}

TEST(BackupIndex, OddNamesComeBackToTheirBytesAndACutLineIsPassedOver) {
    BackupRecord record;
    record.time = "2026-12-09T00:00:00Z";
    record.entry = "Демо";
    record.backup = "b1.orig";
    record.originalSha256 = std::string(64, 'a');
    std::string text;
    const std::vector<std::string> paths = {"/plain/a.exe", std::string("/odd/new\nline\ttab.exe"),
                                            std::string("/bad/\xFF\xFE.exe"), std::string("/nul/a\\x.exe")};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        record.path = paths[i];
        record.backup = "b" + std::to_string(i);
        text += BackupLine(record) + "\n";
        EXPECT_EQ(BackupLine(record).find('\n'), std::string::npos);
    }
    text += CuredLine("t", "b1", std::string(64, 'c'), std::nullopt) + "\n";
    text += R"({"kind":"backup","time":"t","path":"/cut)";  // a crash in the middle of a line
    const BackupIndex index = ReadBackupIndex(text);
    ASSERT_EQ(index.records.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(index.records[i].path, paths[i]);
    EXPECT_EQ(index.records[1].curedSha256, std::string(64, 'c'));
    EXPECT_FALSE(index.records[0].curedSha256.has_value());
    EXPECT_EQ(index.records[0].entry, "Демо");
    EXPECT_EQ(index.unreadable, 1);
}

}  // namespace
}  // namespace korvax
