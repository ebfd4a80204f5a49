// korvax-scan as scripts and admins run it: JSON Lines, a report file, report-only checks,
// exclusions, and backups that undo a wrong cure.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/escaped_text.h"
#include "language/signature_source.h"
#include "run_program.h"
#include "other_users.h"
#include "test_support.h"

namespace korvax {
namespace {

using e2e::Lines;
using e2e::RunProgram;
using nlohmann::json;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

const std::string kScan = KORVAX_SCAN_PATH;
const std::string kPreload = std::string("LD_PRELOAD=") + WRITE_FAULTS_PATH;
const std::string kAsanOrder = "ASAN_OPTIONS=verify_asan_link_order=0";
constexpr std::size_t kLongestGlob = 4096;

class Scripting : public ::testing::Test {
protected:
    void SetUp() override {
        // "GOOD" at the start of a program is taken for a virus whose cure cuts it off: a
        // false positive, as a wrong database entry makes one.
        database = folder.write("db/virbase.kvd", AssembleSource(R"(
            entry "Wrong.Entry"
            match at 0 pattern "GOOD"
            copy toend from 4 to 0
            size cut 4
            entry "Mark.S"
            search rel 0 pattern "STUK"
        )"));
    }
    std::string tree(const std::string& below = "") const { return folder.file("tree" + below); }

    static std::vector<json> JsonLines(const std::string& out) {
        std::vector<json> objects;
        for (const std::string& line : Lines(out)) objects.push_back(json::parse(line));
        return objects;
    }

    test::TempFolder folder;
    std::string database;
};

TEST_F(Scripting, AFalsePositiveCuredWithABackupIsPutBackWithItsBytesAndMetadata) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "a good program the entry mistakes for a virus");
    const std::string path = folder.write("tree/tools/tool.exe", good);
    ASSERT_EQ(::chmod(path.c_str(), 0751), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const bool attributes = ::setxattr(path.c_str(), "user.origin", "kept", 4, 0) == 0;
    const std::string backups = folder.file("backups");

    auto cure = RunProgram(kScan, {"--db", database, "--backup", backups, tree()});
    EXPECT_EQ(cure.exitStatus, 1) << cure.err;
    EXPECT_EQ(Lines(cure.out)[0], path + "\tWrong.Entry\tВылечен");
    EXPECT_NE(ReadBytes(path), good);

    auto restore = RunProgram(kScan, {"--restore", backups, path});
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(Lines(restore.out), (std::vector<std::string>{path + "\tWrong.Entry\tВосстановлен", "Восстановлено: 1",
                                                             "Отказано: 0"}));
    EXPECT_EQ(ReadBytes(path), good);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751U);
    EXPECT_EQ(info.st_uid, 65534U);
    EXPECT_EQ(info.st_gid, 65534U);
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(path.c_str(), "user.origin", value, sizeof value), 4);
    }

    // Put back, it is trusted: the next check finds it clean and names it.
    auto again = RunProgram(kScan, {"--db", database, "--backup", backups, tree()});
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(Lines(again.out).back(), "Доверенный файл, не изменился: " + path);
    EXPECT_EQ(ReadBytes(path), good);

    // Taken off the list, cured again, then changed by its user: the restore refuses unless
    // forced.
    const auto untrust = RunProgram(kScan, {"--backup", backups, "--untrust", path});
    EXPECT_EQ(untrust.exitStatus, 0) << untrust.err;
    EXPECT_EQ(RunProgram(kScan, {"--backup", backups, "--untrust", path}).exitStatus, 2);
    RunProgram(kScan, {"--db", database, "--backup", backups, tree()});
    EXPECT_NE(ReadBytes(path), good);
    folder.write("tree/tools/tool.exe", test::BytesOf("rewritten since"));
    restore = RunProgram(kScan, {"--restore", backups});
    EXPECT_EQ(restore.exitStatus, 2);
    EXPECT_NE(restore.err.find("changed since its cure"), std::string::npos) << restore.err;
    EXPECT_EQ(ReadBytes(path), test::BytesOf("rewritten since"));
    restore = RunProgram(kScan, {"--restore", backups, "--force", "--json", path});
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(JsonLines(restore.out)[0]["result"], "restored");
    EXPECT_EQ(ReadBytes(path), good);
}

