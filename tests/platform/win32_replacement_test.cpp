// The Win32 side of the file replacement, under Wine. A failing disk can fail any step and
// the original keeps every byte with nothing beside it; a file swapped after the read is
// never written; attributes, security descriptor and streams go over to the replacement;
// a read-only file, a file in use and a running program are refused, never a hang.
//
// Wine stores no security descriptor and no alternate data stream and makes no reparse
// point: what it cannot show is driven through the replacement's calls (FileWriteCalls)
// by calls that answer as Windows documents, and each such test checks that they were
// asked.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>
#include <set>
#include <string>

#include "platform/file_in_folder.h"
#include "platform/private_folder.h"
#include "platform/whole_file.h"
#include "platform/win32/file_write_calls.h"
#include "platform/win32/system_path.h"
#include "test_support.h"

namespace korvax {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::TempFolder;

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

DWORD AttributesOf(const std::string& path) { return ::GetFileAttributesW(win32::SystemPath(path)->c_str()); }

BY_HANDLE_FILE_INFORMATION InfoOf(const std::string& path) {
    const win32::OwnedHandle file(::CreateFileW(win32::SystemPath(path)->c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(file.valid() && ::GetFileInformationByHandle(file.get(), &info));
    return info;
}

bool EndsWith(const wchar_t* text, const wchar_t* end) {
    const std::wstring_view whole(text);
    return whole.ends_with(end);
}

enum class Step { Create, Write, Stream, Security, Attributes, Flush, Rename };
const char* const kStepNames[] = {"create", "write", "stream", "security", "attributes", "flush", "rename"};

// The system's calls, counted by step; the `fail`-th call of `failing` fails with `error`.
// Writes go through in pieces of at most 4 KiB, so a replacement takes many of them.
class FaultyCalls : public FileWriteCalls {
public:
    FaultyCalls(Step failing = Step::Create, int fail = 0, DWORD error = 0)
        : failing_(failing), fail_(fail), error_(error) {}

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        if (disposition == CREATE_NEW && failsNow(Step::Create)) return INVALID_HANDLE_VALUE;
        return FileWriteCalls::CreateFileW(path, access, share, disposition, flags);
    }
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override {
        if (failsNow(Step::Write)) return FALSE;
        return FileWriteCalls::WriteFile(file, data, std::min<DWORD>(size, 4096), written);
    }
    BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (kind == FileStreamInfo && failsNow(Step::Stream)) return FALSE;
        return FileWriteCalls::GetFileInformationByHandleEx(file, kind, info, size);
    }
    DWORD SetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSID owner, PSID group, PACL dacl) override {
        if (failsNow(Step::Security)) return error_;
        return FileWriteCalls::SetSecurityInfo(file, what, owner, group, dacl);
    }
    BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (kind == FileBasicInfo && failsNow(Step::Attributes)) return FALSE;
        if ((kind == FileRenameInfo || static_cast<int>(kind) == 22) && failsNow(Step::Rename)) return FALSE;
        return FileWriteCalls::SetFileInformationByHandle(file, kind, info, size);
    }
    BOOL FlushFileBuffers(HANDLE file) override {
        return failsNow(Step::Flush) ? FALSE : FileWriteCalls::FlushFileBuffers(file);
    }

    std::map<Step, int> calls;

private:
    bool failsNow(Step step) {
        if (++calls[step] != fail_ || step != failing_) return false;
        ::SetLastError(error_);
        return true;
    }

    Step failing_;
    int fail_;
    DWORD error_;
};

