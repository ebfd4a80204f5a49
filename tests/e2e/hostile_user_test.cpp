// korvax-scan run by root (as administrators run it) beside another user of the machine who
// plants databases, links and look-alike folders to turn the check against root. The other
// user is nobody (65534); what they make is made as root and given to them with chown, as
// they could have made it themselves.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "other_users.h"
#include "test_support.h"
#include "run_program.h"

namespace korvax {
namespace {

using e2e::Lines;
using e2e::ProgramResult;
using e2e::RunProgram;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

const std::string kScan = KORVAX_SCAN_PATH;
constexpr uid_t kOther = 65534;

const char* const kDatabase = R"(
    entry "Tail.A"
    search rel 0 pattern "AAAA"
    size cut 4
)";

// An entry that matches every file and cuts it to nothing: what another user would put in a
// database root might pick up.
const char* const kEmptyingDatabase = R"(
    entry "Emptier"
    size 0
)";

class HostileUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to act as two users";
        ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
        database = folder.write("root/virbase.kvd", AssembleSource(kDatabase));
        ASSERT_EQ(::chmod(folder.file("root").c_str(), 0700), 0);
        home = folder.file("home");
        std::filesystem::create_directories(home);
        give(home);
    }

    static void give(const std::string& path) { ASSERT_EQ(::lchown(path.c_str(), kOther, kOther), 0); }

    // A file of root's programs that a check must leave as it is unless it cures them.
    std::string rootProgram(const std::string& name, const Bytes& bytes) const {
        return folder.write("srv/" + name, bytes);
    }

    static std::string Summary(const std::string& out, const std::string& label) {
        for (const std::string& line : Lines(out)) {
            if (line.starts_with(label)) return line;
        }
        return "";
    }

    test::TempFolder folder;
    std::string database;
    std::string home;
};

TEST_F(HostileUser, RootNeverRunsADatabaseAnotherUserControls) {
    const Bytes program = SampleProgram();
    const std::string victim = rootProgram("tool.exe", program);
    const std::string planted = folder.write("home/virbase.kvd", AssembleSource(kEmptyingDatabase));
    give(planted);

    // Root checks /srv from the user's folder, without --db: the user's database is refused,
    // not run, and not passed over for another one either.
    ProgramResult result = RunProgram(kScan, {folder.file("srv")}, home);
    EXPECT_EQ(result.exitStatus, 2) << result.out;
    EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(planted), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(victim), program);

    // The user's link, where root looks for a database to update, to a text file of root's.
    const Bytes notes = test::BytesOf("root's notes\n");
    const std::string rootsFile = folder.write("root-notes.txt", notes);
    std::filesystem::remove(planted);
    std::filesystem::create_symlink(rootsFile, planted);
    give(planted);
    const std::string update = folder.write("update.kvd", AssembleSource(kDatabase));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--update", update}, std::vector<std::string>{"--db", planted, "--update", update}}) {
        result = RunProgram(kScan, arguments, home);
        EXPECT_EQ(result.exitStatus, 2) << result.err;
        EXPECT_NE(result.err.find("Not trusted: " + planted), std::string::npos) << result.err;
        EXPECT_EQ(ReadBytes(rootsFile), notes);
    }

    // Another user's database, named on purpose, is read; but root does not rewrite it.
    std::filesystem::remove(planted);
    const Bytes theirs = AssembleSource(kDatabase);
    folder.write("home/virbase.kvd", theirs);
    give(planted);
    result = RunProgram(kScan, {"--db", planted, "--update", update});
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_NE(result.err.find("belongs to user nobody"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(planted), theirs);
    result = RunProgram(kScan, {"--db", planted, "--no-cure", folder.file("srv")});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
}