TEST_F(Scripting, NeverACureWithoutItsBackup) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    // A backup folder on a full or a read-only file system: the backup's file cannot be
    // made or written, so the file is not cured and nothing is written.
    for (const auto& [step, error] : std::vector<std::pair<std::string, std::string>>{
             {"create", "EROFS"}, {"write", "ENOSPC"}, {"fsync", "EIO"}}) {
        SCOPED_TRACE(step + " " + error);
        const std::string path = folder.write("tree/tool.exe", good);
        const auto result = RunProgram(
            kScan, {"--db", database, "--backup", folder.file("backups"), tree()}, "",
            {kPreload, kAsanOrder, "KORVAX_FAULT_STEP=" + step, "KORVAX_FAULT_CALL=1", "KORVAX_FAULT_ERRNO=" + error});
        EXPECT_EQ(Lines(result.out)[0], path + "\tОшибка чтения\tПропущен");
        EXPECT_EQ(ReadBytes(path), good);
        EXPECT_EQ(result.exitStatus, 1);  // the detection still counts
    }
    // A backup folder other users may write to is refused before anything is checked.
    const std::string shared = folder.file("shared");
    std::filesystem::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    const std::string path = folder.write("tree/tool.exe", good);
    const auto refused = RunProgram(kScan, {"--db", database, "--backup", shared, tree()});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_NE(refused.err.find("other users may write to it"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    EXPECT_EQ(ReadBytes(path), good);
}

TEST_F(Scripting, JsonLinesParseWhateverTheNamesHoldAndAReportRunsBesideTheRows) {
    const std::vector<std::string> names = {"plain.exe", "new\nline.exe", "tab\there.exe", "bad\xFF\xFE.exe",
                                            "назад\\slash.exe"};
    for (const std::string& name : names) folder.write("tree/" + name, WithMarkers(SampleProgram(), "STUK"));
    const std::string reportPath = folder.file("report.jsonl");
    const auto result = RunProgram(kScan, {"--db", database, "--json", "--sort", tree()});
    EXPECT_EQ(result.exitStatus, 1);
    const std::vector<json> objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), names.size() + 1);
    std::set<std::string> paths;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const json& row = objects[i];
        EXPECT_EQ(row["type"], "row");
        EXPECT_EQ(row["result"], "detected");
        EXPECT_EQ(row["status"], "Mark.S");
        EXPECT_EQ(row["action"], "Пропущен");
        const std::string text = row["path"];
        paths.insert(row.value("path_escaped", false) ? *UnescapeText(text) : text);
    }
    std::set<std::string> expected;
    for (const std::string& name : names) expected.insert(tree("/" + name));
    EXPECT_EQ(paths, expected);
    // A UTF-8 name stays itself (JSON escapes its newline); only bytes outside UTF-8 are escaped.
    int escaped = 0;
    for (std::size_t i = 0; i < names.size(); ++i) escaped += objects[i].value("path_escaped", false);
    EXPECT_EQ(escaped, 1);
    EXPECT_NE(result.out.find("new\\nline.exe"), std::string::npos);
    const json& summary = objects.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["total"], names.size());
    EXPECT_EQ(summary["viruses"], names.size());
    EXPECT_EQ(summary["database_entries"], 2);
    EXPECT_GE(summary["files_per_second"].get<double>(), 0.0);

    // --report: the same objects in a file, the usual rows on stdout.
    const auto reported = RunProgram(kScan, {"--db", database, "--report", reportPath, "--sort", tree()});
    EXPECT_EQ(Lines(reported.out).size(), names.size() + 4);
    std::ifstream report(reportPath);
    std::string line;
    int objectsInReport = 0;
    while (std::getline(report, line)) {
        const json object = json::parse(line);
        EXPECT_TRUE(object["type"] == "row" || object["type"] == "summary");
        ++objectsInReport;
    }
    EXPECT_EQ(objectsInReport, static_cast<int>(names.size()) + 1);
}