class Win32Replacement : public ::testing::Test {
protected:
    void SetUp() override {
        path = folder.write("program.exe", original);
        ASSERT_TRUE(::SetFileAttributesW(win32::SystemPath(path)->c_str(),
                                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    }

    void expectOriginal() const {
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
        EXPECT_EQ(AttributesOf(path), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                        FILE_ATTRIBUTE_ARCHIVE));
    }

    TempFolder folder;
    const Bytes original = test::SampleProgram(64 * 1024);
    const Bytes replacement = Bytes(100 * 1024, 0x5A);
    std::string path;
};

TEST_F(Win32Replacement, AFailureAtAnyCallOfAnyStepLeavesTheOriginalWholeAndNothingBeside) {
    // How many calls of each step a replacement makes when nothing fails.
    FaultyCalls counting;
    ReplaceFileContents(path, replacement, counting);
    ASSERT_EQ(ReadBytes(path), replacement);
    ASSERT_GT(counting.calls[Step::Write], 20);
    ASSERT_GT(counting.calls[Step::Security], 0);
    ASSERT_GT(counting.calls[Step::Rename], 0);
    folder.write("program.exe", original);  // back to the original, in place

    int tried = 0;
    for (const auto& [step, count] : counting.calls) {
        for (int k = 1; k <= count; ++k) {
            // Every call of the short steps; of the many writes the first, second, one in
            // the middle and the last.
            if (step == Step::Write && k > 2 && k != count / 2 && k != count) continue;
            for (const DWORD error : {DWORD{ERROR_DISK_FULL}, DWORD{ERROR_IO_DEVICE}, DWORD{ERROR_ACCESS_DENIED}}) {
                SCOPED_TRACE(::testing::Message() << kStepNames[static_cast<int>(step)] << " call " << k
                                                  << " fails with error " << error);
                FaultyCalls calls(step, k, error);
                EXPECT_THROW(ReplaceFileContents(path, replacement, calls), Failure);
                EXPECT_EQ(ReadBytes(path), original);
                EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
                ++tried;
            }
        }
    }
    EXPECT_GT(tried, 20);
}

// The system's calls, with what the replacement was given as its attributes and times
// kept: Wine keeps no creation time, Windows does.
class RecordingBasicInfo : public FileWriteCalls {
public:
    BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (kind == FileBasicInfo) given.push_back(*static_cast<const FILE_BASIC_INFO*>(info));
        return FileWriteCalls::SetFileInformationByHandle(file, kind, info, size);
    }
    std::vector<FILE_BASIC_INFO> given;
};