TEST_F(HostileUser, AReportIsNeverWrittenThroughALinkNorEmptiedBeforeTheCheck) {
    const Bytes secret = test::BytesOf("root's precious file\n");
    const std::string target = folder.write("precious.conf", secret);
    const std::string infected = rootProgram("a.exe", WithMarkers(SampleProgram(), "AAAA"));

    // A link planted where root writes its report, by the other user or by anyone: refused
    // before anything is checked, and the file it points at keeps every byte.
    for (const bool othersLink : {true, false}) {
        const std::string report = folder.file(othersLink ? "their-report.jsonl" : "own-report.jsonl");
        std::filesystem::create_symlink(target, report);
        if (othersLink) give(report);
        const ProgramResult result = RunProgram(kScan, {"--db", database, "--report", report, folder.file("srv")});
        EXPECT_EQ(result.exitStatus, 2) << result.out;
        EXPECT_NE(result.err.find("symbolic link"), std::string::npos) << result.err;
        EXPECT_EQ(ReadBytes(target), secret);
        EXPECT_TRUE(std::filesystem::is_symlink(report));
        EXPECT_EQ(ReadBytes(infected), WithMarkers(SampleProgram(), "AAAA")) << "checked after a refused report";
    }
    // Another user's report file is not replaced, and one in their folder is not written.
    const std::string theirs = folder.write("theirs.jsonl", test::BytesOf("theirs\n"));
    give(theirs);
    ProgramResult result = RunProgram(kScan, {"--db", database, "--report", theirs, folder.file("srv")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(ReadBytes(theirs), test::BytesOf("theirs\n"));
    result = RunProgram(kScan, {"--db", database, "--report", home + "/report.jsonl", folder.file("srv")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(home + "/report.jsonl"));

    // Root's own report is replaced whole once the check has ended.
    const std::string own = folder.write("report.jsonl", test::BytesOf("the last run's report\n"));
    result = RunProgram(kScan, {"--db", database, "--report", own, folder.file("srv")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const Bytes written = ReadBytes(own);
    const std::vector<std::string> lines = Lines(std::string(written.begin(), written.end()));
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find(R"("result":"cured")"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(R"("type":"summary")"), std::string::npos) << lines[1];
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".korvax-"), std::string::npos) << entry.path();
    }
}

TEST_F(HostileUser, WhatCouldNotBeLookedAtMakesTheExitStatusTwo) {
    rootProgram("clean.exe", SampleProgram());
    // A typo: nothing to check is no "all clean".
    ProgramResult result = RunProgram(kScan, {"--db", database, folder.file("srv"), folder.file("no-such-folder")});
    EXPECT_EQ(result.exitStatus, 2) << result.out;
    EXPECT_NE(result.err.find(folder.file("no-such-folder")), std::string::npos) << result.err;
    EXPECT_EQ(Summary(result.out, "Проверено:"), "Проверено: 1");

    // A path over the scanner's limit of 1,024 bytes.
    std::string deep = folder.file("deep");
    while (deep.size() < 1030) deep += "/" + std::string(100, 'd');
    std::filesystem::create_directories(deep);
    folder.write(deep.substr(folder.path().string().size() + 1) + "/x.exe", SampleProgram());
    result = RunProgram(kScan, {"--db", database, folder.file("deep")});
    EXPECT_EQ(result.exitStatus, 2) << result.out;
    EXPECT_NE(result.err.find("longer than 1024"), std::string::npos) << result.err;

    // A folder the checking user may not read, as another user's private folder is.
    const std::string closed = folder.file("srv/closed");
    std::filesystem::create_directories(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(database.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(folder.file("root").c_str(), 0755), 0);
    result = RunProgram("/usr/bin/setpriv",
                        {"--reuid=65534", "--regid=65534", "--clear-groups", kScan, "--db", database, folder.file("srv")},
                        "", {e2e::DataHomeOf(kOther)});
    EXPECT_EQ(result.exitStatus, 2) << result.out << result.err;
    EXPECT_NE(result.err.find(closed + "/"), std::string::npos) << result.err;
    // Everything readable was checked all the same, and a detection still says 1.
    EXPECT_EQ(Summary(result.out, "Проверено:"), "Проверено: 1");
    rootProgram("infected.exe", WithMarkers(SampleProgram(), "AAAA"));
    result = RunProgram(kScan, {"--db", database, "--no-cure", folder.file("srv"), folder.file("no-such-folder")});
    EXPECT_EQ(result.exitStatus, 1) << result.out;
}

TEST_F(HostileUser, OneFileNamedTwoWaysIsNeverInTwoWorkersHands) {
    // Several runs: before, two workers met the two spellings at once in every run.
    const Bytes program = SampleProgram();
    const Bytes infected = WithMarkers(program, "AAAA");
    for (int run = 0; run < 12; ++run) {
        SCOPED_TRACE(run);
        const std::string file = folder.write("x/dup/A.EXE", infected);
        const std::string backups = folder.file("backups-" + std::to_string(run));
        const ProgramResult result = RunProgram(kScan, {"--db", database, "--jobs", "2", "--backup", backups,
                                                        folder.file("x/dup"), folder.file("x/./dup")});
        EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
        EXPECT_EQ(Summary(result.out, "Проверено:"), "Проверено: 2");
        EXPECT_EQ(Summary(result.out, "Вылечено:"), "Вылечено: 1");
        EXPECT_EQ(Summary(result.out, "Тел вирусов:"), "Тел вирусов: 1");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(ReadBytes(file), program);
        // The backup and its closing line, once.
        const Bytes index = ReadBytes(backups + "/index.jsonl");
        const std::vector<std::string> lines = Lines(std::string(index.begin(), index.end()));
        ASSERT_EQ(lines.size(), 2U);
        EXPECT_NE(lines[0].find(R"("kind":"backup")"), std::string::npos);
        EXPECT_NE(lines[1].find(R"("kind":"cured")"), std::string::npos);
    }
}

TEST_F(HostileUser, BackupsNeverGoWhereAnotherUsersLinkPoints) {
    rootProgram("a.exe", WithMarkers(SampleProgram(), "AAAA"));
    const std::string rootFolder = folder.file("root-only");
    std::filesystem::create_directories(rootFolder);
    ASSERT_EQ(::chmod(rootFolder.c_str(), 0700), 0);
    // `--backup ~user/bk`, and the same link in a folder of root's.
    for (const std::string& link : {home + "/bk", folder.file("bk")}) {
        std::filesystem::create_symlink(rootFolder, link);
        give(link);
        const ProgramResult result = RunProgram(kScan, {"--db", database, "--backup", link, folder.file("srv")});
        EXPECT_EQ(result.exitStatus, 2) << result.out;
        EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
        EXPECT_TRUE(std::filesystem::is_empty(rootFolder));
        EXPECT_EQ(ReadBytes(folder.file("srv/a.exe")), WithMarkers(SampleProgram(), "AAAA"));
    }
}

}  // namespace
}  // namespace korvax
