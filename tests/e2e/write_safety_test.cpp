// What a cure and an update write, end to end, when the disk fails, when another user
// swaps things in a folder they own between the read and the write-back, and when the
// program is killed in the middle: the programs as a user runs them, disturbed from
// outside by a preload library (write_faults.cpp).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/xattr.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "language/signature_source.h"
#include "run_program.h"
#include "test_support.h"

namespace korvax {
namespace {

using e2e::RunProgram;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

const std::string kScan = KORVAX_SCAN_PATH;
const std::string kTool = KVDTOOL_PATH;
const std::string kPreload = std::string("LD_PRELOAD=") + WRITE_FAULTS_PATH;
// Sanitizer builds insist on their runtime coming first; the preload library does.
const std::string kAsanOrder = "ASAN_OPTIONS=verify_asan_link_order=0";

std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

class WriteSafety : public ::testing::Test {
protected:
    void SetUp() override {
        database = folder.write("db/virbase.kvd", AssembleSource(R"(
            entry "Tail.A"
            search rel 0 pattern "AAAA"
            size cut 4
        )"));
    }
    std::string root() const { return folder.file("tree"); }

    test::TempFolder folder;
    std::string database;
};

TEST_F(WriteSafety, AFileSwappedForALinkAfterTheReadIsNeverWrittenThrough) {
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string path = folder.write("tree/x.exe", infected);
    const Bytes victimBytes = WithMarkers(SampleProgram(500), "another user's file AAAA");
    const std::string victim = folder.write("victim/important.exe", victimBytes);

    const auto result = RunProgram(kScan, {"--db", database, root()}, "",
                                   {kPreload, kAsanOrder, "KORVAX_SWAP_PATH=" + path, "KORVAX_SWAP_TARGET=" + victim});
    EXPECT_EQ(ReadBytes(victim), victimBytes);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadBytes(path + ".swapped"), infected);
    EXPECT_EQ(e2e::Lines(result.out)[0], path + "\tОшибка чтения\tПропущен");
    EXPECT_NE(result.err.find(path + ": changed during the check"), std::string::npos) << result.err;
    EXPECT_EQ(result.exitStatus, 1);  // the detection still counts
}

TEST_F(WriteSafety, AFolderSwappedForALinkAfterTheReadSendsTheCureOnlyToTheFileThatWasRead) {
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string path = folder.write("tree/sub/x.exe", infected);
    const Bytes decoyBytes = WithMarkers(SampleProgram(500), "a decoy AAAA");
    const std::string decoy = folder.write("decoy/x.exe", decoyBytes);

    const auto result =
        RunProgram(kScan, {"--db", database, root()}, "",
                   {kPreload, kAsanOrder, "KORVAX_SWAP_PATH=" + root() + "/sub",
                    "KORVAX_SWAP_TARGET=" + folder.file("decoy")});
    EXPECT_EQ(ReadBytes(decoy), decoyBytes);
    EXPECT_EQ(ReadBytes(root() + "/sub.swapped/x.exe"), SampleProgram());
    EXPECT_EQ(e2e::Lines(result.out)[0], path + "\tTail.A\tВылечен");
    EXPECT_EQ(result.exitStatus, 1);
}

TEST_F(WriteSafety, AFailingStepOfACureOrOfAnUpdateLosesNothingAndIsReported) {
    const Bytes infected = WithMarkers(SampleProgram(70000), "AAAA");
    const Bytes update = AssembleSource("entry \"New\"\nsearch rel 0 pattern \"NEWV\"\n");
    const std::string updatePath = folder.write("update.kvd", update);
    const Bytes databaseBytes = ReadBytes(database);
    int tried = 0;
    for (const char* step : {"create", "write", "fchown", "fchmod", "fsetxattr", "fsync", "close", "link", "rename"}) {
        for (const char* error : {"EIO", "ENOSPC", "EDQUOT"}) {
            SCOPED_TRACE(std::string(step) + " fails with " + error);
            const std::vector<std::string> fault = {kPreload, kAsanOrder, std::string("KORVAX_FAULT_STEP=") + step,
                                                    "KORVAX_FAULT_CALL=1", std::string("KORVAX_FAULT_ERRNO=") + error};
            // A cure: the file keeps its bytes, the row says so, nothing is left beside it.
            const std::string path = folder.write("cure/x.exe", infected);
            // An attribute to carry over, so that its copy is a step that can fail.
            ::setxattr(path.c_str(), "user.origin", "kept", 4, 0);
            auto result = RunProgram(kTool, {"scan", database, path}, "", fault);
            EXPECT_EQ(ReadBytes(path), infected);
            EXPECT_EQ(NamesIn(folder.file("cure")), std::set<std::string>{"x.exe"});
            EXPECT_EQ(e2e::Lines(result.out)[0], path + "\tОшибка чтения\tПропущен");
            EXPECT_EQ(result.exitStatus, 1);

            // An update: refused with the message, the database file as it was.
            ::setxattr(database.c_str(), "user.origin", "kept", 4, 0);
            result = RunProgram(kScan, {"--db", database, "--update", updatePath}, "", fault);
            EXPECT_EQ(result.exitStatus, 2);
            EXPECT_FALSE(result.err.empty());
            EXPECT_EQ(ReadBytes(database), databaseBytes);
            EXPECT_EQ(NamesIn(folder.file("db")), std::set<std::string>{"virbase.kvd"});
            ++tried;
        }
    }
    EXPECT_EQ(tried, 27);
    // Without a fault, both go through.
    const std::string path = folder.write("cure/x.exe", infected);
    EXPECT_EQ(RunProgram(kTool, {"scan", database, path}, "", {kPreload, kAsanOrder}).exitStatus, 1);
    EXPECT_EQ(ReadBytes(path), SampleProgram(70000));
    EXPECT_EQ(RunProgram(kScan, {"--db", database, "--update", updatePath}).exitStatus, 0);
}

TEST_F(WriteSafety, AKillAtAnyMomentOfACureLeavesTheOriginalOrTheCuredBytesAndNothingElse) {
    // 5 MB less a little, infected; the writes of its replacement slowed to pieces a
    // millisecond apart, so that kills land inside the write-back, not only around it.
    const Bytes program = SampleProgram(5 * 1024 * 1024 - 64);
    const Bytes infected = WithMarkers(program, "AAAA");
    const std::string path = folder.write("big/x.exe", infected);
    const std::vector<std::string> slow = {kPreload, kAsanOrder, "KORVAX_SLOW_WRITES=1"};

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunProgram(kTool, {"scan", database, path}, "", slow).exitStatus, 1);
    const auto whole = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(ReadBytes(path), program);