TEST_F(Win32Replacement, TheAttributesAndTheCreationTimeGoOverAndTheIdentityFollows) {
    const BY_HANDLE_FILE_INFORMATION before = InfoOf(path);
    RecordingBasicInfo calls;
    FileInFolder file(path, LinkPolicy::RefuseLinks, calls);
    EXPECT_EQ(file.ReadAll(), original);
    EXPECT_EQ(file.ownership().mode & FILE_ATTRIBUTE_HIDDEN, static_cast<std::uint32_t>(FILE_ATTRIBUTE_HIDDEN));
    file.Replace(replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
    EXPECT_EQ(AttributesOf(path), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                    FILE_ATTRIBUTE_ARCHIVE));
    const BY_HANDLE_FILE_INFORMATION after = InfoOf(path);
    ASSERT_EQ(calls.given.size(), 1U);
    EXPECT_EQ(calls.given[0].CreationTime.LowPart, before.ftCreationTime.dwLowDateTime);
    EXPECT_EQ(static_cast<DWORD>(calls.given[0].CreationTime.HighPart), before.ftCreationTime.dwHighDateTime);
    EXPECT_EQ(calls.given[0].LastWriteTime.QuadPart, 0);  // the system's own: the time of the cure
    // The object follows its own replacement: a second cure goes over the first.
    EXPECT_EQ(file.device(), after.dwVolumeSerialNumber);
    EXPECT_EQ(file.inode(), (static_cast<std::uint64_t>(after.nFileIndexHigh) << 32) | after.nFileIndexLow);
    file.Replace(original);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
    // A restore gives the attributes it recorded.
    file.Replace(replacement, FileOwnership{0, 0, FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(AttributesOf(path), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(Win32Replacement, AReadOnlyFileIsNeverWritten) {
    ASSERT_TRUE(::SetFileAttributesW(win32::SystemPath(path)->c_str(), FILE_ATTRIBUTE_READONLY));
    FileInFolder file(path, LinkPolicy::RefuseLinks);
    file.ReadAll();
    try {
        file.Replace(replacement);
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot create file " + path);
    }
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
    EXPECT_NE(AttributesOf(path) & FILE_ATTRIBUTE_READONLY, 0U);
    ::SetFileAttributesW(win32::SystemPath(path)->c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Another program holding the file: without any sharing it cannot even be read (a prompt
// failure, never a hang); with read sharing but no delete sharing it is read, and its
// replacement is refused as in use, before anything is made.
TEST_F(Win32Replacement, AFileAnotherProgramHoldsIsRefusedPromptlyAndKept) {
    {
        const win32::OwnedHandle held(::CreateFileW(win32::SystemPath(path)->c_str(), GENERIC_READ, 0, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks), Failure);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    FileInFolder file(path, LinkPolicy::RefuseLinks);
    EXPECT_EQ(file.ReadAll(), original);
    {
        const win32::OwnedHandle held(::CreateFileW(win32::SystemPath(path)->c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr));
        ASSERT_TRUE(held.valid());
        try {
            file.Replace(replacement);
            ADD_FAILURE() << "replaced a file another program holds";
        } catch (const FileInUse& failure) {
            EXPECT_EQ(std::string(failure.what()), "Cannot create file " + path);
            EXPECT_NE(failure.reason().find("in use"), std::string::npos) << failure.reason();
            EXPECT_EQ(failure.reason().find(path), std::string::npos) << failure.reason();
        }
        expectOriginal();
    }
    // Once it lets go, the same object replaces it.
    file.Replace(replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
}

// A program that runs from the file: Windows lets nobody replace it. The cure is refused
// as in use, and nothing is made or scheduled.
TEST_F(Win32Replacement, ARunningProgramIsRefusedAsInUse) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0U);
    const std::string program = folder.file("running.exe");
    ASSERT_TRUE(::CopyFileW(self, win32::SystemPath(program)->c_str(), TRUE));
    const Bytes before = ReadBytes(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + *win32::SystemPath(program) + L"\" --gtest_list_tests";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &process));
    const win32::OwnedHandle processHandle(process.hProcess);
    const win32::OwnedHandle thread(process.hThread);
    {
        FileInFolder file(program, LinkPolicy::RefuseLinks);
        EXPECT_THROW(file.Replace(replacement), FileInUse);
    }
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, 10000);
    EXPECT_EQ(ReadBytes(program), before);
    EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"program.exe", "running.exe"}));
}

TEST_F(Win32Replacement, AFileSwappedAfterTheReadIsNeverWritten) {
    const Bytes otherBytes = test::BytesOf("another file's own bytes");
    FileInFolder file(path, LinkPolicy::RefuseLinks);
    file.ReadAll();
    ASSERT_TRUE(::MoveFileW(win32::SystemPath(path)->c_str(), win32::SystemPath(folder.file("moved.exe"))->c_str()));
    folder.write("program.exe", otherBytes);
    EXPECT_THROW(file.Replace(replacement), FileChangedDuringCheck);
    EXPECT_EQ(ReadBytes(path), otherBytes);
    EXPECT_EQ(ReadBytes(folder.file("moved.exe")), original);
    EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"moved.exe", "program.exe"}));
}

TEST(Win32FileInFolder, EverySpellingOfAPathGivesOnePlace) {
    TempFolder folder;
    const std::string path = folder.write("dup\\A.EXE", test::BytesOf("MZ"));
    const FilePlace plain = FileInFolder(path, LinkPolicy::RefuseLinks).place();
    const FilePlace dotted = FileInFolder(folder.file("dup\\.\\a.exe"), LinkPolicy::RefuseLinks).place();
    const FilePlace slashed = FileInFolder(folder.file("DUP/../dup//A.Exe"), LinkPolicy::RefuseLinks).place();
    EXPECT_EQ(plain, dotted);
    EXPECT_EQ(plain, slashed);
    EXPECT_EQ(plain.name, "A.EXE");
    folder.write("dup\\B.EXE", test::BytesOf("MZ"));
    EXPECT_NE(FileInFolder(folder.file("dup\\B.EXE"), LinkPolicy::RefuseLinks).place(), plain);
}

