// Cures and restores run by one user over files of another: a cure never hands a file to
// the user who checks it (a set-user-ID program, a file shared through an ACL), and a
// restore writes only the very file its cure left, with the owner and mode it recorded,
// wherever it is run from, and says a file is as it was only after reading it.
//
// The checks run as root (the administrator) or as nobody (a user of a shared folder),
// the way the programs meet them; what another user would do in between is done here as
// root standing in for them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>

#include "language/signature_source.h"
#include "run_program.h"
#include "test_support.h"

namespace korvax {
namespace {

using e2e::Lines;
using e2e::ProgramResult;
using e2e::RunProgram;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

const std::string kScan = KORVAX_SCAN_PATH;
const std::string kPreload = std::string("LD_PRELOAD=") + WRITE_FAULTS_PATH;
const std::string kAsanOrder = "ASAN_OPTIONS=verify_asan_link_order=0";
constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 4321;  // a user of the shared folder; needs no account

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) ADD_FAILURE() << "cannot stat " << path;
    return info;
}

// Gives `user` read and write access to `path` through its POSIX ACL, written as the
// kernel keeps it (version 2, then tag, permissions and id of each entry, in tag order).
bool ShareThroughAcl(const std::string& path, uid_t user) {
    struct Entry {
        std::uint16_t tag;
        std::uint16_t permissions;
        std::uint32_t id;
    };
    constexpr std::uint32_t kNoId = 0xFFFFFFFF;
    const Entry entries[] = {{0x01, 6, kNoId}, {0x02, 6, user}, {0x04, 0, kNoId}, {0x10, 6, kNoId}, {0x20, 0, kNoId}};
    const std::uint32_t version = 2;
    std::string value(reinterpret_cast<const char*>(&version), sizeof version);
    for (const Entry& entry : entries) value.append(reinterpret_cast<const char*>(&entry), sizeof entry);
    return ::setxattr(path.c_str(), "system.posix_acl_access", value.data(), value.size(), 0) == 0;
}