    const auto pieces = [](const std::string& err) {
        int count = 0;
        for (std::size_t at = err.find("piece written"); at != std::string::npos; at = err.find("piece written", at + 1)) {
            ++count;
        }
        return count;
    };
    // Kill points spread over the whole run and a little past it, so that some land before
    // the write-back, most inside it, and some after the rename.
    std::mt19937 random(20261209);
    const long span = std::chrono::duration_cast<std::chrono::microseconds>(whole).count() * 13 / 10;
    std::uniform_int_distribution<long> when(0, span);
    int before = 0;
    int during = 0;
    int original = 0;
    int cured = 0;
    int betweenNameAndRename = 0;
    for (int kill = 0; kill < 100; ++kill) {
        folder.write("big/x.exe", infected);
        e2e::RunningProgram running(kTool, {"scan", database, path}, "", slow);
        std::this_thread::sleep_for(std::chrono::microseconds(when(random)));
        running.signal(SIGKILL);
        const int written = pieces(running.finish().err);
        before += written == 0;
        during += written > 0 && written < 80;
        const Bytes after = ReadBytes(path);
        if (after == infected) {
            ++original;
        } else {
            ASSERT_EQ(after, program) << "kill " << kill << " left other bytes";
            ++cured;
        }
        std::set<std::string> names = NamesIn(folder.file("big"));
        names.erase("x.exe");
        if (!names.empty()) {
            // The replacement has a name for the two system calls from its naming to its
            // rename; a kill between them leaves it, whole, under our temporary name,
            // and the file itself untouched. Anything else is a fault.
            ASSERT_EQ(names.size(), 1U) << "kill " << kill;
            const std::string left = *names.begin();
            ASSERT_TRUE(left.starts_with(".x.exe.korvax-")) << "kill " << kill << " left " << left;
            ASSERT_EQ(ReadBytes(folder.file("big/" + left)), program) << "kill " << kill;
            ASSERT_EQ(after, infected);
            std::filesystem::remove(folder.file("big/" + left));
            ++betweenNameAndRename;
        }
    }
    std::cout << "[   INFO   ] 100 kills over " << span / 1000 << " ms: " << before
              << " before the write-back, " << during << " in the middle of its writes; " << original
              << " left the original, " << cured << " the cured file; " << betweenNameAndRename
              << " fell between naming the replacement and renaming it\n";
    EXPECT_GT(during, 0);
}

}  // namespace
}  // namespace korvax
