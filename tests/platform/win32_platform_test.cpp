// The Win32 side of the platform layer, under Wine. What Wine cannot make (junctions,
// symbolic links, cloud placeholders, application aliases) is tested through the rule the
// listing applies, with the attribute and tag values Windows documents.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/load_library.h"
#include "platform/os_thread.h"
#include "platform/system_info.h"
#include "platform/whole_file.h"
#include "platform/terminal_process.h"
#include "platform/win32/console_events.h"
#include "platform/win32/console_text.h"
#include "platform/win32/found_entry.h"
#include "platform/win32/system_path.h"
#include "test_support.h"

namespace korvax {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::string Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(Win32FoundEntry, LinksAreNeverEnteredAndFilesNotHereAreNeverRead) {
    constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    const struct {
        const char* what;
        DWORD attributes;
        DWORD tag;
        EntryKind expected;
    } cases[] = {
        {"plain file", FILE_ATTRIBUTE_ARCHIVE, 0, EntryKind::RegularFile},
        {"hidden system read-only file", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, 0,
         EntryKind::RegularFile},
        {"plain folder", kDir, 0, EntryKind::Directory},
        {"hidden system folder", kDir | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0, EntryKind::Directory},
        {"junction", kDir | kReparse, 0xA0000003, EntryKind::SymbolicLink},           // IO_REPARSE_TAG_MOUNT_POINT
        {"folder symbolic link", kDir | kReparse, 0xA000000C, EntryKind::SymbolicLink},  // IO_REPARSE_TAG_SYMLINK
        {"file symbolic link", kReparse, 0xA000000C, EntryKind::SymbolicLink},
        {"Wine's view of a Linux link", kDir | kReparse, 0, EntryKind::SymbolicLink},
        {"folder with an unknown tag", kDir | kReparse, 0x00001234, EntryKind::SymbolicLink},
        {"cloud placeholder", kReparse | 0x00400000, 0x9000001A, EntryKind::NotLocal},
        {"cloud placeholder, provider tag", kReparse | 0x00400000, 0x9000701A, EntryKind::NotLocal},
        {"cloud tag alone", kReparse, 0x9000301A, EntryKind::NotLocal},
        {"cloud folder", kDir | kReparse | 0x00040000, 0x9000001A, EntryKind::NotLocal},
        {"recall on open, no tag", 0x00040000, 0, EntryKind::NotLocal},
        {"offline file", FILE_ATTRIBUTE_OFFLINE, 0, EntryKind::NotLocal},
        {"application alias", kReparse, 0x8000001B, EntryKind::NotLocal},  // IO_REPARSE_TAG_APPEXECLINK
        {"deduplicated file", kReparse, 0x80000013, EntryKind::RegularFile},  // IO_REPARSE_TAG_DEDUP
        {"compressed system file", kReparse, 0x80000017, EntryKind::RegularFile},  // IO_REPARSE_TAG_WOF
        {"device", FILE_ATTRIBUTE_DEVICE, 0, EntryKind::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(win32::KindOfFoundEntry(c.attributes, c.tag), c.expected) << c.what;
}

TEST(Win32SystemPath, LongPathsGetThePrefixShortOnesStayAsTheyAre) {
    EXPECT_EQ(win32::SystemPath("relative\\A.EXE"), std::wstring(L"relative\\A.EXE"));
    EXPECT_EQ(win32::SystemPath("C:/x/A.EXE"), std::wstring(L"C:/x/A.EXE"));
    EXPECT_EQ(win32::SystemPath("T:\\\xD0\x96.exe"), std::wstring(L"T:\\\u0416.exe"));

    const std::string longName(300, 'a');
    EXPECT_EQ(win32::SystemPath("C:/x/./y/../" + longName), L"\\\\?\\C:\\x\\" + std::wstring(300, L'a'));
    EXPECT_EQ(win32::SystemPath("\\\\server\\share\\" + longName),
              L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'a'));
    EXPECT_EQ(win32::SystemPath("\\\\?\\C:\\" + longName), L"\\\\?\\C:\\" + std::wstring(300, L'a'));
    // A lone surrogate is a name; bytes that are no WTF-8 and an inner NUL are none.
    EXPECT_EQ(win32::SystemPath("C:\\\xED\xA0\x80"), std::wstring(L"C:\\") + wchar_t(0xD800));
    EXPECT_FALSE(win32::SystemPath("C:\\\xFF.exe").has_value());
    EXPECT_FALSE(win32::SystemPath(std::string("C:\\a\0b", 6)).has_value());
}

// Folders and files deeper than the classic 260 units are listed and read.
TEST(Win32SystemPath, PathsBeyondTheClassicLimitAreListedAndRead) {
    TempFolder folder;
    std::string path = Text(folder.path());
    for (int depth = 0; depth < 6; ++depth) {
        path += "\\" + std::string(60, static_cast<char>('a' + depth));
        ASSERT_TRUE(::CreateDirectoryW(win32::SystemPath(path)->c_str(), nullptr)) << ::GetLastError();
    }
    ASSERT_GT(path.size(), 360U);
    const std::string file = path + "\\DEEP.EXE";
    {
        win32::OwnedHandle out(::CreateFileW(win32::SystemPath(file)->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(out.valid()) << ::GetLastError();
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(out.get(), "MZdeep", 6, &written, nullptr));
    }
    EXPECT_EQ(ReadWholeFile(file), test::BytesOf("MZdeep"));
    DirectoryListing listing(path + "\\");
    bool found = false;
    while (auto entry = listing.next()) found = found || (entry->name == "DEEP.EXE" && entry->size == 6);
    EXPECT_TRUE(found);
}

// Another program holding a file without sharing gets a prompt "Cannot open file", never
// a hang; once it lets go, the file reads.
TEST(Win32ReadWholeFile, AFileHeldWithoutSharingIsUnreadableNotAHang) {
    TempFolder folder;
    const std::string path = folder.write("HELD.EXE", test::BytesOf("MZ"));
    win32::OwnedHandle held(::CreateFileW(win32::SystemPath(path)->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    // The holder's sharing is really in force: the plain open fails with a sharing violation.
    ASSERT_FALSE(win32::OwnedHandle(::CreateFileW(win32::SystemPath(path)->c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, 0, nullptr))
                     .valid());
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const auto start = std::chrono::steady_clock::now();
    try {
        ReadWholeFile(path);
        FAIL() << "read a file held without sharing";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot open file " + path);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    held = win32::OwnedHandle();
    EXPECT_EQ(ReadWholeFile(path), test::BytesOf("MZ"));
}

TEST(Win32ReadWholeFile, DevicesAreNeverReadFrom) {
    EXPECT_THROW(ReadWholeFile("NUL"), Failure);
    EXPECT_THROW(ReadWholeFile("\\\\.\\pipe\\korvax-no-such-pipe"), Failure);
}

// Under Wine the test prefix has no Z: drive, so no Linux path can make Windows code seem
// to work (reading /proc/stat, say); on Windows these names are nothing either.
TEST(Win32TestPrefix, NoLinuxPathIsReachable) {
    EXPECT_THROW(ReadWholeFile("/proc/stat"), Failure);
    EXPECT_THROW(ReadWholeFile("Z:\\proc\\stat"), Failure);
    DirectoryListing root("Z:\\");
    EXPECT_FALSE(root.next().has_value());
}

// The desktop scanner moves the current directory into the folders a user browses: a
// library planted there under the load library's name must never be loaded.
TEST(Win32LoadLibrary, TheCurrentDirectoryIsNotSearchedForTheProgramsLibraries) {
    TempFolder folder;
    const std::string programFolder = ProgramDirectory();
    const fs::path real = fs::path(std::u8string(programFolder.begin(), programFolder.end())) / "cpudll.dll";
    const fs::path byPath = folder.path() / "korvax-planted.dll";
    fs::copy_file(real, byPath);
    fs::copy_file(real, folder.path() / "korvax-planted-too.dll");
    // The file itself loads when named by its path (a library already loaded under a name
    // would be found by that name, hence a second copy for the bare name below)...
    ASSERT_TRUE(LoadedLibrary(Text(byPath)).loaded());
    const fs::path before = fs::current_path();
    fs::current_path(folder.path());
    // ...but a bare name is not looked for in the current directory.
    const auto planted = LoadProgramLibrary("korvax-planted-too.dll");
    fs::current_path(before);
    EXPECT_FALSE(planted->loaded()) << "a library was loaded from the current directory";
    EXPECT_NE(planted->error().find("(error 126)"), std::string::npos) << planted->error();
}

// Ctrl-C and Ctrl-Break stop a check as Ctrl-C does on Linux, a second ends the program;
// closing the console window, logging off and shutting down stop it and wait while it
// finishes the files in hand. (Wine without a screen has no console to send them in.)
TEST(Win32ConsoleEvents, EachEventStopsTheCheckAsLinuxSignalsDo) {
    using win32::ConsoleAnswer;
    EXPECT_EQ(win32::AnswerConsoleEvent(CTRL_C_EVENT, 0), ConsoleAnswer::StopAndGoOn);
    EXPECT_EQ(win32::AnswerConsoleEvent(CTRL_BREAK_EVENT, 0), ConsoleAnswer::StopAndGoOn);
    EXPECT_EQ(win32::AnswerConsoleEvent(CTRL_C_EVENT, 1), ConsoleAnswer::EndNow);
    EXPECT_EQ(win32::AnswerConsoleEvent(CTRL_BREAK_EVENT, 3), ConsoleAnswer::EndNow);
    for (const DWORD closing : {DWORD{CTRL_CLOSE_EVENT}, DWORD{CTRL_LOGOFF_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}}) {
        EXPECT_EQ(win32::AnswerConsoleEvent(closing, 0), ConsoleAnswer::StopAndWait) << closing;
        EXPECT_EQ(win32::AnswerConsoleEvent(closing, 1), ConsoleAnswer::StopAndWait) << closing;
    }
    EXPECT_EQ(win32::AnswerConsoleEvent(42, 0), ConsoleAnswer::Ignore);
    // Installing the handler asks for no stop.
    InstallStopRequests();
    EXPECT_FALSE(StopRequested());
}

// A console takes UTF-16: the program's UTF-8, which arrives in pieces, is turned into it
// at whole characters, and what is no UTF-8 shows as U+FFFD.
TEST(Win32ConsoleText, UtfEightBecomesWholeWideCharacters) {
    std::string pending = "Проверено: 1\n";
    EXPECT_EQ(win32::TakeConsoleText(pending), L"\u041F\u0440\u043E\u0432\u0435\u0440\u0435\u043D\u043E: 1\n");
    EXPECT_TRUE(pending.empty());
    // A character cut at the end of a piece waits for the rest.
    pending = "a\xD0";
    EXPECT_EQ(win32::TakeConsoleText(pending), L"a");
    EXPECT_EQ(pending, "\xD0");
    pending += "\x96\xF0\x9F";
    EXPECT_EQ(win32::TakeConsoleText(pending), L"\u0416");
    EXPECT_EQ(pending, "\xF0\x9F");
    pending += "\x98\x80";
    EXPECT_EQ(win32::TakeConsoleText(pending), L"\U0001F600");
    // Bytes that are no UTF-8 do not wait: they show as U+FFFD.
    pending = "x\xFF\xFEy";
    EXPECT_EQ(win32::TakeConsoleText(pending), L"x\uFFFD\uFFFDy");
    EXPECT_TRUE(pending.empty());
}

TEST(Win32Priorities, MeasurementRunsTimeCriticalAndWorkersLowest) {
    const HANDLE self = ::GetCurrentThread();
    const int before = ::GetThreadPriority(self);
    const DWORD classBefore = ::GetPriorityClass(::GetCurrentProcess());
    {
        RealTimePriority raised;
        EXPECT_EQ(::GetThreadPriority(self), THREAD_PRIORITY_TIME_CRITICAL);
    }
    EXPECT_EQ(::GetThreadPriority(self), before);
    EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), classBefore);

    int workerPriority = THREAD_PRIORITY_ERROR_RETURN;
    SuspendedThread worker([&] { workerPriority = ::GetThreadPriority(::GetCurrentThread()); });
    worker.SetLowestPriority();
    worker.Resume();
    worker.Join();
    EXPECT_EQ(workerPriority, THREAD_PRIORITY_LOWEST);
}

}  // namespace
}  // namespace korvax
