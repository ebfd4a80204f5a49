// Two spellings of one file are never in two workers' hands at once: the second waits, then
// reads what the first wrote.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/disk_file.h"
#include "engine/files_in_hand.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::TempFolder;

TEST(FilesInHand, EverySpellingOfOneFileIsOnePlaceAndAHardLinkIsAnother) {
    TempFolder folder;
    const std::string path = folder.write("dup/A.EXE", test::SampleProgram());
    std::filesystem::create_hard_link(path, folder.file("dup/B.EXE"));
    const FileInFolder plain(path, LinkPolicy::RefuseLinks);
    const FileInFolder dotted(folder.file("dup/./A.EXE"), LinkPolicy::RefuseLinks);
    const FileInFolder climbing(folder.file("dup/../dup/A.EXE"), LinkPolicy::RefuseLinks);
    const FileInFolder other(folder.file("dup/B.EXE"), LinkPolicy::RefuseLinks);
    EXPECT_EQ(plain.place(), dotted.place());
    EXPECT_EQ(plain.place(), climbing.place());
    EXPECT_NE(plain.place(), other.place());

    FilesInHand inHand;
    FilesInHand::Hold first = inHand.TryHold(plain.place());
    ASSERT_TRUE(first);
    EXPECT_FALSE(inHand.TryHold(dotted.place()));
    EXPECT_TRUE(inHand.TryHold(other.place()));
    first = {};
    EXPECT_TRUE(inHand.TryHold(dotted.place()));
}

TEST(FilesInHand, ASecondSpellingWaitsAndThenReadsWhatTheFirstWrote) {
    TempFolder folder;
    const Bytes infected = test::WithMarkers(test::SampleProgram(), "AAAA");
    const Bytes cured = test::SampleProgram();
    const std::string path = folder.write("dup/A.EXE", infected);
    FilesInHand inHand;

    auto first = std::make_unique<DiskFile>(path, LinkPolicy::RefuseLinks, SystemFileWriteCalls(), &inHand);
    ASSERT_EQ(first->Load(1 << 20), infected);
    std::atomic<bool> loaded{false};
    Bytes seen;
    std::thread second([&] {
        DiskFile file(folder.file("dup/./A.EXE"), LinkPolicy::RefuseLinks, SystemFileWriteCalls(), &inHand);
        seen = file.Load(1 << 20);
        loaded.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(loaded.load()) << "the second spelling was read while the first was in hand";
    first->Save(cured);  // a new file under the name: the second must read it, not the old one
    first.reset();
    second.join();
    EXPECT_TRUE(loaded.load());
    EXPECT_EQ(seen, cured);
}

}  // namespace
}  // namespace korvax