TEST(Win32FileInFolder, FilesBeyondTheClassicLimitAreReplaced) {
    TempFolder folder;
    std::string deep = folder.path().string();
    for (int depth = 0; depth < 5; ++depth) {
        deep += "\\" + std::string(60, static_cast<char>('a' + depth));
        ASSERT_TRUE(::CreateDirectoryW(win32::SystemPath(deep)->c_str(), nullptr)) << ::GetLastError();
    }
    const std::string path = deep + "\\LONG.EXE";
    CreateFileWhole(path, test::BytesOf("MZlong"));
    ASSERT_GT(path.size(), 300U);
    FileInFolder file(path, LinkPolicy::RefuseLinks);
    EXPECT_EQ(file.ReadAll(), test::BytesOf("MZlong"));
    file.Replace(test::BytesOf("MZcured"));
    EXPECT_EQ(ReadWholeFile(path), test::BytesOf("MZcured"));
}

TEST(Win32FileInFolder, ANewFileAppearsWholeOrNotAtAllAndNeverReplacesOne) {
    TempFolder folder;
    const std::string path = folder.file("fresh.kvd");
    const Bytes bytes(10000, 0x11);
    InjectedWriteFaults failing;
    failing.DiskSpace(5000);
    EXPECT_THROW(CreateFileWhole(path, bytes, failing.calls()), Failure);
    EXPECT_TRUE(NamesIn(folder.path()).empty());
    CreateFileWhole(path, bytes);
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_THROW(CreateFileWhole(path, Bytes(5, 0)), Failure);  // it exists now
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"fresh.kvd"});
}

TEST(Win32AbsolutePath, TheCurrentFolderComesFirstAndTheRestIsTidied) {
    TempFolder folder;
    fs::create_directories(folder.path() / "real" / "scan");
    const fs::path before = fs::current_path();
    fs::current_path(folder.path() / "real");
    const std::string here = (folder.path() / "real").string();
    EXPECT_EQ(AbsolutePath("scan\\A.EXE"), here + "\\scan\\A.EXE");
    EXPECT_EQ(AbsolutePath(".\\scan/./A.EXE"), here + "\\scan\\A.EXE");
    EXPECT_EQ(AbsolutePath("..\\real\\scan\\A.EXE"), here + "\\scan\\A.EXE");
    fs::current_path(before);
    EXPECT_EQ(AbsolutePath("C:\\a\\.\\b\\..\\c\\"), "C:\\a\\c");
    EXPECT_TRUE(IsAbsolutePath("C:\\x"));
    EXPECT_TRUE(IsAbsolutePath("\\\\server\\share\\x"));
    EXPECT_FALSE(IsAbsolutePath("x\\y"));
    EXPECT_FALSE(IsAbsolutePath("C:x"));
}

// ---- What Wine cannot show: calls that answer as Windows documents ----

