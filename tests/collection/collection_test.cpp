#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/directory_walk.h"
#include "collection/collect_files.h"
#include "test_support.h"
#include "test_system.h"

namespace korvax {
namespace {

using test::Bytes;
using test::Native;
using test::TempFolder;

class CountingPump : public MessagePump {
public:
    void ProcessPendingMessages() override { ++calls; }
    int calls = 0;
};

// Makes a file of `size` bytes without writing them (a sparse file).
void MakeSized(const std::string& path, std::int64_t size) {
    const std::filesystem::path file = test::PathOf(path);
    std::filesystem::create_directories(file.parent_path());
    { std::ofstream create(file); }
    std::filesystem::resize_file(file, static_cast<std::uintmax_t>(size));
}

std::vector<std::string> Collect(const std::string& folder, FileCollection& collection, CountingPump& pump,
                                 std::vector<std::string>* tooLong = nullptr) {
    FileQueue queue;
    CollectOptions options;
    options.onPassedOver = [&](const std::string& path, PassedOver why, const std::string&) {
        if (tooLong != nullptr && why == PassedOver::PathTooLong) tooLong->push_back(path);
    };
    CollectFiles(queue, folder, collection, pump, options);
    return {queue.begin(), queue.end()};
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(HasProgramExtension, OnlyExeAndComInAnyCase) {
    for (const char* yes : {"SETUP.EXE", "setup.exe", "Setup.Exe", "b.com", "x.tar.Com", ".exe"}) {
        EXPECT_TRUE(HasProgramExtension(yes)) << yes;
    }
    for (const char* no : {"setup.exe.bak", "readme", "name.", "exe", "setup.ex", "a.comx", "a.\xC5XE"}) {
        EXPECT_FALSE(HasProgramExtension(no)) << no;
    }
}

TEST(CollectFiles, QueuesQualifyingFilesOnlyAndCountsThem) {
    TempFolder folder;
    const std::string root = folder.file("");
    MakeSized(root + "a.exe", 5242879);
    MakeSized(root + "big.exe", 5242880);
    MakeSized(root + "b.com", 0);
    for (const char* name : {"SETUP.EXE", "Setup2.Exe", "setup.exe.bak", "readme", "name.", ".hidden.com"}) {
        MakeSized(root + name, 10);
    }
    MakeSized(root + Native("old.exe/inside.com"), 10);  // a folder named like a program is walked
    // Where the system has them (Wine makes no link, Windows' folders hold no FIFO): a FIFO,
    // never opened (the walk must not block), a link to a program and one back to the top.
    const int specials = test::MakeFifo(root + "pipe.exe") + test::MakeSymbolicLink(root + "a.exe", root + "link.exe") +
                         test::MakeSymbolicLink(root, root + "loop");

    FileCollection collection;
    CountingPump pump;
    const std::vector<std::string> queued = Collect(root, collection, pump);
    EXPECT_EQ(Sorted(queued), Sorted({root + "a.exe", root + "b.com", root + "SETUP.EXE", root + "Setup2.Exe",
                                      root + ".hidden.com", root + Native("old.exe/inside.com")}));
    EXPECT_EQ(collection.TotalFiles, 6);
    // One message step per entry, "." and ".." included: 12 at the top and the specials,
    // 3 in old.exe.
    EXPECT_EQ(pump.calls, 12 + specials + 3);
}

TEST(CollectFiles, WalksDepthFirstInListingOrder) {
    TempFolder folder;
    const std::string root = folder.file("");
    for (const char* name : {"x.exe", "S/y.com", "S/T/w.exe", "z.exe", "U/v.com"}) MakeSized(root + Native(name), 1);

    // The expected queue, built from the same listing order the walk sees.
    std::function<void(const std::string&, std::vector<std::string>&)> expect = [&](const std::string& dir,
                                                                                   std::vector<std::string>& out) {
        DirectoryListing listing(dir);
        while (auto entry = listing.next()) {
            if (entry->name == "." || entry->name == "..") continue;
            if (entry->kind == EntryKind::Directory) {
                expect(dir + entry->name + kPathSeparator, out);
            } else {
                out.push_back(dir + entry->name);
            }
        }
    };
    std::vector<std::string> expected;
    expect(root, expected);

    FileCollection collection;
    CountingPump pump;
    EXPECT_EQ(Collect(root, collection, pump), expected);
    // A folder's files stand together where the folder was met.
    const auto y = std::find(expected.begin(), expected.end(), root + Native("S/y.com"));
    const auto w = std::find(expected.begin(), expected.end(), root + Native("S/T/w.exe"));
    EXPECT_EQ(std::abs(std::distance(y, w)), 1);
}

TEST(CollectFiles, PathsLongerThanTheBufferAreNotCollected) {
    TempFolder folder;
    const std::string root = folder.file("");
    // Nest folders until the paths pass 1024 characters.
    std::string deep = root;
    while (deep.size() < 1000) deep += std::string(60, 'd') + kPathSeparator;
    MakeSized(deep + "short.exe", 1);
    MakeSized(deep + std::string(100, 'n') + ".exe", 1);
    std::vector<std::string> tooLong;
    FileCollection collection;
    CountingPump pump;
    const auto queued = Collect(root, collection, pump, &tooLong);
    for (const std::string& path : queued) EXPECT_LE(path.size(), kMaxFileNameLength);
    const bool shortFits = (deep + "short.exe").size() <= kMaxFileNameLength;
    EXPECT_EQ(queued.size(), shortFits ? 1U : 0U);
    EXPECT_FALSE(tooLong.empty());
}

TEST(CollectFiles, ExcludedFoldersAreNotEnteredAndTheSizeLimitCanOnlyShrink) {
    TempFolder folder;
    const std::string root = folder.file("tree/");
    folder.write("tree/keep.exe", Bytes(100));
    folder.write("tree/big.exe", Bytes(5000));
    folder.write("tree/skip.exe", Bytes(10));
    folder.write("tree/cache/inner.exe", Bytes(10));
    folder.write("tree/a/cache/deeper.exe", Bytes(10));
    folder.write("tree/a/b.exe", Bytes(10));

    FileQueue queue;
    FileCollection collection;
    CountingPump pump;
    CollectOptions options;
    options.exclude = {"**/cache", root + "skip.exe"};
    options.maxSize = 1000;
    std::vector<std::string> entered;
    options.onFolderEntered = [&](const std::string& path) { entered.push_back(path); };
    // What was passed over is told, and why: the programs that were not collected.
    std::vector<std::string> passedOver;
    options.onPassedOver = [&](const std::string& path, PassedOver why, const std::string&) {
        passedOver.push_back(path + (why == PassedOver::Excluded ? " excluded" : why == PassedOver::TooLarge ? " large" : " ?"));
    };
    CollectFiles(queue, root, collection, pump, options);
    EXPECT_EQ(Sorted({queue.begin(), queue.end()}),
              (std::vector<std::string>{root + Native("a/b.exe"), root + "keep.exe"}));
    EXPECT_EQ(Sorted(entered), (std::vector<std::string>{root, root + Native("a/")}));
    EXPECT_EQ(Sorted(passedOver),
              (std::vector<std::string>{root + Native("a/cache/ excluded"), root + "big.exe large",
                                        root + Native("cache/ excluded"), root + "skip.exe excluded"}));

    // A limit above the scanner's own is no limit above it.
    MakeSized(root + "huge.exe", kMaxScannedFileSize);
    queue.clear();
    options.exclude.clear();
    options.maxSize = kMaxScannedFileSize * 4;
    CollectFiles(queue, root, collection, pump, options);
    for (const std::string& path : queue) EXPECT_NE(path, root + "huge.exe");
    EXPECT_EQ(queue.size(), 6U);
}

TEST(CollectFiles, AMissingFolderAddsNothingAndIsToldAsUnreadable) {
    FileCollection collection;
    CountingPump pump;
    EXPECT_TRUE(Collect("/nonexistent/korvax/", collection, pump).empty());
    EXPECT_EQ(collection.TotalFiles, 0);

    // A typo in a folder's name must not read as "nothing found".
    FileQueue queue;
    CollectOptions options;
    std::vector<std::string> told;
    options.onPassedOver = [&](const std::string& path, PassedOver why, const std::string& detail) {
        if (why == PassedOver::Unreadable) told.push_back(path + ": " + detail);
    };
    CollectFiles(queue, "/nonexistent/korvax/", collection, pump, options);
    // With the system's reason, in its words.
    ASSERT_EQ(told.size(), 1U);
    EXPECT_TRUE(told[0].starts_with("/nonexistent/korvax/: ")) << told[0];
    EXPECT_GT(told[0].size(), std::string("/nonexistent/korvax/: ").size()) << told[0];
}

std::vector<std::string> TakeAll(FileCollection& collection, int count) {
    std::vector<std::string> taken;
    FileNameBuffer buffer;
    for (int i = 0; i < count; ++i) {
        TakeNextFile(collection, buffer);
        taken.emplace_back(buffer.data());
    }
    return taken;
}

TEST(TakeNextFile, RoundRobinOverFoldersPassingOverEmptyOnes) {
    FileCollection collection;
    collection.FileQueues = {{"A1", "A2", "A3"}, {"B1"}};
    EXPECT_EQ(TakeAll(collection, 4), (std::vector<std::string>{"A1", "B1", "A2", "A3"}));

    collection.FileQueues = {{}, {"C1", "C2"}};
    collection.QueueCursor = 0;
    EXPECT_EQ(TakeAll(collection, 2), (std::vector<std::string>{"C1", "C2"}));

    collection.FileQueues = {{"A1", "A2"}, {"B1", "B2"}, {"C1"}};
    collection.QueueCursor = 0;
    EXPECT_EQ(TakeAll(collection, 5), (std::vector<std::string>{"A1", "B1", "C1", "A2", "B2"}));

    // With nothing queued it refuses instead of spinning for ever.
    FileNameBuffer buffer;
    EXPECT_THROW(TakeNextFile(collection, buffer), std::logic_error);
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

TEST(CollectListed, ANamedFileIsTakenAsTheUserAskedAndWhatCannotBeReadIsRefusedUnopened) {
    TempFolder folder;
    const std::string root = folder.file("t/");
    folder.write("t/readme.txt", Bytes(10));
    folder.write("t/big.exe", Bytes(2000));
    folder.write("t/sub/inner.COM", Bytes(10));
    // Where the system has them (Wine makes no link, Windows' folders hold no FIFO).
    const bool link = test::MakeSymbolicLink(root + "readme.txt", root + "link.txt");
    const bool fifo = test::MakeFifo(root + "pipe.exe");

    CollectOptions options;
    options.maxSize = 1000;
    options.exclude = {"**"};  // applies to what a walk finds, never to what is named
    std::vector<std::string> told;
    options.onPassedOver = [&](const std::string& path, PassedOver why, const std::string&) {
        told.push_back(path.substr(root.size()) + (why == PassedOver::Refused      ? " refused"
                                                   : why == PassedOver::Unreadable ? " unreadable"
                                                                                   : " other"));
    };
    CountingPump pump;
    std::vector<std::string> collected;
    for (const char* named : {"readme.txt", "link.txt", "big.exe", "pipe.exe", "missing.exe", "sub"}) {
        // A FIFO must not be opened: opening one for reading would wait for a writer.
        CollectListed(root + named, [&](const std::string& path) { collected.push_back(path); }, pump, options);
    }
    // The link is collected under its target's path, as a walk would give it.
    std::vector<std::string> expected{root + "readme.txt"};
    if (link) expected.push_back(root + "readme.txt");
    EXPECT_EQ(collected, expected);
    std::vector<std::string> expectedTold{"big.exe refused"};
    expectedTold.push_back(fifo ? "pipe.exe refused" : "pipe.exe unreadable");
    expectedTold.push_back("missing.exe unreadable");
    if (!link) expectedTold.insert(expectedTold.begin(), "link.txt unreadable");
    expectedTold.push_back(Native("sub/inner.COM other"));
    EXPECT_EQ(told, expectedTold);
}

}  // namespace
}  // namespace korvax
