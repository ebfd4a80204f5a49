// The per-file check on disk where only Linux can make the fixture: symbolic links and
// permission bits. (Windows' reparse points are tested through the platform's seam.)
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "file_check_fixture.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

class FileCheckOnPosix : public FileCheck {};

TEST_F(FileCheckOnPosix, AWriteBackKeepsPermissionsAndWritesThroughLinks) {
    const std::string target = folder.write("real/target.exe", WithMarkers(SampleProgram(), "AAAA"));
    ASSERT_EQ(::chmod(target.c_str(), 0750), 0);
    const std::string link = folder.file("link.exe");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    const Check check = CheckAndCount(link, base);
    EXPECT_EQ(check.rows, (std::vector<ResultRow>{{link, "Layer.A", kCuredText, ResultCode::Cured}}));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), SampleProgram());
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750U);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path() / "real"), {}), 1);
}


// The file on disk, with a hook between the read and the first write-back: the moment
// at which another user swaps things in a folder they own.
class SwappedBeforeTheWrite : public FileAccess {
public:
    SwappedBeforeTheWrite(const std::string& path, std::function<void()> swap)
        : disk_(path, LinkPolicy::RefuseLinks), swap_(std::move(swap)) {}
    Bytes Load(std::int64_t maxSize) override { return disk_.Load(maxSize); }
    void Save(std::span<const std::uint8_t> image) override {
        if (swap_) std::exchange(swap_, nullptr)();
        disk_.Save(image);
    }

private:
    DiskFile disk_;
    std::function<void()> swap_;
};

TEST_F(FileCheckOnPosix, AFileSwappedForALinkDuringTheCheckIsReportedAndNothingIsWrittenThrough) {
    const Bytes victimBytes = WithMarkers(SampleProgram(), "another user's file");
    const std::string victim = folder.write("victim/important.exe", victimBytes);
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string path = folder.write("owned/x.exe", infected);

    SwappedBeforeTheWrite file(path, [&] {
        std::filesystem::rename(path, folder.file("owned/x.old"));
        std::filesystem::create_symlink(victim, path);
    });
    DetectionCounters counters;
    std::vector<ResultRow> rows;
    const FileCheckOutcome outcome =
        CheckFile(path, file, base, counters, [&](const ResultRow& row) { rows.push_back(row); });

    ResultRow expected = ReadErrorRow(path);
    expected.changedDuringCheck = true;
    EXPECT_EQ(rows, std::vector<ResultRow>{expected});
    EXPECT_TRUE(outcome.changedDuringCheck);
    EXPECT_EQ(counters.VirusCount.load(), 1);
    EXPECT_EQ(counters.CuredCount.load(), 0);
    EXPECT_EQ(ReadBytes(victim), victimBytes);
    EXPECT_EQ(ReadBytes(folder.file("owned/x.old")), infected);

    // A link that stands in a collected path before the check starts: refused at once.
    rows.clear();
    CheckFile(path, LinkPolicy::RefuseLinks, base, counters, [&](const ResultRow& row) { rows.push_back(row); });
    EXPECT_EQ(rows, std::vector<ResultRow>{expected});
    EXPECT_EQ(ReadBytes(victim), victimBytes);
}


}  // namespace
}  // namespace korvax
