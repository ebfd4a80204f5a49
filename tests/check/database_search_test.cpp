// Where korvax-scan takes its database from when --db names none, and the start-up path
// of the desktop scanner's rule.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "check/database_search.h"
#include "check/startup.h"
#include "platform/failure.h"
#include "platform/trusted_path.h"
#include "platform/user_data_folder.h"
#include "other_users.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BytesOf;
using test::TempFolder;

class DatabaseChoice : public ::testing::Test {
protected:
    // An installed tree under folder/usr (programs in bin/, the default database in
    // share/korvax/), a home, and an unrelated current folder.
    void SetUp() override {
        search.currentDirectory = folder.file("work");
        search.userData = folder.file("home/.local/share/korvax");
        search.programDirectory = folder.file("usr/bin");
        std::filesystem::create_directories(search.currentDirectory);
    }

    std::string chosen() { return ChooseDatabase("", search).path; }

    TempFolder folder;
    DatabaseSearch search;
};

TEST_F(DatabaseChoice, CurrentFolderThenUsersCopyThenInstalledDefault) {
    const std::string beside = folder.write("usr/bin/virbase.kvd", BytesOf("build tree"));
    const std::string installed = folder.write("usr/share/korvax/virbase.kvd", BytesOf("default"));
    const std::string users = folder.write("home/.local/share/korvax/virbase.kvd", BytesOf("own"));
    const std::string current = folder.write("work/virbase.kvd", BytesOf("here"));

    EXPECT_EQ(ChooseDatabase("", search).origin, DatabaseOrigin::CurrentFolder);
    EXPECT_EQ(chosen(), current);
    std::filesystem::remove(current);
    EXPECT_EQ(ChooseDatabase("", search).origin, DatabaseOrigin::UserCopy);
    EXPECT_EQ(chosen(), users);
    std::filesystem::remove(users);
    EXPECT_EQ(ChooseDatabase("", search).origin, DatabaseOrigin::InstalledDefault);
    EXPECT_EQ(chosen(), installed);  // the path shown plainly, without "bin/.."
    std::filesystem::remove(installed);
    EXPECT_EQ(chosen(), beside);     // the build tree keeps it beside the programs

    // A named database is taken as it is, present or not: its load then says what is wrong.
    // (Resolved, so that the file loaded is the one whose path was looked at.)
    EXPECT_EQ(ChooseDatabase("elsewhere.kvd", search).path,
              (std::filesystem::current_path() / "elsewhere.kvd").string());
    EXPECT_EQ(ChooseDatabase("elsewhere.kvd", search).origin, DatabaseOrigin::Named);

    // A file there that cannot be read is still the one chosen, rather than quietly
    // passed over for another database.
    folder.write("work/virbase.kvd", BytesOf("here"));
    std::filesystem::permissions(folder.file("work/virbase.kvd"), std::filesystem::perms::none);
    EXPECT_EQ(ChooseDatabase("", search).origin, DatabaseOrigin::CurrentFolder);

    // Nothing anywhere: the failure names every place that was tried.
    std::filesystem::remove(folder.file("work/virbase.kvd"));
    std::filesystem::remove(beside);
    try {
        chosen();
        ADD_FAILURE() << "no database, and no failure";
    } catch (const Failure& failure) {
        const std::string message = failure.what();
        for (const char* place : {"work/virbase.kvd", "home/.local/share/korvax/virbase.kvd",
                                  "usr/share/korvax/virbase.kvd", "usr/bin/virbase.kvd"}) {
            EXPECT_NE(message.find(folder.file(place)), std::string::npos) << message;
        }
        EXPECT_NE(message.find("--db"), std::string::npos) << message;
    }
}

// Root checking from a folder another user controls must not run that user's entries (an
// entry of size 0 empties every program it matches).
TEST_F(DatabaseChoice, ADatabaseAnotherUserControlsIsRefusedNotPassedOver) {
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

TEST_F(DatabaseChoice, TheUsersDataFolderFollowsTheXdgRules) {
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
