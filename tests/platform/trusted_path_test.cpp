// Which paths a program may rely on when another user of the machine is hostile: owners,
// write permissions (mode bits and ACLs), sticky folders and links on the way. Files of
// "another user" are made by chown, so these run as root (as CI does).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/posix/trusted_path_for_user.h"
#include "other_users.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::TempFolder;

constexpr std::uint32_t kOther = 65534;  // nobody
constexpr std::uint32_t kMe = 4242;      // a user with no files of its own here

class TrustedPath : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to make files of other users";
        ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    }

    std::string make(const std::string& name, std::uint32_t owner, mode_t mode) const {
        const std::string path = folder.write(name, test::BytesOf("db"));
        EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }
    std::string folderOf(const std::string& name, std::uint32_t owner, mode_t mode) const {
        const std::string path = folder.file(name);
        std::filesystem::create_directories(path);
        EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }
    std::string link(const std::string& name, const std::string& target, std::uint32_t owner) const {
        const std::string path = folder.file(name);
        std::filesystem::create_symlink(target, path);
        EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
        return path;
    }
    static std::string refusal(const std::string& path, TrustRule rule, std::uint32_t uid,
                               FinalPart final = FinalPart::MustExist) {
        try {
            RequireTrusted(path, rule, final, uid);
        } catch (const NotTrusted& failure) {
            return failure.what();
        }
        return "";
    }

    TempFolder folder;
};

TEST_F(TrustedPath, OwnersDecide) {
    const std::string mine = make("mine.kvd", kMe, 0644);
    const std::string roots = make("roots.kvd", 0, 0644);
    const std::string others = make("others.kvd", kOther, 0644);
    EXPECT_EQ(RequireTrusted(mine, TrustRule::OwnedAndGuarded, FinalPart::MustExist, kMe), mine);
    EXPECT_EQ(RequireTrusted(roots, TrustRule::OwnedAndGuarded, FinalPart::MustExist, kMe), roots);
    EXPECT_NE(refusal(others, TrustRule::OwnedAndGuarded, kMe).find("belongs to user " ), std::string::npos);
    // Root relies on nobody else's file, the one case the review found exploited.
    EXPECT_NE(refusal(mine, TrustRule::OwnedAndGuarded, 0), "");
    // A path named on purpose is read whoever owns it.
    EXPECT_EQ(RequireTrusted(others, TrustRule::LinksOnly, FinalPart::MustExist, 0), others);

    // A folder above of another user's makes everything below it untrusted.
    folderOf("theirs", kOther, 0755);
    const std::string below = make("theirs/db.kvd", 0, 0644);
    EXPECT_NE(refusal(below, TrustRule::OwnedAndGuarded, 0).find("the folder " + folder.file("theirs")),
              std::string::npos);
}

TEST_F(TrustedPath, OthersMustNotWriteByModeOrByAcl) {
    EXPECT_NE(refusal(make("group.kvd", 0, 0664), TrustRule::OwnedAndGuarded, 0).find("chmod go-w"),
              std::string::npos);
    EXPECT_NE(refusal(make("world.kvd", 0, 0646), TrustRule::OwnedAndGuarded, 0), "");
    folderOf("open", 0, 0777);
    EXPECT_NE(refusal(make("open/db.kvd", 0, 0644), TrustRule::OwnedAndGuarded, 0).find("mode 0777"),
              std::string::npos);

    // An ACL entry that lets another user write shows in the group bits (its mask).
    const std::string acl = make("acl.kvd", 0, 0644);
    ASSERT_EQ(std::system(("setfacl -m u:65534:rw " + acl).c_str()), 0);
    EXPECT_NE(refusal(acl, TrustRule::OwnedAndGuarded, 0), "");
    // The same entry under a mask without write lets nobody else write.
    ASSERT_EQ(std::system(("setfacl -m m::r " + acl).c_str()), 0);
    EXPECT_EQ(refusal(acl, TrustRule::OwnedAndGuarded, 0), "");
}

TEST_F(TrustedPath, AStickyFolderIsFineOnlyForWhatIsOursInIt) {
    folderOf("tmp", 0, 01777);
    EXPECT_EQ(refusal(make("tmp/mine.kvd", 0, 0600), TrustRule::OwnedAndGuarded, 0), "");
    EXPECT_NE(refusal(make("tmp/theirs.kvd", kOther, 0600), TrustRule::OwnedAndGuarded, 0), "");
    // The owner of a sticky folder may still replace anything in it.
    folderOf("bobs-tmp", kOther, 01777);
    EXPECT_NE(refusal(make("bobs-tmp/mine.kvd", 0, 0600), TrustRule::OwnedAndGuarded, 0), "");
}

TEST_F(TrustedPath, LinksAreFollowedOnlyWhenTheirOwnerIsTrustedAndTheirTargetPasses) {
    const std::string target = make("real.kvd", 0, 0644);
    const std::string good = link("good.kvd", "real.kvd", 0);
    EXPECT_EQ(RequireTrusted(good, TrustRule::OwnedAndGuarded, FinalPart::MustExist, 0), target);

    // Another user's link to a root-owned file: the review's "--update through a link".
    const std::string planted = link("planted.kvd", target, kOther);
    EXPECT_NE(refusal(planted, TrustRule::OwnedAndGuarded, 0).find("the link " + planted), std::string::npos);
    EXPECT_NE(refusal(planted, TrustRule::LinksOnly, 0), "");
    // A folder link of another user's in the middle of the path.
    folderOf("real", 0, 0755);
    make("real/db.kvd", 0, 0644);
    link("via", "real", kOther);
    EXPECT_NE(refusal(folder.file("via/db.kvd"), TrustRule::LinksOnly, 0), "");
    // A trusted link whose target fails the rule.
    link("to-others", make("others.kvd", kOther, 0644), 0);
    EXPECT_NE(refusal(folder.file("to-others"), TrustRule::OwnedAndGuarded, 0).find("belongs to"),
              std::string::npos);
    // Relative targets with "..", and a loop.
    link("up", "real/../real.kvd", 0);
    EXPECT_EQ(RequireTrusted(folder.file("up"), TrustRule::OwnedAndGuarded, FinalPart::MustExist, 0), target);
    link("loop-a", "loop-b", 0);
    link("loop-b", "loop-a", 0);
    EXPECT_NE(refusal(folder.file("loop-a"), TrustRule::OwnedAndGuarded, 0).find("too many"), std::string::npos);
}

TEST_F(TrustedPath, MissingPartsAndRelativePaths) {
    const std::string missing = folder.file("new-report.jsonl");
    EXPECT_EQ(RequireTrusted(missing, TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing, 0), missing);
    EXPECT_THROW(RequireTrusted(missing, TrustRule::OwnedAndGuarded, FinalPart::MustExist, 0), Failure);
    EXPECT_THROW(RequireTrusted(folder.file("no/such/file"), TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing, 0),
                 Failure);
    const std::string db = make("db.kvd", 0, 0644);
    folderOf("sub", 0, 0755);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const std::string relative = RequireTrusted("./sub/../db.kvd", TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing, 0);
    std::filesystem::current_path(previous);
    EXPECT_EQ(relative, db);
}

}  // namespace
}  // namespace korvax