// A descriptor made from its text form, as Windows stores one.
class Descriptor {
public:
    explicit Descriptor(const wchar_t* sddl) {
        EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr))
            << ::GetLastError();
    }
    ~Descriptor() { ::LocalFree(descriptor_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }
    // A copy for a caller that frees it with LocalFree, as GetSecurityInfo's.
    PSECURITY_DESCRIPTOR copy() const {
        const DWORD size = ::GetSecurityDescriptorLength(descriptor_);
        void* copied = ::LocalAlloc(LMEM_FIXED, size);
        std::memcpy(copied, descriptor_, size);
        return copied;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

std::wstring SidString(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return L"(none)";
    std::wstring spelled(text);
    ::LocalFree(text);
    return spelled;
}

std::wstring AclString(PACL dacl) {
    if (dacl == nullptr) return L"(null)";
    SECURITY_DESCRIPTOR holder;
    ::InitializeSecurityDescriptor(&holder, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&holder, TRUE, dacl, FALSE);
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(&holder, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                &text, nullptr)) {
        return L"(unreadable)";
    }
    std::wstring spelled(text);
    ::LocalFree(text);
    return spelled;
}

// The original belongs to another user and carries a DACL of its own; the replacement's
// owner is set as Windows sets it for a user who may (`ownerGiven`) or may not give a file
// away. Everything it was asked is kept.
class WindowsSecurity : public FileWriteCalls {
public:
    WindowsSecurity(const wchar_t* originalSddl, bool ownerGiven) : original_(originalSddl), ownerGiven_(ownerGiven) {}

    DWORD GetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR* descriptor) override {
        ++reads;
        if (file == replacement_ && !givenOwner.empty()) {
            const std::wstring sddl = L"O:" + givenOwner;
            Descriptor given(sddl.c_str());
            *descriptor = given.copy();
            return ERROR_SUCCESS;
        }
        (void)what;
        *descriptor = original_.copy();
        return ERROR_SUCCESS;
    }
    DWORD SetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSID owner, PSID group, PACL dacl) override {
        replacement_ = file;
        if ((what & OWNER_SECURITY_INFORMATION) != 0) {
            // Only the privilege to restore files lets a user give a file another owner.
            if (!ownerGiven_) return ERROR_INVALID_OWNER;
            givenOwner = SidString(owner);
            givenGroup = SidString(group);
        }
        if ((what & DACL_SECURITY_INFORMATION) != 0) {
            givenDacl = AclString(dacl);
            protectedDacl = (what & PROTECTED_DACL_SECURITY_INFORMATION) != 0;
        }
        return ERROR_SUCCESS;
    }

    int reads = 0;
    std::wstring givenOwner, givenGroup, givenDacl;
    bool protectedDacl = false;

private:
    Descriptor original_;
    bool ownerGiven_;
    HANDLE replacement_ = nullptr;
};

constexpr const wchar_t* kOtherUsersFile =
    L"O:S-1-5-21-1-2-3-1001G:S-1-5-21-1-2-3-513D:P(A;;FA;;;S-1-5-21-1-2-3-1001)(A;;0x1200a9;;;BU)";

TEST_F(Win32Replacement, AnOwnerThatCannotBeKeptStopsTheReplacementBeforeAnythingIsNamed) {
    WindowsSecurity security(kOtherUsersFile, false);
    FileInFolder file(path, LinkPolicy::RefuseLinks, security);
    file.ReadAll();
    try {
        file.Replace(replacement);
        ADD_FAILURE() << "replaced without its owner";
    } catch (const OwnerNotKept& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot create file " + path);
        EXPECT_NE(failure.reason().find("owner and security descriptor cannot be kept"), std::string::npos)
            << failure.reason();
        EXPECT_EQ(failure.reason().find(path), std::string::npos);
    }
    EXPECT_GT(security.reads, 0);
    EXPECT_TRUE(security.givenDacl.empty());  // nothing more is set on a file that is dropped
    expectOriginal();
}

TEST_F(Win32Replacement, TheOwnerGroupAndAProtectedDaclGoOverAsTheyAre) {
    WindowsSecurity security(kOtherUsersFile, true);
    FileInFolder(path, LinkPolicy::RefuseLinks, security).Replace(replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
    EXPECT_EQ(security.givenOwner, L"S-1-5-21-1-2-3-1001");
    EXPECT_EQ(security.givenGroup, L"S-1-5-21-1-2-3-513");
    EXPECT_TRUE(security.protectedDacl);
    EXPECT_EQ(security.givenDacl, L"D:(A;;FA;;;S-1-5-21-1-2-3-1001)(A;;0x1200a9;;;BU)");
}

TEST_F(Win32Replacement, AnInheritedDaclGoesOverAsTheEntriesTheFileHasOfItsOwn) {
    // One entry of the file's own, two inherited from its folder: the folder, the same for
    // the replacement, passes those on again.
    WindowsSecurity security(L"O:S-1-5-21-1-2-3-1001G:S-1-5-21-1-2-3-513"
                             L"D:(A;;0x1301bf;;;S-1-5-21-1-2-3-1002)(A;ID;FA;;;SY)(A;ID;FA;;;BA)",
                             true);
    FileInFolder(path, LinkPolicy::RefuseLinks, security).Replace(replacement);
    EXPECT_FALSE(security.protectedDacl);
    EXPECT_EQ(security.givenDacl, L"D:(A;;0x1301bf;;;S-1-5-21-1-2-3-1002)");
}

// A file system that says yes to an owner it never gives: the owner is looked at.
class OwnerSaidButNotGiven : public WindowsSecurity {
public:
    OwnerSaidButNotGiven() : WindowsSecurity(kOtherUsersFile, true) {}
    DWORD GetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR* descriptor) override {
        givenOwner = L"S-1-5-21-1-2-3-4242";  // whoever the file system makes the owner
        return WindowsSecurity::GetSecurityInfo(file, what, descriptor);
    }
};

