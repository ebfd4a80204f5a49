#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "engine/disk_file.h"
#include "engine/file_check.h"
#include "platform/failure.h"
#include "file_check_fixture.h"
#include "test_support.h"
#include "test_system.h"

namespace korvax {
namespace {

TEST_F(FileCheck, ACleanFileGivesNoRowAndIsNeverWritten) {
    const std::string path = folder.write("clean.exe", SampleProgram());
    const auto identity = test::IdentityOf(path);
    const auto written = std::filesystem::last_write_time(test::PathOf(path));
    const Check check = CheckAndCount(path, base);
    EXPECT_EQ(check.outcome.resultCode, ResultCode::Clean);
    EXPECT_TRUE(check.rows.empty());
    EXPECT_EQ(check.viruses, 0);
    EXPECT_EQ(test::IdentityOf(path), identity);
    EXPECT_EQ(std::filesystem::last_write_time(test::PathOf(path)), written);
    EXPECT_EQ(ReadBytes(path), SampleProgram());
}

TEST_F(FileCheck, CuresAreWrittenBackAndReportedOncePerLayer) {
    // One cure: one row, the file back to the program; the rescan finds nothing.
    std::string path = folder.write("one.exe", WithMarkers(SampleProgram(), "AAAA"));
    Check check = CheckAndCount(path, base);
    EXPECT_EQ(check.rows, (std::vector<ResultRow>{{path, "Layer.A", kCuredText, ResultCode::Cured}}));
    EXPECT_EQ(check.viruses, 1);
    EXPECT_EQ(check.cures, 1);
    EXPECT_EQ(check.outcome.resultCode, ResultCode::Clean);
    EXPECT_EQ(ReadBytes(path), SampleProgram());

    // Two curable layers: two rows, two writes.
    path = folder.write("two.exe", WithMarkers(SampleProgram(), "AAAABBBB"));
    check = CheckAndCount(path, base);
    EXPECT_EQ(check.rows, (std::vector<ResultRow>{{path, "Layer.B", kCuredText, ResultCode::Cured}, {path, "Layer.A", kCuredText, ResultCode::Cured}}));
    EXPECT_EQ(check.viruses, 2);
    EXPECT_EQ(check.cures, 2);
    EXPECT_EQ(ReadBytes(path), SampleProgram());

    // The inner layer has no cure: cured once, then reported skipped.
    path = folder.write("stuck.exe", WithMarkers(SampleProgram(), "STUKBBBB"));
    check = CheckAndCount(path, base);
    EXPECT_EQ(check.rows, (std::vector<ResultRow>{{path, "Layer.B", kCuredText, ResultCode::Cured}, {path, "Stuck", kSkippedText, ResultCode::Detected}}));
    EXPECT_EQ(check.viruses, 2);
    EXPECT_EQ(check.cures, 1);
    EXPECT_EQ(ReadBytes(path), WithMarkers(SampleProgram(), "STUK"));
}

TEST_F(FileCheck, ADetectionWithoutCureLeavesTheFileAlone) {
    const std::string path = folder.write("stuck.com", WithMarkers(SampleProgram(), "STUK"));
    const Check check = CheckAndCount(path, base);
    EXPECT_EQ(check.rows, (std::vector<ResultRow>{{path, "Stuck", kSkippedText, ResultCode::Detected}}));
    EXPECT_EQ(check.outcome.resultCode, ResultCode::Detected);
    EXPECT_EQ(check.viruses, 1);
    EXPECT_EQ(check.cures, 0);
    EXPECT_EQ(ReadBytes(path), WithMarkers(SampleProgram(), "STUK"));
}

TEST_F(FileCheck, AReportOnlyCheckWritesNothingAndMarksCurableDetections) {
    FileCheckOptions reportOnly;
    reportOnly.noCure = true;
    const Bytes infected = WithMarkers(SampleProgram(), "STUKBBBB");
    const std::string path = folder.write("two.exe", infected);
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const FileCheckOutcome outcome = CheckFile(path, LinkPolicy::RefuseLinks, base, counters,
                                               [&](const ResultRow& row) { rows.push_back(row); }, reportOnly);
    // The outer layer is curable: reported once, as a detection, and the file is untouched.
    ResultRow expected{path, "Layer.B", kSkippedText, ResultCode::Detected};
    expected.curable = true;
    EXPECT_EQ(rows, std::vector<ResultRow>{expected});
    EXPECT_EQ(outcome.resultCode, ResultCode::Detected);
    EXPECT_EQ(outcome.cures, 0);
    EXPECT_EQ(counters.VirusCount.load(), 1);
    EXPECT_EQ(counters.CuredCount.load(), 0);
    EXPECT_EQ(ReadBytes(path), infected);

    // A detection without a cure is not curable.
    rows.clear();
    CheckFile(folder.write("stuck.exe", WithMarkers(SampleProgram(), "STUK")), LinkPolicy::RefuseLinks, base,
              counters, [&](const ResultRow& row) { rows.push_back(row); }, reportOnly);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_FALSE(rows[0].curable);
}

TEST_F(FileCheck, ACureThatNeverEndsStopsAfterSixtyFourWrites) {
    const std::string path = folder.write("loop.exe", WithMarkers(SampleProgram(), "LOOP"));
    const Check check = CheckAndCount(path, base);
    ASSERT_EQ(check.rows.size(), static_cast<std::size_t>(kMaxCuresPerFile + 1));
    EXPECT_EQ(check.rows.front(), (ResultRow{path, "Loop", kCuredText, ResultCode::Cured}));
    EXPECT_EQ(check.rows.back(), (ResultRow{path, "Loop", kSkippedText, ResultCode::Detected}));
    EXPECT_EQ(check.viruses, kMaxCuresPerFile + 1);
    EXPECT_EQ(check.cures, kMaxCuresPerFile);
    EXPECT_EQ(check.outcome.cures, kMaxCuresPerFile);
    EXPECT_EQ(check.outcome.resultCode, ResultCode::Detected);
}

TEST_F(FileCheck, FailuresGiveOneReadErrorRowAndLoseNothing) {
    const auto expectReadError = [&](const std::string& path, const Check& check) {
        ASSERT_EQ(check.rows.size(), 1U) << path;
        EXPECT_EQ(check.rows[0], (ReadErrorRow(path)));
        EXPECT_EQ(check.outcome.resultCode, ResultCode::ReadError);
        EXPECT_EQ(check.cures, 0);
    };

    // Missing, a folder, a FIFO (which must not block the check; Windows' folders hold
    // none): no detection counted.
    for (const std::string& path : {folder.file("gone.exe"), test::TextOf(folder.path())}) {
        const Check check = CheckAndCount(path, base);
        expectReadError(path, check);
        EXPECT_EQ(check.viruses, 0);
    }
    const std::string fifo = folder.file("pipe.exe");
    if (test::MakeFifo(fifo)) expectReadError(fifo, CheckAndCount(fifo, base));

    // A cure that cannot be carried out: the file is not written back, no detection counted.
    const Bytes broken = WithMarkers(SampleProgram(), "BRKN");
    std::string path = folder.write("broken.exe", broken);
    Check check = CheckAndCount(path, base);
    expectReadError(path, check);
    EXPECT_EQ(check.viruses, 0);
    EXPECT_EQ(ReadBytes(path), broken);

    // Read-only binds everyone, root included: the detection counts, the cure does not.
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    path = folder.write("readonly.exe", infected);
    test::MakeReadOnly(path);
    check = CheckAndCount(path, base);
    expectReadError(path, check);
    EXPECT_EQ(check.viruses, 1);
    EXPECT_EQ(ReadBytes(path), infected);

    // An empty database gives one entry without records: every file fails.
    path = folder.write("any.exe", SampleProgram());
    expectReadError(path, CheckAndCount(path, VirusDatabase(1)));
}

TEST_F(FileCheck, AFileLargerThanTheLoadLimitIsNeitherReadNorWritten) {
    // A file collected under the size limit may have grown by the time it is checked.
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string path = folder.write("grown.exe", infected);
    FileCheckOptions options;
    options.maxFileSize = static_cast<std::int64_t>(infected.size()) - 1;
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const auto report = [&](const ResultRow& row) { rows.push_back(row); };
    FileCheckOutcome outcome = CheckFile(path, LinkPolicy::RefuseLinks, base, counters, report, options);
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    EXPECT_EQ(rows, (std::vector<ResultRow>{ReadErrorRow(path)}));
    EXPECT_EQ(counters.VirusCount.load(), 0);
    EXPECT_EQ(ReadBytes(path), infected);

    // At the limit itself the file is loaded and cured as usual; the cured image may then
    // be anything up to the image limit.
    rows.clear();
    options.maxFileSize = static_cast<std::int64_t>(infected.size());
    outcome = CheckFile(path, LinkPolicy::RefuseLinks, base, counters, report, options);
    EXPECT_EQ(outcome.resultCode, ResultCode::Clean);
    EXPECT_EQ(rows, (std::vector<ResultRow>{{path, "Layer.A", kCuredText, ResultCode::Cured}}));
    EXPECT_EQ(ReadBytes(path), SampleProgram());
}

TEST_F(FileCheck, AWriteThatFailsPartWayLeavesTheOriginalWhole) {
    const Bytes infected = WithMarkers(SampleProgram(64 * 1024), "AAAA");
    const std::string path = folder.write("big.exe", infected);
    // A disk that fills up: writes stop after 4096 bytes in all.
    InjectedWriteFaults disk;
    disk.DiskSpace(4096);
    DiskFile file(path, LinkPolicy::RefuseLinks, disk.calls());
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const FileCheckOutcome outcome =
        CheckFile(path, file, base, counters, [&](const ResultRow& row) { rows.push_back(row); });

    EXPECT_EQ(rows, (std::vector<ResultRow>{ReadErrorRow(path)}));
    EXPECT_EQ(outcome.failure, "Stream write error");
    EXPECT_EQ(counters.VirusCount.load(), 1);
    EXPECT_EQ(counters.CuredCount.load(), 0);
    EXPECT_EQ(ReadBytes(path), infected);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// A file held in memory: the loop's loads and saves as the check makes them.
class MemoryFile : public FileAccess {
public:
    explicit MemoryFile(Bytes bytes) : bytes(std::move(bytes)) {}
    Bytes Load(std::int64_t maxSize) override {
        ++loads;
        if (static_cast<std::int64_t>(bytes.size()) > maxSize) throw CannotOpenFile("memory");
        return bytes;
    }
    void Save(std::span<const std::uint8_t> image) override {
        if (failSave) throw StreamWriteError();
        saved.emplace_back(image.begin(), image.end());
        bytes = saved.back();
    }
    Bytes bytes;
    std::vector<Bytes> saved;
    int loads = 0;
    bool failSave = false;
};

TEST_F(FileCheck, TheLoopLoadsOnceAndSavesEveryCuredImageInTurn) {
    MemoryFile file(WithMarkers(SampleProgram(), "AAAABBBB"));
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const auto report = [&](const ResultRow& row) { rows.push_back(row); };
    FileCheckOutcome outcome = CheckFile("m.exe", file, base, counters, report);
    EXPECT_EQ(file.loads, 1);
    EXPECT_EQ(file.saved, (std::vector<Bytes>{WithMarkers(SampleProgram(), "AAAA"), SampleProgram()}));
    EXPECT_EQ(outcome.cures, 2);
    EXPECT_EQ(rows.size(), 2U);

    // A save that fails ends the file with its read-error row; the detection still counts.
    MemoryFile failing(WithMarkers(SampleProgram(), "AAAA"));
    failing.failSave = true;
    rows.clear();
    outcome = CheckFile("f.exe", failing, base, counters, report);
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    EXPECT_EQ(outcome.failure, "Stream write error");
    EXPECT_EQ(rows, (std::vector<ResultRow>{ReadErrorRow("f.exe")}));
    EXPECT_EQ(counters.VirusCount.load(), 3);
    EXPECT_EQ(counters.CuredCount.load(), 2);
    EXPECT_EQ(failing.bytes, WithMarkers(SampleProgram(), "AAAA"));
}

TEST_F(FileCheck, AFailingCureRowEndsInTheReadErrorRow) {
    const std::string path = folder.write("report.exe", WithMarkers(SampleProgram(), "AAAA"));
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    int calls = 0;
    const FileCheckOutcome outcome = CheckFile(path, LinkPolicy::ResolveOnce, base, counters, [&](const ResultRow& row) {
        if (++calls == 1) throw std::runtime_error("window gone");
        rows.push_back(row);
    });
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    EXPECT_EQ(rows, (std::vector<ResultRow>{ReadErrorRow(path)}));
    EXPECT_EQ(counters.CuredCount.load(), 1);  // it was written before the row failed
    EXPECT_EQ(ReadBytes(path), SampleProgram());
}

// A guard that writes down what it is told.
class RecordingGuard : public WriteBackGuard {
public:
    void BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> /*original*/,
                              const std::optional<FileFacts>& /*facts*/, const std::string& /*entryName*/) override {
        told.push_back("before " + path);
    }
    void AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> /*written*/,
                            const std::optional<FileIdentity>& left) noexcept override {
        told.push_back("after " + path);
        leftBehind = left;
    }
    void FirstWriteBackFailed(const std::string& path) noexcept override { told.push_back("failed " + path); }
    std::vector<std::string> told;
    std::optional<FileIdentity> leftBehind;
};

TEST_F(FileCheck, AGuardHearsOfAFailedFirstWriteBackAndOfTheFileTheCuresLeft) {
    const Bytes infected = WithMarkers(SampleProgram(), "AAAABBBB");
    const std::string path = folder.write("x.exe", infected);
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const auto report = [&](const ResultRow& row) { rows.push_back(row); };
    RecordingGuard guard;
    FileCheckOptions options;
    options.guard = &guard;

    // The owner cannot be kept: the read-error row says why, and the guard withdraws what
    // it kept for a cure that never happened.
    InjectedWriteFaults calls;  // the user may not give a file away
    calls.Fail(WriteStep::Owner, WriteFault::NotPermitted);
    // A file on disk is held open until its object goes, and Windows' classic rename
    // replaces no file held open: the next check comes after it.
    auto refused = std::make_unique<DiskFile>(path, LinkPolicy::RefuseLinks, calls.calls());
    const FileCheckOutcome outcome = CheckFile(path, *refused, base, counters, report, options);
    refused.reset();
    EXPECT_EQ(outcome.resultCode, ResultCode::ReadError);
    EXPECT_EQ(outcome.failure, "Cannot create file " + path);
    ASSERT_EQ(rows.size(), 1U);
    ResultRow expected = ReadErrorRow(path);
    expected.reason = outcome.reason;
    EXPECT_EQ(rows[0], expected);
    EXPECT_NE(rows[0].reason.find("cannot be kept"), std::string::npos) << rows[0].reason;
    EXPECT_EQ(guard.told, (std::vector<std::string>{"before " + path, "failed " + path}));
    EXPECT_EQ(ReadBytes(path), infected);

    // Cured twice over: the guard hears once after the last write-back, of the file it left.
    guard.told.clear();
    rows.clear();
    DiskFile disk(path, LinkPolicy::RefuseLinks);
    EXPECT_EQ(CheckFile(path, disk, base, counters, report, options).cures, 2);
    EXPECT_EQ(guard.told, (std::vector<std::string>{"before " + path, "after " + path}));
    const auto [device, inode] = test::IdentityOf(path);
    ASSERT_TRUE(guard.leftBehind.has_value());
    EXPECT_EQ(*guard.leftBehind, (FileIdentity{device, inode}));
}

}  // namespace
}  // namespace korvax