TEST_F(Scripting, AReportOnlyCheckWritesNothingAndSaysWhatCouldBeCured) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "program");
    const std::string curable = folder.write("tree/curable.exe", good);
    const std::string marked = folder.write("tree/marked.exe", WithMarkers(SampleProgram(), "STUK"));
    auto result = RunProgram(kScan, {"--db", database, "--no-cure", "--sort", tree()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{curable + "\tWrong.Entry\tПропущен",
                                                            marked + "\tMark.S\tПропущен", "Всего: 2", "Проверено: 2",
                                                            "Вылечено: 0", "Тел вирусов: 2"}));
    EXPECT_EQ(ReadBytes(curable), good);
    result = RunProgram(kScan, {"--db", database, "--no-cure", "--json", "--sort", tree()});
    const std::vector<json> objects = JsonLines(result.out);
    EXPECT_EQ(objects[0]["result"], "curable");
    EXPECT_EQ(objects[1]["result"], "detected");
    EXPECT_EQ(ReadBytes(curable), good);

    // --quiet: the summary alone; --verbose: what was used and walked, on stderr.
    result = RunProgram(kScan, {"--db", database, "--no-cure", "--quiet", tree()});
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{"Всего: 2", "Проверено: 2", "Вылечено: 0", "Тел вирусов: 2"}));
    result = RunProgram(kScan, {"--db", database, "--no-cure", "--verbose", tree()});
    EXPECT_NE(result.err.find("korvax-scan: database " + database), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("korvax-scan: 2 database entries"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("korvax-scan: entering " + tree() + "/"), std::string::npos) << result.err;
}

TEST_F(Scripting, ExclusionsAndASmallerSizeLimitNarrowWhatIsCollected) {
    for (const char* name : {"keep.exe", "skip/inner.exe", "deep/er/skip/x.exe", "cache.exe", "a/cache.exe", "big.exe"}) {
        folder.write(std::string("tree/") + name, WithMarkers(SampleProgram(name == std::string("big.exe") ? 5000 : 100), "STUK"));
    }
    const auto result = RunProgram(kScan, {"--db", database, "--sort", "--exclude", "**/skip", "--exclude",
                                           tree() + "/*cache.exe", "--max-size", "1000", tree()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{tree("/a/cache.exe") + "\tMark.S\tПропущен",
                                                            tree("/keep.exe") + "\tMark.S\tПропущен", "Всего: 2",
                                                            "Проверено: 2", "Вылечено: 0", "Тел вирусов: 2",
                                                            "Пропущено: 4 (слишком большие: 1, исключено: 3)"}));
    // The scanner's own limit cannot be raised.
    EXPECT_EQ(RunProgram(kScan, {"--db", database, "--max-size", "5242881", tree()}).exitStatus, 2);
}

