// The folder originals are kept in: only ever one of the user's own, reached only through
// folders and links that the user or root controls.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/private_folder.h"
#include "other_users.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::TempFolder;

TEST(PrivateFolder, IsRefusedWhereAnotherUserCouldRedirectOrReachIt) {
    if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to make files of another user";
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    const std::string home = folder.file("home");
    const std::string rootOnly = folder.file("root-only");
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(rootOnly);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(rootOnly.c_str(), 0700), 0);

    // `--backup ~user/bk` where the user made bk a link to a folder of root's.
    const std::string link = home + "/bk";
    std::filesystem::create_symlink(rootOnly, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    const auto refusal = [](const std::string& path) -> std::string {
        try {
            PrivateFolder refused(path);
        } catch (const FolderRefused& failure) {
            return failure.what();
        }
        return "taken";
    };
    EXPECT_NE(refusal(link).find("the folder " + home + " above it"), std::string::npos) << refusal(link);
    // The same link of the user's in a folder of root's.
    const std::string planted = folder.file("bk");
    std::filesystem::create_symlink(rootOnly, planted);
    ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
    EXPECT_NE(refusal(planted).find("the link " + planted), std::string::npos) << refusal(planted);
    // A folder made inside another user's folder: that user could rename it away and put
    // anything in its place.
    EXPECT_THROW(PrivateFolder(home + "/new"), FolderRefused);
    EXPECT_FALSE(std::filesystem::exists(home + "/new"));
    EXPECT_TRUE(std::filesystem::is_empty(rootOnly));

    // Root's own link to root's own folder is followed.
    const std::string own = folder.file("own-link");
    std::filesystem::create_symlink(rootOnly, own);
    PrivateFolder kept(own);
    EXPECT_TRUE(kept.CreateNewFile("a.orig", test::BytesOf("original")));
    EXPECT_TRUE(std::filesystem::exists(rootOnly + "/a.orig"));
}

}  // namespace
}  // namespace korvax
