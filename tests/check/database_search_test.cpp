// Where korvax-scan takes its database from when --db names none, and the start-up path
// of the desktop scanner's rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "check/database_search.h"
#include "check/startup.h"
#include "platform/failure.h"
#include "platform/trusted_path.h"
#include "platform/user_data_folder.h"
#include "database_choice.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BytesOf;
using test::TempFolder;

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

    // Nothing anywhere: the failure names every place that was tried. (Windows removes no
    // read-only file: its write permission back first.)
    std::filesystem::permissions(folder.file("work/virbase.kvd"), std::filesystem::perms::owner_all);
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

}  // namespace
}  // namespace korvax