TEST_F(Scripting, EachExcludeTakesOnePatternAndAnAbsurdOneIsRefusedBeforeAnyCheck) {
    folder.write("tree/a.exe", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree/a.tmp.exe", WithMarkers(SampleProgram(), "STUK"));
    folder.write("other/b.exe", WithMarkers(SampleProgram(), "STUK"));
    const std::vector<std::string> both = {folder.file("other/b.exe") + "\tMark.S\tПропущен",
                                           tree("/a.exe") + "\tMark.S\tПропущен", "Всего: 2", "Проверено: 2",
                                           "Вылечено: 0", "Тел вирусов: 2", "Пропущено: 1 (исключено: 1)"};

    // The folders after a pattern are folders to check, not more patterns.
    auto result =
        RunProgram(kScan, {"--db", database, "--sort", "--exclude", "**.tmp.exe", tree(), folder.file("other")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Lines(result.out), both);
    result = RunProgram(kScan, {"--db", database, "--sort", "--exclude", "**/*.tmp.exe", "--exclude", "**/nothing",
                                tree(), folder.file("other")});
    EXPECT_EQ(Lines(result.out), both);

    // The longest pattern still works; one byte more, or one that would take the matcher
    // hours or its stack, is refused with a message before anything is checked.
    const std::string longest = "**" + std::string(kLongestGlob - 2, '*');
    result = RunProgram(kScan, {"--db", database, "--exclude", longest + "x", tree()});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("--exclude: GLOB longer than 4096 bytes (4097)"), std::string::npos) << result.err;
    result = RunProgram(kScan, {"--db", database, "--exclude", std::string(130000, '*'), tree()});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    result = RunProgram(kScan, {"--db", database, "--sort", "--exclude", longest, tree(), folder.file("other")});
    EXPECT_EQ(result.exitStatus, 0) << result.err;  // everything passed over
    EXPECT_EQ(Lines(result.out)[0], "Всего: 0");
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

// "0 viruses" must not hide what was not looked at: each kind of thing passed over is
// counted in one more summary line and in the JSON summary, and --verbose names them.
TEST_F(Scripting, TheSummarySaysWhatWasPassedOverAndWhy) {
    if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to make a folder the checking user cannot read";
    folder.write("tree/ok.exe", SampleProgram());
    folder.write("tree/skip/x.exe", WithMarkers(SampleProgram(), "STUK"));
    const std::string big = folder.write("tree/big.exe", Bytes(10));
    std::filesystem::resize_file(big, 5242880);
    std::string deep = "tree";
    while (deep.size() < 1030) deep += "/" + std::string(100, 'd');
    folder.write(deep + "/far.exe", SampleProgram());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree())) {
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chown(tree().c_str(), 65534, 65534), 0);
    // Another user's private folder: the checking user cannot look inside.
    const std::string closed = folder.file("tree/closed");
    std::filesystem::create_directories(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(database.c_str(), 0644), 0);

    const auto run = [&](const std::vector<std::string>& options) {
        std::vector<std::string> arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", kScan,
                                              "--db",          database,        "--exclude",      "**/skip"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(tree());
        return RunProgram("/usr/bin/setpriv", arguments, "", {e2e::DataHomeOf(65534)});
    };
    auto result = run({"--verbose"});
    EXPECT_EQ(result.exitStatus, 2) << result.err;  // a folder could not be read
    const auto lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Пропущено: 4 (слишком большие: 1, нечитаемые: 1, длинный путь: 1, исключено: 1)");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Проверено: 1"), 1);
    for (const std::string& named : {big, closed + "/", tree() + "/skip/"}) {
        EXPECT_NE(result.err.find(named), std::string::npos) << named << "\n" << result.err;
    }
    // Without --verbose what the user chose not to check (or the limit) is counted only.
    result = run({});
    EXPECT_EQ(result.err.find(big), std::string::npos) << result.err;

    result = run({"--json"});
    const json summary = JsonLines(result.out).back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["passed_over"],
              json({{"too_large", 1}, {"unreadable", 1}, {"path_too_long", 1}, {"excluded", 1}, {"refused", 0}}));
    // Nothing was cured, but originals would have been kept in the user's own store.
    EXPECT_TRUE(summary["backup_store"].is_string());
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

// The signature author's tool cures too: its cures go to the same store as the scanners',
// so `korvax-scan --restore` undoes them.
TEST_F(Scripting, ACureByKvdtoolIsUndoneFromTheUsersOwnStore) {
    const Bytes good = WithMarkers(test::BytesOf("GOOD"), "a good program");
    const std::string path = folder.write("tree/tool.exe", good);
    const std::string store = folder.file("data/korvax/backups");
    const std::vector<std::string> home = {"XDG_DATA_HOME=" + folder.file("data")};

    auto cured = RunProgram(KVDTOOL_PATH, {"scan", database, path}, "", home);
    EXPECT_EQ(cured.exitStatus, 1) << cured.err;
    EXPECT_EQ(Lines(cured.out)[0], path + "\tWrong.Entry\tВылечен");
    ASSERT_NE(ReadBytes(path), good);
    const auto restored = RunProgram(kScan, {"--restore", store, path});
    EXPECT_EQ(restored.exitStatus, 0) << restored.err;
    EXPECT_EQ(ReadBytes(path), good);

    // Trusted from then on, by kvdtool as by the scanners; --no-backup keeps nothing.
    EXPECT_EQ(RunProgram(KVDTOOL_PATH, {"scan", database, path}, "", home).exitStatus, 0);
    EXPECT_EQ(ReadBytes(path), good);
    const std::string other = folder.write("tree/other.exe", good);
    cured = RunProgram(KVDTOOL_PATH, {"scan", "--no-backup", database, other}, "", home);
    EXPECT_EQ(cured.exitStatus, 1) << cured.err;
    EXPECT_EQ(RunProgram(kScan, {"--restore", store, other}).exitStatus, 2);
}

}  // namespace
}  // namespace korvax
