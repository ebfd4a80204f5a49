// Where the database is taken from, where only Linux can make the fixture: files of
// another user, the XDG rules of its user folders, a current folder that is removed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "check/database_search.h"
#include "check/startup.h"
#include "database_choice.h"
#include "other_users.h"
#include "platform/failure.h"
#include "platform/trusted_path.h"
#include "platform/user_data_folder.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BytesOf;
using test::TempFolder;

class DatabaseChoiceOnPosix : public DatabaseChoice {};

// Root checking from a folder another user controls must not run that user's entries (an
// entry of size 0 empties every program it matches).
TEST_F(DatabaseChoiceOnPosix, ADatabaseAnotherUserControlsIsRefusedNotPassedOver) {
    if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to make files of another user";
    folder.write("home/.local/share/korvax/virbase.kvd", BytesOf("own"));
    const std::string planted = folder.write("work/virbase.kvd", BytesOf("size 0"));
    ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
    const auto refusal = [&](const std::string& named) -> std::string {
        try {
            ChooseDatabase(named, search);
        } catch (const NotTrusted& failure) {
            return failure.what();
        }
        return "";
    };
    const std::string message = refusal("");
    EXPECT_NE(message.find("in the current folder is refused"), std::string::npos) << message;
    EXPECT_NE(message.find("--db"), std::string::npos) << message;

    // Its own file, but a folder another user may write to: they could swap it.
    ASSERT_EQ(::chown(planted.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(search.currentDirectory.c_str(), 0777), 0);
    EXPECT_NE(refusal(""), "");
    ASSERT_EQ(::chmod(search.currentDirectory.c_str(), 0755), 0);
    EXPECT_EQ(refusal(""), "");

    // Named on purpose, it is read whoever owns it, but not through another user's link.
    ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
    EXPECT_EQ(ChooseDatabase(planted, search).path, planted);
    const std::string link = folder.file("work/link.kvd");
    std::filesystem::create_symlink(planted, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    EXPECT_NE(refusal(link), "");
}

TEST_F(DatabaseChoiceOnPosix, TheUsersDataFolderFollowsTheXdgRules) {
    EXPECT_EQ(XdgUserDataFolder("/data/me", "/home/me"), "/data/me/korvax");
    EXPECT_EQ(XdgUserDataFolder("/data/me/", "/home/me"), "/data/me/korvax");
    // Unset, empty or relative: the default under the home folder.
    EXPECT_EQ(XdgUserDataFolder("", "/home/me"), "/home/me/.local/share/korvax");
    EXPECT_EQ(XdgUserDataFolder("relative/data", "/home/me"), "/home/me/.local/share/korvax");
    // No home either: there is no user's copy to look for.
    EXPECT_EQ(XdgUserDataFolder("", ""), "");

    search.userData = XdgUserDataFolder(folder.file("xdg"), "");
    const std::string users = folder.write("xdg/korvax/virbase.kvd", BytesOf("own"));
    EXPECT_EQ(chosen(), users);
    search.userData.clear();
    for (const DatabasePlace& place : DatabasePlaces(search)) EXPECT_NE(place.origin, DatabaseOrigin::UserCopy);
}

TEST(StartupBasePath, ACurrentDirectoryThatIsGoneStillMeansTheCurrentDirectory) {
    const std::filesystem::path before = std::filesystem::current_path();
    TempFolder folder;
    const std::string gone = folder.file("gone");
    std::filesystem::create_directories(gone);
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    EXPECT_EQ(StartupBasePath(), gone + "/virbase.kvd");
    std::filesystem::remove(gone);
    // Not "/virbase.kvd", which is another file altogether.
    EXPECT_EQ(StartupBasePath(), "virbase.kvd");
    std::filesystem::current_path(before);
}

}  // namespace
}  // namespace korvax
