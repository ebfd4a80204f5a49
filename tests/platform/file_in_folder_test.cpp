// A file read once and replaced through its folder: under a failing disk every step can
// fail and the original keeps every byte; a file or folder swapped for a link after the
// read is never written through; the replacement keeps the file's metadata.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "platform/file_in_folder.h"
#include "platform/posix/file_write_calls.h"
#include "platform/whole_file.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempFolder;

enum class Step { Create, Write, Fchown, Fchmod, Fsetxattr, Fsync, Close, Link, Rename };
const char* const kStepNames[] = {"create", "write", "fchown", "fchmod", "fsetxattr",
                                  "fsync",  "close", "link",   "rename"};

// The system's calls, counted by step. Writes go through in pieces of at most 4 KiB, so a
// replacement takes many of them; `unnamed` false makes the file system refuse unnamed
// files, as some do, so that the named fallback runs. The `fail`-th call of `failing`
// fails with `error` (0: none fails).
class FaultyCalls : public FileWriteCalls {
public:
    FaultyCalls(bool unnamed, Step failing = Step::Create, int fail = 0, int error = 0)
        : unnamed_(unnamed), failing_(failing), fail_(fail), error_(error) {}

    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        if ((flags & O_TMPFILE) == O_TMPFILE && !unnamed_) return refuse(EOPNOTSUPP);
        return failsNow(Step::Create) ? -1 : FileWriteCalls::OpenAt(folder, name, flags, mode);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        return failsNow(Step::Write) ? -1 : FileWriteCalls::Write(fd, data, std::min<std::size_t>(size, 4096));
    }
    int Fchown(int fd, uid_t owner, gid_t group) override {
        return failsNow(Step::Fchown) ? -1 : FileWriteCalls::Fchown(fd, owner, group);
    }
    int Fchmod(int fd, mode_t mode) override { return failsNow(Step::Fchmod) ? -1 : FileWriteCalls::Fchmod(fd, mode); }
    int Fsetxattr(int fd, const char* name, const void* value, std::size_t size, int flags) override {
        return failsNow(Step::Fsetxattr) ? -1 : FileWriteCalls::Fsetxattr(fd, name, value, size, flags);
    }
    int Fsync(int fd) override { return failsNow(Step::Fsync) ? -1 : FileWriteCalls::Fsync(fd); }
    int Close(int fd) override {
        // A close that reports a late write error has closed the descriptor all the same.
        const int result = FileWriteCalls::Close(fd);
        return failsNow(Step::Close) ? -1 : result;
    }
    int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        return failsNow(Step::Link) ? -1 : FileWriteCalls::LinkAt(fromFolder, from, toFolder, to, flags);
    }
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to) override {
        return failsNow(Step::Rename) ? -1 : FileWriteCalls::RenameAt(fromFolder, from, toFolder, to);
    }

    std::map<Step, int> calls;

private:
    bool failsNow(Step step) {
        if (++calls[step] != fail_ || step != failing_) return false;
        errno = error_;
        return true;
    }
    int refuse(int error) {
        errno = error;
        return -1;
    }

    bool unnamed_;
    Step failing_;
    int fail_;
    int error_;
};

std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

// Whether the folder's file system keeps user attributes (tmpfs of older kernels does not).
bool KeepsUserAttributes(const std::string& path) {
    return ::setxattr(path.c_str(), "user.korvax.probe", "1", 1, 0) == 0 &&
           ::removexattr(path.c_str(), "user.korvax.probe") == 0;
}

class Replacement : public ::testing::Test {
protected:
    void SetUp() override {
        path = folder.write("program.exe", original);
        ASSERT_EQ(::chmod(path.c_str(), 0751), 0);
        attributes = KeepsUserAttributes(path);
        if (attributes) {
            ASSERT_EQ(::setxattr(path.c_str(), "user.origin", "kept", 4, 0), 0);
        }
    }

    void expectOriginal() const {
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0751U);
    }

    TempFolder folder;
    const Bytes original = test::SampleProgram(64 * 1024);
    const Bytes replacement = Bytes(100 * 1024, 0x5A);
    std::string path;
    bool attributes = false;
};

