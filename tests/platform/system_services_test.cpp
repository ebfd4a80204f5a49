#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/load_library.h"
#include "platform/system_info.h"
#include "platform/terminal_process.h"
#include "platform/whole_file.h"
#include "test_support.h"

namespace korvax {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempFolder;

// The program's own text of a path std::filesystem made (UTF-8 on both systems).
std::string Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
std::string FolderText(const fs::path& path) { return Text(path / ""); }

struct Listed {
    EntryKind kind;
    std::int64_t size;
};

std::map<std::string, Listed> ListAll(DirectoryListing& listing) {
    std::map<std::string, Listed> entries;
    while (auto entry = listing.next()) entries[entry->name] = {entry->kind, entry->size};
    return entries;
}

TEST(DirectoryListing, ListsEveryEntryWithItsKindAndSizeAndOpensFoldersByName) {
    TempFolder folder;
    folder.write("A.EXE", Bytes(5, 'x'));
    folder.write(".hidden.com", Bytes(3, 'y'));
    folder.write("sub/inner.exe", Bytes(7, 'z'));
    fs::create_directory(folder.path() / u8"Папка");
    std::ofstream(folder.path() / u8"Папка" / u8"Проверка.exe", std::ios::binary) << "1234";

    DirectoryListing top(FolderText(folder.path()));
    const auto entries = ListAll(top);
    ASSERT_EQ(entries.size(), 6U);  // ".", "..", two files, two folders
    EXPECT_EQ(entries.at(".").kind, EntryKind::Directory);
    EXPECT_EQ(entries.at("..").kind, EntryKind::Directory);
    EXPECT_EQ(entries.at("A.EXE").kind, EntryKind::RegularFile);
    EXPECT_EQ(entries.at("A.EXE").size, 5);
    EXPECT_EQ(entries.at(".hidden.com").size, 3);
    EXPECT_EQ(entries.at("sub").kind, EntryKind::Directory);
    EXPECT_EQ(entries.at(Text(u8"Папка")).kind, EntryKind::Directory);

    // A folder is opened by the name its parent listed, whatever characters it holds.
    DirectoryListing again(FolderText(folder.path()));
    DirectoryListing cyrillic(again, Text(u8"Папка"));
    const auto inner = ListAll(cyrillic);
    ASSERT_TRUE(inner.contains(Text(u8"Проверка.exe")));
    EXPECT_EQ(inner.at(Text(u8"Проверка.exe")).size, 4);
    // ...and a name the system never gave back is read back to its very bytes.
    EXPECT_EQ(ReadWholeFile(Text(folder.path() / u8"Папка" / u8"Проверка.exe")), test::BytesOf("1234"));

    // A missing folder, a file and a name under a missing parent list nothing.
    DirectoryListing missing(FolderText(folder.path() / "nowhere"));
    EXPECT_FALSE(missing.next().has_value());
    DirectoryListing notAFolder(again, "A.EXE");
    EXPECT_FALSE(notAFolder.next().has_value());
    DirectoryListing belowMissing(missing, "sub");
    EXPECT_FALSE(belowMissing.next().has_value());
}

TEST(ReadWholeFile, ReadsAFileWholeAndRefusesWhatIsNoFileOrTooLarge) {
    TempFolder folder;
    const Bytes program = test::SampleProgram(100000);
    const std::string path = folder.write("P.EXE", program);
    EXPECT_EQ(ReadWholeFile(path), program);
    EXPECT_EQ(ReadWholeFile(folder.write("EMPTY.EXE", {})), Bytes());
    // Exactly the limit is read; one byte over is refused with the open message.
    EXPECT_EQ(ReadWholeFile(path, 100000).size(), 100000U);
    try {
        ReadWholeFile(path, 99999);
        FAIL() << "read past the limit";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot open file " + path);
    }
    EXPECT_THROW(ReadWholeFile(folder.file("missing.exe")), Failure);
    EXPECT_THROW(ReadWholeFile(Text(folder.path())), Failure);
}

TEST(SystemInfo, CalendarTimeProcessAndFolders) {
    const std::tm epoch = UtcCalendarTime(0);
    EXPECT_EQ(epoch.tm_year, 70);
    EXPECT_EQ(epoch.tm_mon, 0);
    EXPECT_EQ(epoch.tm_mday, 1);
    EXPECT_EQ(epoch.tm_hour, 0);
    const std::tm leap = UtcCalendarTime(951827696);  // 2000-02-29 12:34:56 UTC
    EXPECT_EQ(leap.tm_year, 100);
    EXPECT_EQ(leap.tm_mon, 1);
    EXPECT_EQ(leap.tm_mday, 29);
    EXPECT_EQ(leap.tm_hour * 3600 + leap.tm_min * 60 + leap.tm_sec, 12 * 3600 + 34 * 60 + 56);

    EXPECT_GT(ProcessId(), 0);
    EXPECT_GT(TotalPhysicalMemory(), 64LL << 20);

    // The program's folder holds the program (this test), and the current directory is
    // the one the system says.
    const std::string program = ProgramDirectory();
    ASSERT_FALSE(program.empty());
    bool foundSelf = false;
    for (const auto& entry : fs::directory_iterator(fs::path(std::u8string(program.begin(), program.end())))) {
        foundSelf = foundSelf || entry.path().stem() == "platform_tests";
    }
    EXPECT_TRUE(foundSelf) << program;
    const std::string current = CurrentDirectory();
    EXPECT_EQ(fs::path(std::u8string(current.begin(), current.end())), fs::current_path());
}

// The current directory can be a folder of any name: it comes back in the program's text.
TEST(SystemInfo, CurrentDirectoryKeepsEveryCharacter) {
    TempFolder folder;
    const fs::path named = folder.path() / u8"Текущая папка";
    fs::create_directory(named);
    const fs::path before = fs::current_path();
    fs::current_path(named);
    const std::string current = CurrentDirectory();
    fs::current_path(before);
    EXPECT_EQ(fs::path(std::u8string(current.begin(), current.end())), fs::canonical(named));
}

TEST(LoadedLibrary, NamesLibrariesAsTheSystemDoesAndExplainsAFailure) {
    const std::string name = SharedLibraryName("korvax-no-such-library");
    EXPECT_TRUE(name == "libkorvax-no-such-library.so" || name == "korvax-no-such-library.dll") << name;
    const auto missing = LoadProgramLibrary(name);
    EXPECT_FALSE(missing->loaded());
    EXPECT_FALSE(missing->error().empty());
    EXPECT_EQ(missing->find("CpuUsage"), nullptr);
}

// What korvax-scan --stats reports, and how it sizes its pool and decides on a progress
// line: each figure must move with what the program does, not sit at 0.
TEST(TerminalProcess, FiguresFollowWhatTheProgramDoes) {
    EXPECT_GE(OnlineProcessorCount(), 1);
    // Under ctest standard error is a pipe: no progress line may be drawn into it.
    EXPECT_FALSE(StandardErrorIsTerminal());

    const double threadBefore = ThreadCpuSeconds();
    const double processBefore = ProcessCpuSeconds();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    volatile std::uint64_t spin = 0;
    while (std::chrono::steady_clock::now() < until) spin = spin + 1;
    EXPECT_GT(ThreadCpuSeconds() - threadBefore, 0.05);
    EXPECT_GE(ProcessCpuSeconds() - processBefore, ThreadCpuSeconds() - threadBefore - 0.05);

    // Memory touched counts toward the peak (Linux reports kilobytes: the figure is bytes).
    std::vector<std::uint8_t> held(96 << 20);
    for (std::size_t i = 0; i < held.size(); i += 4096) held[i] = static_cast<std::uint8_t>(i);
    EXPECT_GE(PeakResidentBytes(), std::int64_t{96} << 20);
    EXPECT_LT(PeakResidentBytes(), std::int64_t{64} << 30);
}

}  // namespace
}  // namespace korvax