TEST_F(Win32Replacement, AnOwnerTheFileSystemDidNotGiveStopsTheReplacement) {
    OwnerSaidButNotGiven security;
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, security).Replace(replacement), OwnerNotKept);
    expectOriginal();
}

// A file with an alternate data stream (where Windows keeps, say, the zone a download came
// from), as NTFS lists and opens it. The streams live in files of their own beside the
// test's folder, each standing for a stream of the file it belongs to.
class WindowsStreams : public FileWriteCalls {
public:
    WindowsStreams(std::string original, std::string store) : original_(std::move(original)), store_(std::move(store)) {}

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        if (!EndsWith(path, L":Zone.Identifier:$DATA")) {
            return FileWriteCalls::CreateFileW(path, access, share, disposition, flags);
        }
        ++streamOpens;
        std::wstring file(path);
        file.resize(file.size() - std::wstring(L":Zone.Identifier:$DATA").size());
        const bool ofOriginal = disposition == OPEN_EXISTING;
        const std::string backing = store_ + (ofOriginal ? "\\original-zone" : "\\replacement-zone");
        const HANDLE handle = FileWriteCalls::CreateFileW(win32::SystemPath(backing)->c_str(), access,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE, disposition, 0);
        if (handle != INVALID_HANDLE_VALUE) streamOf_[handle] = file;
        return handle;
    }
    // A stream is part of its file: it has the file's identity.
    BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override {
        const auto stream = streamOf_.find(file);
        if (stream == streamOf_.end()) return FileWriteCalls::GetFileInformationByHandle(file, info);
        const win32::OwnedHandle owner(FileWriteCalls::CreateFileW(
            stream->second.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
        return owner.valid() && FileWriteCalls::GetFileInformationByHandle(owner.get(), info);
    }
    BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (kind != FileStreamInfo) return FileWriteCalls::GetFileInformationByHandleEx(file, kind, info, size);
        ++listings;
        // "::$DATA" (the file's contents) and ":Zone.Identifier:$DATA", as NTFS lists them.
        const std::wstring names[] = {L"::$DATA", L":Zone.Identifier:$DATA"};
        std::size_t at = 0;
        auto* bytes = static_cast<std::uint8_t*>(info);
        FILE_STREAM_INFO* previous = nullptr;
        for (const std::wstring& name : names) {
            const std::size_t entry = (offsetof(FILE_STREAM_INFO, StreamName) + name.size() * 2 + 7) & ~std::size_t{7};
            if (at + entry > size) {
                ::SetLastError(ERROR_MORE_DATA);
                return FALSE;
            }
            auto* stream = reinterpret_cast<FILE_STREAM_INFO*>(bytes + at);
            std::memset(stream, 0, entry);
            stream->StreamNameLength = static_cast<DWORD>(name.size() * 2);
            std::memcpy(stream->StreamName, name.data(), name.size() * 2);
            if (previous != nullptr) previous->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<std::uint8_t*>(stream) - reinterpret_cast<std::uint8_t*>(previous));
            previous = stream;
            at += entry;
        }
        return TRUE;
    }
    BOOL CloseHandle(HANDLE handle) override {
        streamOf_.erase(handle);
        return FileWriteCalls::CloseHandle(handle);
    }

    int listings = 0;
    int streamOpens = 0;