class CureRestore : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            // Other users' files can only be made by root; CI runs as root, so it never
            // gets here.
            if (std::getenv("CI") != nullptr) FAIL() << "CI must run these tests as root";
            GTEST_SKIP() << "needs root to make files of other users";
        }
        // The cure cuts the four marker bytes off: the cured bytes are the program itself.
        database = folder.write("db/virbase.kvd", AssembleSource(R"(
            entry "Tail.A"
            search rel 0 pattern "AAAA"
            size cut 4
        )"));
        ::chmod(folder.path().c_str(), 0755);
        ::chmod(folder.file("db").c_str(), 0755);
    }

    // korvax-scan as root, in `workingFolder` when one is given.
    ProgramResult asRoot(const std::vector<std::string>& arguments, const std::string& workingFolder = "",
                         const std::vector<std::string>& environment = {}) {
        return RunProgram(kScan, arguments, workingFolder, environment);
    }
    // A program as nobody, without any group but nogroup.
    ProgramResult asNobody(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNobody),
                                        "--clear-groups", program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return RunProgram("/usr/bin/setpriv", all, "", {e2e::DataHomeOf(kNobody)});
    }
    // An infected program of `owner` at `name`, in a folder of that owner.
    std::string userFile(const std::string& name, uid_t owner, mode_t mode) {
        const std::string path = folder.write(name, infected);
        const std::string parent = std::filesystem::path(path).parent_path();
        EXPECT_EQ(::chown(parent.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(parent.c_str(), 0755), 0);
        EXPECT_EQ(::chown(path.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }

    test::TempFolder folder;
    std::string database;
    const Bytes program = SampleProgram(4000);
    const Bytes infected = WithMarkers(program, "AAAA");
};

TEST_F(CureRestore, ACureNeverHandsAFileToTheUserWhoChecksIt) {
    // A folder of a group: another user's files there, which nobody may write to through
    // the group or an ACL, but may not give back to their owner.
    const std::string shared = folder.file("shared");
    std::filesystem::create_directories(shared);
    ASSERT_EQ(::chown(shared.c_str(), kOtherUser, kNobody), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0775), 0);
    const std::string setuid = folder.write("shared/tool.exe", infected);
    ASSERT_EQ(::chown(setuid.c_str(), kOtherUser, kNobody), 0);
    ASSERT_EQ(::chmod(setuid.c_str(), 04775), 0);
    const std::string private_ = folder.write("shared/notes.exe", infected);
    ASSERT_EQ(::chown(private_.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(::chmod(private_.c_str(), 0600), 0);
    const bool acl = ShareThroughAcl(private_, kNobody);
    if (!acl) std::cerr << "note: this file system keeps no ACL; the shared file is checked without one\n";
    const struct stat setuidBefore = StatOf(setuid);
    const struct stat privateBefore = StatOf(private_);
    // nobody keeps backups in a folder of its own.
    const std::string home = folder.file("home");
    std::filesystem::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
    const std::string backups = home + "/backups";

    const ProgramResult result = asNobody(kScan, {"--db", database, "--backup", backups, "--sort", shared});
    EXPECT_EQ(result.exitStatus, 1) << result.err;  // the detections count
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_GE(lines.size(), 2U) << result.out;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2),
              (std::vector<std::string>{private_ + "\tОшибка чтения\tПропущен", setuid + "\tОшибка чтения\tПропущен"}));
    EXPECT_NE(result.err.find("korvax-scan: " + setuid + ": its owner and group (uid 4321, gid 65534) cannot be kept"),
              std::string::npos)
        << result.err;
    if (acl) {
        EXPECT_NE(result.err.find("korvax-scan: " + private_ + ": its owner and group (uid 4321, gid 4321) cannot be kept"),
                  std::string::npos)
            << result.err;
    }
    // Nothing written: the same file, its owner, its set-user-ID bit; nothing beside it.
    for (const auto& [path, before] : {std::pair{setuid, setuidBefore}, std::pair{private_, privateBefore}}) {
        SCOPED_TRACE(path);
        const struct stat now = StatOf(path);
        EXPECT_EQ(ReadBytes(path), infected);
        EXPECT_EQ(now.st_ino, before.st_ino);
        EXPECT_EQ(now.st_uid, kOtherUser);
        EXPECT_EQ(now.st_gid, before.st_gid);
        EXPECT_EQ(now.st_mode, before.st_mode);
    }
    EXPECT_EQ(StatOf(setuid).st_mode & 07777, 04775U);
    EXPECT_EQ(NamesIn(shared), (std::set<std::string>{"tool.exe", "notes.exe"}));
    // The originals kept before the write-backs that failed are withdrawn: nothing was
    // cured, so there is nothing to restore.
    EXPECT_EQ(NamesIn(backups), std::set<std::string>{"index.jsonl"});
    const ProgramResult restore = asNobody(kScan, {"--restore", backups});
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(Lines(restore.out), (std::vector<std::string>{"Восстановлено: 0", "Отказано: 0"}));

    // Root may give the file back to its owner: cured, with its owner, group and set-id bit.
    const ProgramResult byRoot = asRoot({"--db", database, shared});
    EXPECT_EQ(byRoot.exitStatus, 1) << byRoot.err;
    EXPECT_EQ(ReadBytes(setuid), program);
    const struct stat cured = StatOf(setuid);
    EXPECT_EQ(cured.st_uid, kOtherUser);
    EXPECT_EQ(cured.st_gid, kNobody);
    EXPECT_EQ(cured.st_mode & 07777, 04775U);
}

TEST_F(CureRestore, AFailingFchownLeavesTheFileUntouchedAndNothingBesideIt) {
    // A user who may not give the replacement the file's owner, as fchown says it (EPERM).
    const std::string path = userFile("tree/x.exe", kNobody, 0755);
    const std::string backups = folder.file("backups");
    const ProgramResult result =
        asRoot({"--db", database, "--backup", backups, folder.file("tree")}, "",
               {kPreload, kAsanOrder, "KORVAX_FAULT_STEP=fchown", "KORVAX_FAULT_CALL=1", "KORVAX_FAULT_ERRNO=EPERM"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Lines(result.out)[0], path + "\tОшибка чтения\tПропущен");
    EXPECT_NE(result.err.find(path + ": its owner and group (uid 65534, gid 65534) cannot be kept"), std::string::npos)
        << result.err;
    EXPECT_EQ(ReadBytes(path), infected);
    EXPECT_EQ(StatOf(path).st_uid, kNobody);
    EXPECT_EQ(NamesIn(folder.file("tree")), std::set<std::string>{"x.exe"});
    EXPECT_EQ(NamesIn(backups), std::set<std::string>{"index.jsonl"});
}

TEST_F(CureRestore, ARestoreWritesOnlyTheFileItsCureLeftWithTheOwnerAndModeItRecorded) {
    const std::string path = userFile("tree/tool.exe", kNobody, 0755);
    const std::string backups = folder.file("backups");
    ASSERT_EQ(asRoot({"--db", database, "--backup", backups, folder.file("tree")}).exitStatus, 1);
    ASSERT_EQ(ReadBytes(path), program);

    // The user replaces the cured file by a hard link to a set-user-ID program of root's
    // (where hard-link protection is off; root plants it here in their stead). It holds
    // the very bytes the cure left, so its bytes alone cannot tell it from the cured file.
    const std::string helper = folder.write("sbin/helper.exe", program);
    ASSERT_EQ(::chmod(helper.c_str(), 04755), 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::link(helper.c_str(), path.c_str()), 0);
    const struct stat planted = StatOf(helper);

    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced" : "not forced");
        std::vector<std::string> arguments = {"--restore", backups};
        if (force) arguments.push_back("--force");
        const ProgramResult restore = asRoot(arguments);
        EXPECT_EQ(restore.exitStatus, 2) << restore.err;
        EXPECT_NE(restore.err.find(path + ": is not the file its cure left"), std::string::npos) << restore.err;
        // Root's program is not turned into a root-owned set-user-ID copy of the user's file.
        const struct stat now = StatOf(path);
        EXPECT_EQ(now.st_ino, planted.st_ino);
        EXPECT_EQ(ReadBytes(path), program);
        EXPECT_EQ(ReadBytes(helper), program);
        EXPECT_EQ(NamesIn(folder.file("tree")), std::set<std::string>{"tool.exe"});
    }

    // The file its cure left, whose mode its user changed since: put back with the mode
    // and owner recorded, not with the set-user-ID bit that stands on it now.
    const std::string own = userFile("mine/own.exe", kNobody, 0755);
    ASSERT_EQ(asRoot({"--db", database, "--backup", backups, folder.file("mine")}).exitStatus, 1);
    const ProgramResult chmod = asNobody("/bin/chmod", {"4777", own});
    ASSERT_EQ(chmod.exitStatus, 0) << chmod.err;
    ASSERT_EQ(StatOf(own).st_mode & 07777, 04777U);
    const ProgramResult restore = asRoot({"--restore", backups, own});
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(ReadBytes(own), infected);
    const struct stat restored = StatOf(own);
    EXPECT_EQ(restored.st_mode & 07777, 0755U);
    EXPECT_EQ(restored.st_uid, kNobody);
    EXPECT_EQ(restored.st_gid, kNobody);
}

TEST_F(CureRestore, ABackupNamesItsFileWhereverTheCheckAndTheRestoreRun) {
    // The same relative path in two folders: the check runs in x, the restore in y, where
    // the user keeps a clean copy of the program that was never checked.
    const std::string checked = userFile("x/scan/A.EXE", kNobody, 0755);
    const std::string copy = folder.write("y/scan/A.EXE", program);
    ASSERT_EQ(::chown(copy.c_str(), kNobody, kNobody), 0);
    const std::string x = folder.file("x");
    const std::string y = folder.file("y");
    const std::string backups = folder.file("backups");
    ASSERT_EQ(asRoot({"--db", database, "--backup", backups, "scan"}, x).exitStatus, 1);
    ASSERT_EQ(ReadBytes(checked), program);
    const struct stat copyBefore = StatOf(copy);

    // Named from y, scan/A.EXE is y's file, of which there is no backup.
    ProgramResult restore = asRoot({"--restore", backups, "scan/A.EXE"}, y);
    EXPECT_EQ(restore.exitStatus, 2) << restore.err;
    EXPECT_NE(restore.err.find(copy + ": no backup of it"), std::string::npos) << restore.err;
    EXPECT_EQ(ReadBytes(copy), program);
    EXPECT_EQ(ReadBytes(checked), program);

    // Named from x, however it is spelt, it is the file that was cured.
    restore = asRoot({"--restore", backups, ".//scan/./A.EXE"}, x);
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(Lines(restore.out)[0], checked + "\tTail.A\tВосстановлен");
    EXPECT_EQ(ReadBytes(checked), infected);

    // Everything, from y: x's file is as it was, and y's is never touched.
    restore = asRoot({"--restore", backups}, y);
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_NE(restore.err.find(checked + ": already as it was"), std::string::npos) << restore.err;
    EXPECT_EQ(ReadBytes(copy), program);
    EXPECT_EQ(StatOf(copy).st_ino, copyBefore.st_ino);
    EXPECT_EQ(ReadBytes(checked), infected);
}

TEST_F(CureRestore, AsItWasIsSaidOnlyOfAFileThatHoldsItsOriginal) {
    const std::string path = userFile("tree/tool.exe", kNobody, 0755);
    const std::string backups = folder.file("backups");
    ASSERT_EQ(asRoot({"--db", database, "--backup", backups, folder.file("tree")}).exitStatus, 1);
    ASSERT_EQ(asRoot({"--restore", backups}).exitStatus, 0);
    ASSERT_EQ(ReadBytes(path), infected);
    // Cured again, without a backup this time.
    ASSERT_EQ(asRoot({"--db", database, folder.file("tree")}).exitStatus, 1);
    ASSERT_EQ(ReadBytes(path), program);

    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced" : "not forced");
        std::vector<std::string> arguments = {"--restore", backups, path};
        if (force) arguments.push_back("--force");
        const ProgramResult restore = asRoot(arguments);
        EXPECT_EQ(restore.exitStatus, 2) << restore.err;
        EXPECT_EQ(restore.err.find("already as it was"), std::string::npos) << restore.err;
        EXPECT_NE(restore.err.find(path + ": no longer holds the original"), std::string::npos) << restore.err;
        EXPECT_EQ(Lines(restore.out), (std::vector<std::string>{"Восстановлено: 0", "Отказано: 1"}));
        EXPECT_EQ(ReadBytes(path), program);
    }
}

}  // namespace
}  // namespace korvax
