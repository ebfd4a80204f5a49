// The atomic replacement under a failing disk: every step can fail, and whichever does,
// the original keeps every byte and nothing is left beside it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/failure.h"
#include "platform/whole_file.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempFolder;

enum class Step { Open, Write, Fchmod, Fsync, Close, Rename };

// The system's calls, except that one step fails with `error`: a write once `budget`
// bytes have gone through (the way a disk that fills up fails), any other step at once.
class FailingCalls : public FileWriteCalls {
public:
    FailingCalls(Step step, int error, std::size_t budget = 0) : step_(step), error_(error), budget_(budget) {}

    int Open(const char* path, int flags, mode_t mode) override {
        return fails(Step::Open) ? -1 : FileWriteCalls::Open(path, flags, mode);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        if (step_ != Step::Write) return FileWriteCalls::Write(fd, data, size);
        if (written_ >= budget_) return failure();
        const ssize_t n = FileWriteCalls::Write(fd, data, std::min(size, budget_ - written_));
        if (n > 0) written_ += static_cast<std::size_t>(n);
        return n;
    }
    int Fchmod(int fd, mode_t mode) override { return fails(Step::Fchmod) ? -1 : FileWriteCalls::Fchmod(fd, mode); }
    int Fsync(int fd) override { return fails(Step::Fsync) ? -1 : FileWriteCalls::Fsync(fd); }
    int Close(int fd) override {
        // A close that reports a late write error has closed the descriptor all the same.
        const int result = FileWriteCalls::Close(fd);
        return fails(Step::Close) ? -1 : result;
    }
    int Rename(const char* from, const char* to) override {
        return fails(Step::Rename) ? -1 : FileWriteCalls::Rename(from, to);
    }

private:
    bool fails(Step step) {
        if (step != step_) return false;
        errno = error_;
        return true;
    }
    ssize_t failure() {
        errno = error_;
        return -1;
    }

    Step step_;
    int error_;
    std::size_t budget_;
    std::size_t written_ = 0;
};

std::size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(ReplaceFileContents, AFailureAtAnyStepLeavesTheOriginalWholeAndNothingBeside) {
    TempFolder folder;
    const Bytes original = test::SampleProgram(64 * 1024);
    const Bytes replacement(100 * 1024, 0x5A);
    const std::string path = folder.write("program.exe", original);
    ASSERT_EQ(::chmod(path.c_str(), 0751), 0);

    struct Case {
        Step step;
        std::size_t budget;
        const char* message;
    };
    const std::string cannotCreate = "Cannot create file " + path;
    const Case cases[] = {
        {Step::Open, 0, cannotCreate.c_str()},        {Step::Write, 0, "Stream write error"},
        {Step::Write, 1, "Stream write error"},       {Step::Write, 4096, "Stream write error"},
        {Step::Write, replacement.size() - 1, "Stream write error"},
        {Step::Fchmod, 0, cannotCreate.c_str()},      {Step::Fsync, 0, "Stream write error"},
        {Step::Close, 0, "Stream write error"},       {Step::Rename, 0, cannotCreate.c_str()},
    };
    for (const int error : {EIO, ENOSPC, EDQUOT}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "step " << static_cast<int>(c.step) << ", budget " << c.budget
                                              << ", errno " << error);
            FailingCalls calls(c.step, error, c.budget);
            try {
                ReplaceFileContents(path, replacement, calls);
                ADD_FAILURE() << "the replacement did not fail";
            } catch (const Failure& failure) {
                EXPECT_EQ(std::string(failure.what()), c.message);
            }
            EXPECT_EQ(ReadBytes(path), original);
            EXPECT_EQ(EntriesIn(folder.path()), 1U);
            struct stat info {};
            ASSERT_EQ(::stat(path.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0751U);
        }
    }

    // With every call going through, the file takes the new bytes and keeps its mode.
    ReplaceFileContents(path, replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
    EXPECT_EQ(EntriesIn(folder.path()), 1U);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751U);
}

TEST(WriteFileWhole, ANewFileAppearsWholeOrNotAtAll) {
    TempFolder folder;
    const std::string path = folder.file("fresh.kvd");
    const Bytes bytes(10000, 0x11);
    FailingCalls calls(Step::Write, ENOSPC, 5000);
    EXPECT_THROW(WriteFileWhole(path, bytes, calls), Failure);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(EntriesIn(folder.path()), 0U);

    WriteFileWhole(path, bytes);
    EXPECT_EQ(ReadBytes(path), bytes);
}

}  // namespace
}  // namespace korvax