private:
    std::string original_;
    std::string store_;
    std::map<HANDLE, std::wstring> streamOf_;
};

TEST_F(Win32Replacement, AlternateDataStreamsGoOverToTheReplacement) {
    TempFolder store;
    const Bytes zone = test::BytesOf("[ZoneTransfer]\r\nZoneId=3\r\n");
    store.write("original-zone", zone);
    WindowsStreams streams(path, store.path().string());
    FileInFolder(path, LinkPolicy::RefuseLinks, streams).Replace(replacement);
    EXPECT_EQ(ReadBytes(path), replacement);
    EXPECT_GT(streams.listings, 0);
    EXPECT_EQ(streams.streamOpens, 2);  // the original's, read; the replacement's, made
    EXPECT_EQ(ReadBytes(store.file("replacement-zone")), zone);
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
}

// Where NTFS keeps no stream by that name the open makes a file of it beside the
// replacement (as Wine and FAT do with "name:stream"): that is no stream, and the
// replacement, which would lose it, is not made.
class StreamsBecomeFiles : public WindowsStreams {
public:
    using WindowsStreams::WindowsStreams;
    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        if (EndsWith(path, L":Zone.Identifier:$DATA") && disposition == CREATE_NEW) {
            ++siblingsMade;
            std::wstring sibling(path);
            sibling.replace(sibling.find(L":Zone.Identifier:$DATA"), std::wstring::npos, L"-zone-sibling");
            return FileWriteCalls::CreateFileW(sibling.c_str(), access, share, disposition, flags);
        }
        return WindowsStreams::CreateFileW(path, access, share, disposition, flags);
    }
    int siblingsMade = 0;
};

TEST_F(Win32Replacement, AStreamThatCannotBeCarriedStopsTheReplacement) {
    TempFolder store;
    store.write("original-zone", test::BytesOf("ZoneId=3"));
    StreamsBecomeFiles streams(path, store.path().string());
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, streams).Replace(replacement), Failure);
    EXPECT_EQ(streams.siblingsMade, 1);
    expectOriginal();
}

// Reparse points as NTFS reports them (in the attributes every call gives, and the tag): a
// junction where a folder of the path stood, a symbolic link where the file stood.
// `reparsed` names end so.
class WindowsReparsePoints : public FileWriteCalls {
public:
    WindowsReparsePoints(std::wstring reparsed, DWORD tag) : reparsed_(std::move(reparsed)), tag_(tag) {}

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        const HANDLE handle = FileWriteCalls::CreateFileW(path, access, share, disposition, flags);
        if (handle != INVALID_HANDLE_VALUE && active && EndsWith(path, reparsed_.c_str())) reparse_.insert(handle);
        return handle;
    }
    BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override {
        if (!FileWriteCalls::GetFileInformationByHandle(file, info)) return FALSE;
        if (reparse_.count(file) != 0) {
            ++asked;
            info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
        return TRUE;
    }
    BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (kind == FileBasicInfo && reparse_.count(file) != 0) {
            if (!FileWriteCalls::GetFileInformationByHandleEx(file, kind, info, size)) return FALSE;
            ++asked;
            static_cast<FILE_BASIC_INFO*>(info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            return TRUE;
        }
        if (kind != FileAttributeTagInfo || reparse_.count(file) == 0) {
            return FileWriteCalls::GetFileInformationByHandleEx(file, kind, info, size);
        }
        auto* tag = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info);
        tag->FileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
        tag->ReparseTag = tag_;
        return TRUE;
    }
    BOOL CloseHandle(HANDLE handle) override {
        reparse_.erase(handle);
        return FileWriteCalls::CloseHandle(handle);
    }

    bool active = true;
    int asked = 0;

private:
    std::wstring reparsed_;
    DWORD tag_;
    std::set<HANDLE> reparse_;
};

constexpr DWORD kJunction = 0xA0000003;      // IO_REPARSE_TAG_MOUNT_POINT
constexpr DWORD kSymbolicLink = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK

