// The walk where only Linux can make the fixture: symbolic links to folders. (Windows'
// reparse points are tested through the listing's rule in the platform's tests.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

#include "collection/collect_files.h"
#include "platform/directory_walk.h"
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

std::vector<std::string> Collect(const std::string& folder, FileCollection& collection, CountingPump& pump) {
    FileQueue queue;
    CollectFiles(queue, folder, collection, pump);
    return {queue.begin(), queue.end()};
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CollectFilesThroughLinks, ALinkedFolderIsWalkedUnderItsRealPathAndNoLinkIsEnteredLater) {
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

}  // namespace
}  // namespace korvax