TEST_F(Replacement, AFailureAtAnyCallOfAnyStepLeavesTheOriginalWholeAndNothingBeside) {
    int tried = 0;
    for (const bool unnamed : {true, false}) {
        // How many calls of each step a replacement makes when nothing fails.
        FaultyCalls counting(unnamed);
        ReplaceFileContents(path, replacement, counting);
        ASSERT_EQ(ReadBytes(path), replacement);
        ASSERT_GT(counting.calls[Step::Write], 20);
        folder.write("program.exe", original);  // back to the original, in place

        for (const auto& [step, count] : counting.calls) {
            for (int k = 1; k <= count; ++k) {
                // Every call of the short steps; of the many writes the first, second, one
                // in the middle and the last.
                if (step == Step::Write && k > 2 && k != count / 2 && k != count) continue;
                for (const int error : {EIO, ENOSPC, EDQUOT}) {
                    SCOPED_TRACE(::testing::Message() << (unnamed ? "unnamed" : "named") << " replacement, "
                                                      << kStepNames[static_cast<int>(step)] << " call " << k
                                                      << " fails with " << std::strerror(error));
                    FaultyCalls calls(unnamed, step, k, error);
                    EXPECT_THROW(ReplaceFileContents(path, replacement, calls), Failure);
                    expectOriginal();
                    if (attributes) {
                        char value[8] = {};
                        EXPECT_EQ(::getxattr(path.c_str(), "user.origin", value, sizeof value), 4);
                    }
                    ++tried;
                }
            }
        }
    }
    EXPECT_GT(tried, 60);
}

TEST_F(Replacement, TheFilesMetadataAndItsOtherNamesAreWhatTheyWere) {
    const std::string other = folder.file("other-name.exe");
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    const bool acl = std::system(("setfacl -m u:nobody:r '" + path + "' 2>/dev/null").c_str()) == 0;
    const auto listing = [](const std::string& file) {
        const std::string out = file + ".acl";
        std::system(("getfacl -c '" + file + "' > '" + out + "' 2>/dev/null").c_str());
        const Bytes text = ReadBytes(out);
        std::filesystem::remove(out);
        return text;
    };
    const Bytes aclBefore = acl ? listing(path) : Bytes{};

    ReplaceFileContents(path, replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, acl ? (0751U & ~0070U) | 0050U : 0751U);
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(path.c_str(), "user.origin", value, sizeof value), 4);
        EXPECT_EQ(std::string(value, 4), "kept");
    } else {
        std::cout << "[   SKIP   ] user attributes: the file system does not keep them\n";
    }
    if (acl) {
        EXPECT_EQ(listing(path), aclBefore);
    } else {
        std::cout << "[   SKIP   ] ACLs: setfacl is missing or the file system has none\n";
    }
    // A hard link is another name of the old file: it keeps the old bytes.
    EXPECT_EQ(ReadBytes(other), original);
}

