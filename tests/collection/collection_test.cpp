#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/directory_walk.h"
#include "collection/collect_files.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::TempFolder;

class CountingPump : public MessagePump {
public:
    void ProcessPendingMessages() override { ++calls; }
    int calls = 0;
};

// Makes a file of `size` bytes without writing them (a sparse file).
void MakeSized(const std::string& path, std::int64_t size) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    { std::ofstream create(path); }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
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
    const std::string root = folder.path().string() + "/";
    MakeSized(root + "a.exe", 5242879);
    MakeSized(root + "big.exe", 5242880);
    MakeSized(root + "b.com", 0);
    for (const char* name : {"SETUP.EXE", "Setup.Exe", "setup.exe.bak", "readme", "name.", ".hidden.com"}) {
        MakeSized(root + name, 10);
    }
    MakeSized(root + "old.exe/inside.com", 10);  // a folder named like a program is walked
    ASSERT_EQ(::mkfifo((root + "pipe.exe").c_str(), 0644), 0);  // never opened: the walk must not block
    ASSERT_EQ(::symlink((root + "a.exe").c_str(), (root + "link.exe").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "loop").c_str()), 0);  // a link back to the top

    FileCollection collection;
    CountingPump pump;
    const std::vector<std::string> queued = Collect(root, collection, pump);
    EXPECT_EQ(Sorted(queued), Sorted({root + "a.exe", root + "b.com", root + "SETUP.EXE", root + "Setup.Exe",
                                      root + ".hidden.com", root + "old.exe/inside.com"}));
    EXPECT_EQ(collection.TotalFiles, 6);
    // One message step per entry, "." and ".." included: 15 at the top, 3 in old.exe.
    EXPECT_EQ(pump.calls, 15 + 3);
}

TEST(CollectFiles, WalksDepthFirstInListingOrder) {
    TempFolder folder;
    const std::string root = folder.path().string() + "/";
    for (const char* name : {"x.exe", "S/y.com", "S/T/w.exe", "z.exe", "U/v.com"}) MakeSized(root + name, 1);

    // The expected queue, built from the same listing order the walk sees.
    std::function<void(const std::string&, std::vector<std::string>&)> expect = [&](const std::string& dir,
                                                                                   std::vector<std::string>& out) {
        DirectoryListing listing(dir);
        while (auto entry = listing.next()) {
            if (entry->name == "." || entry->name == "..") continue;
            if (entry->kind == EntryKind::Directory) {
                expect(dir + entry->name + "/", out);
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
    const auto y = std::find(expected.begin(), expected.end(), root + "S/y.com");
    const auto w = std::find(expected.begin(), expected.end(), root + "S/T/w.exe");
    EXPECT_EQ(std::abs(std::distance(y, w)), 1);
}

TEST(CollectFiles, PathsLongerThanTheBufferAreNotCollected) {
    TempFolder folder;
    const std::string root = folder.path().string() + "/";
    // Nest folders until the paths pass 1024 bytes.
    std::string deep = root;
    while (deep.size() < 1000) deep += std::string(60, 'd') + "/";
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

TEST(CollectFiles, ALinkedFolderIsWalkedUnderItsRealPathAndNoLinkIsEnteredLater) {
    TempFolder folder;
    folder.write("real/a.exe", Bytes(10));
    folder.write("real/sub/b.exe", Bytes(10));
    folder.write("elsewhere/stolen.exe", Bytes(10));
    const std::string real = folder.file("real") + "/";
    const std::string listed = folder.file("listed");
    ASSERT_EQ(::symlink(real.c_str(), listed.c_str()), 0);

    // A listed folder that is a link: walked, and its files queued under link-free paths.
    FileCollection collection;
    CountingPump pump;
    EXPECT_EQ(Sorted(Collect(listed + "/", collection, pump)), (std::vector<std::string>{real + "a.exe", real + "sub/b.exe"}));

    // A folder swapped for a link after it was listed and before it is entered: not entered.
    class SwappingPump : public MessagePump {
    public:
        explicit SwappingPump(std::function<void()> swap) : swap_(std::move(swap)) {}
        void ProcessPendingMessages() override {
            if (swap_) std::exchange(swap_, nullptr)();
        }

    private:
        std::function<void()> swap_;
    };
    SwappingPump swapping([&] {
        std::filesystem::rename(real + "sub", folder.file("sub.old"));
        ASSERT_EQ(::symlink(folder.file("elsewhere").c_str(), (real + "sub").c_str()), 0);
    });
    FileQueue queue;
    FileCollection again;
    CollectFiles(queue, real, again, swapping);
    for (const std::string& path : queue) EXPECT_EQ(path.find("stolen"), std::string::npos) << path;

    // Whenever the swap lands, the walk opens each folder from its parent without
    // following a link: a link where a folder was listed gives no entries.
    DirectoryListing top(real);
    DirectoryListing throughLink(top, "sub");
    EXPECT_FALSE(throughLink.next().has_value());
}

TEST(CollectFiles, ExcludedFoldersAreNotEnteredAndTheSizeLimitCanOnlyShrink) {
    TempFolder folder;
    const std::string root = folder.file("tree") + "/";
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
    EXPECT_EQ(Sorted({queue.begin(), queue.end()}), (std::vector<std::string>{root + "a/b.exe", root + "keep.exe"}));
    EXPECT_EQ(Sorted(entered), (std::vector<std::string>{root, root + "a/"}));
    EXPECT_EQ(Sorted(passedOver), (std::vector<std::string>{root + "a/cache/ excluded", root + "big.exe large",
                                                            root + "cache/ excluded", root + "skip.exe excluded"}));

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
    EXPECT_EQ(told, (std::vector<std::string>{"/nonexistent/korvax/: No such file or directory"}));
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
    const std::string root = folder.file("t") + "/";
    folder.write("t/readme.txt", Bytes(10));
    folder.write("t/big.exe", Bytes(2000));
    folder.write("t/sub/inner.COM", Bytes(10));
    std::filesystem::create_symlink(root + "readme.txt", root + "link.txt");
    ASSERT_EQ(::mkfifo((root + "pipe.exe").c_str(), 0600), 0);

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
    EXPECT_EQ(collected, (std::vector<std::string>{root + "readme.txt", root + "readme.txt"}));
    EXPECT_EQ(told, (std::vector<std::string>{"big.exe refused", "pipe.exe refused", "missing.exe unreadable",
                                               "sub/inner.COM other"}));
}

}  // namespace
}  // namespace korvax