TEST(Win32ReparsePoints, AJunctionOrLinkInThePathIsNeverFollowedNorWrittenThrough) {
    TempFolder folder;
    const std::string path = folder.write("tree\\sub\\program.exe", test::BytesOf("MZ original"));
    // A folder of the path turned into a junction before the open: refused there.
    for (const DWORD tag : {kJunction, kSymbolicLink, DWORD{0}}) {
        WindowsReparsePoints junction(L"\\sub", tag);
        EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, junction), FileChangedDuringCheck) << tag;
        EXPECT_GT(junction.asked, 0);
    }
    // The file itself a symbolic link.
    WindowsReparsePoints link(L"\\program.exe", kSymbolicLink);
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, link), FileChangedDuringCheck);
    EXPECT_GT(link.asked, 0);
    // The file swapped for a link after the read: the last look before the rename sees it,
    // and nothing is written.
    WindowsReparsePoints swapped(L"\\program.exe", kSymbolicLink);
    swapped.active = false;
    FileInFolder file(path, LinkPolicy::RefuseLinks, swapped);
    file.ReadAll();
    swapped.active = true;
    EXPECT_THROW(file.Replace(test::BytesOf("MZ cured")), FileChangedDuringCheck);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("MZ original"));
    EXPECT_EQ(NamesIn(folder.path() / "tree" / "sub"), std::set<std::string>{"program.exe"});
    // A file stored another way (deduplicated) is no link: it is read.
    WindowsReparsePoints deduplicated(L"\\program.exe", 0x80000013);
    EXPECT_EQ(FileInFolder(path, LinkPolicy::RefuseLinks, deduplicated).ReadAll(), test::BytesOf("MZ original"));
}

// Windows before 1709 (and Wine) knows no rename with flags: the classic rename follows,
// after the file replaced is let go of, since the classic rename cannot replace a file
// still open.
class NoRenameWithFlags : public FileWriteCalls {
public:
    BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (static_cast<int>(kind) == 22) {
            ++withFlags;
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (kind == FileRenameInfo) ++classic;
        return FileWriteCalls::SetFileInformationByHandle(file, kind, info, size);
    }
    int withFlags = 0;
    int classic = 0;
};

TEST_F(Win32Replacement, WithoutTheRenameWithFlagsTheClassicRenameReplacesTheFile) {
    NoRenameWithFlags calls;
    FileInFolder file(path, LinkPolicy::RefuseLinks, calls);
    file.ReadAll();
    file.Replace(replacement);
    EXPECT_EQ(calls.withFlags, 1);
    EXPECT_EQ(calls.classic, 1);
    EXPECT_EQ(ReadBytes(path), replacement);
    // The object holds the replacement now, and cures again.
    file.Replace(original);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"program.exe"});
}

TEST(Win32InjectedFaults, EachStepFailsWithWindowsOwnError) {
    TempFolder folder;
    const std::string path = folder.write("x.exe", test::BytesOf("MZ original"));
    InjectedWriteFaults owner;
    owner.Fail(WriteStep::Owner, WriteFault::NotPermitted);
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, owner.calls()).Replace(test::BytesOf("MZ")), OwnerNotKept);
    EXPECT_GE(owner.callsMade(WriteStep::Owner), 1);
    InjectedWriteFaults full;
    full.DiskSpace(3);
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, full.calls()).Replace(test::BytesOf("MZ cured")), Failure);
    InjectedWriteFaults readOnly;
    readOnly.Fail(WriteStep::Create, WriteFault::ReadOnlyDisk);
    EXPECT_THROW(FileInFolder(path, LinkPolicy::RefuseLinks, readOnly.calls()).Replace(test::BytesOf("MZ")), Failure);
    EXPECT_EQ(readOnly.callsMade(WriteStep::Create), 1);
    EXPECT_EQ(ReadBytes(path), test::BytesOf("MZ original"));
    EXPECT_EQ(NamesIn(folder.path()), std::set<std::string>{"x.exe"});
}

}  // namespace
}  // namespace korvax