TEST_F(Replacement, AFileSwappedForALinkAfterTheReadIsNeverWrittenThrough) {
    const Bytes victimBytes = test::BytesOf("the victim's own bytes");
    const std::string victim = folder.write("elsewhere/victim.exe", victimBytes);

    // The file itself: read, then swapped for a link to the victim.
    {
        FileInFolder file(path, LinkPolicy::RefuseLinks);
        EXPECT_EQ(file.ReadAll(), original);
        std::filesystem::rename(path, folder.file("moved.exe"));
        std::filesystem::create_symlink(victim, path);
        EXPECT_THROW(file.Replace(replacement), FileChangedDuringCheck);
        EXPECT_EQ(ReadBytes(victim), victimBytes);
        EXPECT_TRUE(std::filesystem::is_symlink(path));
        EXPECT_EQ(ReadBytes(folder.file("moved.exe")), original);
    }
    // Swapped for another regular file: not the file that was read either.
    const std::string plain = folder.write("plain.exe", original);
    {
        FileInFolder file(plain, LinkPolicy::RefuseLinks);
        file.ReadAll();
        std::filesystem::remove(plain);
        folder.write("plain.exe", victimBytes);
        EXPECT_THROW(file.Replace(replacement), FileChangedDuringCheck);
        EXPECT_EQ(ReadBytes(plain), victimBytes);
    }
    // A folder above it, swapped for a link to another folder: the replacement goes to
    // the folder that was opened, over the file that was read, and nowhere else.
    const std::string inner = folder.write("tree/sub/program.exe", original);
    const std::string decoy = folder.write("decoy/sub/program.exe", victimBytes);
    {
        FileInFolder file(inner, LinkPolicy::RefuseLinks);
        file.ReadAll();
        std::filesystem::rename(folder.path() / "tree", folder.path() / "tree.old");
        std::filesystem::create_directory_symlink(folder.path() / "decoy", folder.path() / "tree");
        file.Replace(replacement);
        EXPECT_EQ(ReadBytes(decoy), victimBytes);
        EXPECT_EQ(ReadBytes((folder.path() / "tree.old/sub/program.exe").string()), replacement);
    }
    // Links already standing in a collected path when it is opened: refused at the open.
    EXPECT_THROW(FileInFolder(inner, LinkPolicy::RefuseLinks), FileChangedDuringCheck);
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks), FileChangedDuringCheck);
    // A path a user typed is resolved once: the link's target is read.
    FileInFolder typed(path, LinkPolicy::ResolveOnce);
    EXPECT_EQ(typed.ReadAll(), victimBytes);
}

// The system's calls, but fchown says yes without changing anything, as a file system
// that ignores owners can.
class FchownThatChangesNothing : public FileWriteCalls {
public:
    int Fchown(int /*fd*/, uid_t /*owner*/, gid_t /*group*/) override { return 0; }
};

TEST_F(Replacement, AnOwnerThatCannotBeKeptStopsTheReplacementBeforeAnythingIsWritten) {
    // fchown refused (EPERM: a user who may not give a file away), at every fallback.
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed replacement" : "named replacement");
        FaultyCalls calls(unnamed, Step::Fchown, 1, EPERM);
        FileInFolder file(path, LinkPolicy::RefuseLinks, calls);
        try {
            file.Replace(replacement);
            ADD_FAILURE() << "replaced without its owner";
        } catch (const OwnerNotKept& failure) {
            EXPECT_EQ(std::string(failure.what()), "Cannot create file " + path);
            EXPECT_NE(failure.reason().find("cannot be kept"), std::string::npos) << failure.reason();
            EXPECT_EQ(failure.reason().find(path), std::string::npos) << failure.reason();
            EXPECT_EQ(failure.reason().find('\n'), std::string::npos) << failure.reason();
        }
        expectOriginal();
        EXPECT_EQ(calls.calls[Step::Fchmod], 0);  // nothing set on a file that is dropped
    }
    // Another user's set-user-ID program, on a file system that says yes to an owner it
    // never gives: the owner is looked at, not taken on trust. Only root can make the file.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(path.c_str(), 04751), 0);
        FchownThatChangesNothing calls;
        EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, calls).Replace(replacement), OwnerNotKept);
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534U);
        EXPECT_EQ(info.st_mode & 07777, 04751U);

        // Where the owner can be given, it is, and the set-id bits stay with it.
        FileInFolder(path, LinkPolicy::RefuseLinks).Replace(replacement);
        EXPECT_EQ(ReadBytes(path), replacement);
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534U);
        EXPECT_EQ(info.st_gid, 65534U);
        EXPECT_EQ(info.st_mode & 07777, 04751U);
    }
}

TEST_F(Replacement, AReplacementAskedForAnOwnerAndModeGetsThemNotThoseOfTheFile) {
    // What a restore asks for: the owner and mode it recorded, whatever the file has now.
    FileInFolder file(path, LinkPolicy::RefuseLinks);
    file.Replace(replacement, FileOwnership{::geteuid(), ::getegid(), 0640});
    EXPECT_EQ(ReadBytes(path), replacement);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    // The object follows its own replacement: a second one goes over it.
    EXPECT_EQ(file.inode(), static_cast<std::uint64_t>(info.st_ino));
    if (::geteuid() == 0) {
        file.Replace(original, FileOwnership{65534, 65534, 02750});
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534U);
        EXPECT_EQ(info.st_gid, 65534U);
        EXPECT_EQ(info.st_mode & 07777, 02750U);
        EXPECT_EQ(ReadBytes(path), original);
    }
}

TEST(AbsolutePath, TheCurrentFolderComesFirstAndNoLinkIsResolved) {
    TempFolder folder;
    std::filesystem::create_directories(folder.path() / "real/scan");
    std::filesystem::create_directory_symlink(folder.path() / "real", folder.path() / "link");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path() / "real");
    const std::string here = (folder.path() / "real").string();
    EXPECT_EQ(AbsolutePath("scan/A.EXE"), here + "/scan/A.EXE");
    EXPECT_EQ(AbsolutePath(".//scan/./A.EXE"), here + "/scan/A.EXE");
    EXPECT_EQ(AbsolutePath("../real/scan/A.EXE"), here + "/scan/A.EXE");
    EXPECT_EQ(AbsolutePath(""), here);
    std::filesystem::current_path(before);
    // Absolute paths only lose what names no folder; a link stays a link.
    const std::string link = (folder.path() / "link").string();
    EXPECT_EQ(AbsolutePath(link + "/scan//A.EXE"), link + "/scan/A.EXE");
    EXPECT_EQ(AbsolutePath("/a/./b/../c/"), "/a/c");
    EXPECT_EQ(AbsolutePath("/.."), "/");
    EXPECT_EQ(AbsolutePath("/odd\nname\xFF"), "/odd\nname\xFF");
}

TEST(CreateFileWhole, ANewFileAppearsWholeOrNotAtAllAndNeverReplacesOne) {
    for (const bool unnamed : {true, false}) {
        TempFolder folder;
        const std::string path = folder.file("fresh.kvd");
        const Bytes bytes(10000, 0x11);
        FaultyCalls failing(unnamed, Step::Write, 2, ENOSPC);
        EXPECT_THROW(CreateFileWhole(path, bytes, failing), Failure);
        EXPECT_TRUE(NamesIn(folder.path()).empty());

        FaultyCalls calls(unnamed);
        CreateFileWhole(path, bytes, calls);
        EXPECT_EQ(ReadBytes(path), bytes);
        EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"fresh.kvd"});
        EXPECT_THROW(CreateFileWhole(path, Bytes(5, 0), calls), Failure);  // it exists now
        EXPECT_EQ(ReadBytes(path), bytes);
        EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"fresh.kvd"});
    }
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

TEST(FileRead, ReadsEveryByteWhateverSizeTheFileReports) {
    // Sizes around the step by which the buffer grows, read exactly as stored.
    TempFolder folder;
    for (const std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 300001u}) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + size);
        const std::string path = folder.write("sized.exe", bytes);
        EXPECT_EQ(FileInFolder(path, LinkPolicy::RefuseLinks).ReadAll(), bytes) << size;
        EXPECT_EQ(FileInFolder(path, LinkPolicy::RefuseLinks).ReadAll(static_cast<std::int64_t>(size)), bytes) << size;
        if (size > 0) {
            EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks).ReadAll(static_cast<std::int64_t>(size) - 1),
                         Failure)
                << size;
        }
    }
    // A file that reports no size but has bytes (as one still growing would): read to its
    // end, and refused once it runs past the limit.
    const std::string reportsNothing = "/proc/self/cmdline";
    struct stat info {};
    ASSERT_EQ(::stat(reportsNothing.c_str(), &info), 0);
    ASSERT_EQ(info.st_size, 0);
    const Bytes held = ReadBytes(reportsNothing);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(FileInFolder(reportsNothing, LinkPolicy::ResolveOnce).ReadAll(), held);
    EXPECT_THROW(FileInFolder(reportsNothing, LinkPolicy::ResolveOnce).ReadAll(static_cast<std::int64_t>(held.size()) - 1),
                 Failure);
}

}  // namespace
}  // namespace korvax
