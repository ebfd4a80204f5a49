// korvax-scan end to end: real folder trees, the real load library, output and exit
// status as a script would see them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

#include "engine/escaped_text.h"
#include "test_support.h"
#include "run_program.h"

namespace korvax {
namespace {

using e2e::Lines;
using e2e::RunProgram;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;
using test::TempFolder;

const std::string kScan = KORVAX_SCAN_PATH;

const char* const kDatabase = R"(
    entry "Tail.A"
    search rel 0 pattern "AAAA"
    size cut 4
    entry "Tail.B"
    search rel 0 pattern "BBBB"
    size cut 4
    entry "Mark.S"
    search rel 0 pattern "STUK"
    entry "Broken.Cure"
    search rel 0 pattern "BRKN"
    size cut 1000000
)";

class KorvaxScan : public ::testing::Test {
protected:
    void SetUp() override { database = folder.write("db/virbase.kvd", AssembleSource(kDatabase)); }

    std::string tree(std::string_view name = "tree") const { return folder.file(name); }

    std::vector<std::string> sortedRows(const std::string& out) const {
        std::vector<std::string> rows;
        for (const std::string& line : Lines(out)) {
            if (line.find('\t') != std::string::npos) rows.push_back(line);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The four counters, in their order; lines that say what they do not show may follow.
    static std::vector<std::string> Summary(const std::string& out) {
        const auto lines = Lines(out);
        const auto first = std::find_if(lines.begin(), lines.end(),
                                        [](const std::string& line) { return line.starts_with("Всего: "); });
        if (lines.end() - first < 4) return {first, lines.end()};
        return {first, first + 4};
    }

    TempFolder folder;
    std::string database;
};

TEST_F(KorvaxScan, RowsCountersAndExitStatusForEveryKindOfFile) {
    const std::string root = tree() + "/";
    folder.write("tree/clean.exe", SampleProgram());
    folder.write("tree/sub/detected.COM", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree/sub/deeper/cured.exe", WithMarkers(SampleProgram(), "AAAA"));
    folder.write("tree/two.exe", WithMarkers(SampleProgram(), "BBBBAAAA"));  // outer layer last
    folder.write("tree/broken.com", WithMarkers(SampleProgram(), "BRKN"));
    const std::string readOnly = folder.write("tree/readonly.exe", WithMarkers(SampleProgram(), "AAAA"));
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    folder.write("tree/notes.txt", WithMarkers(SampleProgram(), "STUK"));      // not a program: never opened
    folder.write("tree/old.exe/inside.exe", WithMarkers(SampleProgram(), "STUK"));  // a folder named like a program is walked
    ASSERT_EQ(::mkfifo((root + "pipe.exe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "sub/loop").c_str()), 0);

    const auto result = RunProgram(kScan, {"--db", database, tree()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(sortedRows(result.out), (std::vector<std::string>{
                                          root + "broken.com\tОшибка чтения\tПропущен",
                                          root + "old.exe/inside.exe\tMark.S\tПропущен",
                                          root + "readonly.exe\tОшибка чтения\tПропущен",
                                          root + "sub/deeper/cured.exe\tTail.A\tВылечен",
                                          root + "sub/detected.COM\tMark.S\tПропущен",
                                          root + "two.exe\tTail.A\tВылечен",
                                          root + "two.exe\tTail.B\tВылечен",
                                      }));
    // Two-layer rows keep their order: outer layer first.
    const auto lines = Lines(result.out);
    const auto outer = std::find(lines.begin(), lines.end(), root + "two.exe\tTail.A\tВылечен");
    const auto inner = std::find(lines.begin(), lines.end(), root + "two.exe\tTail.B\tВылечен");
    EXPECT_LT(outer, inner);
    EXPECT_EQ(Summary(result.out),
              (std::vector<std::string>{"Всего: 7", "Проверено: 7", "Вылечено: 3", "Тел вирусов: 6"}));
    EXPECT_EQ(ReadBytes(root + "sub/deeper/cured.exe"), SampleProgram());
    EXPECT_EQ(ReadBytes(root + "two.exe"), SampleProgram());
    EXPECT_EQ(ReadBytes(readOnly), WithMarkers(SampleProgram(), "AAAA"));
    EXPECT_EQ(ReadBytes(root + "broken.com"), WithMarkers(SampleProgram(), "BRKN"));
    EXPECT_EQ(ReadBytes(root + "notes.txt"), WithMarkers(SampleProgram(), "STUK"));
}

TEST_F(KorvaxScan, CollectsExactlyTheProgramsUnderTheSizeLimit) {
    // An entry with only its head matches every file, so the rows list what was collected.
    const std::string any = folder.write("any.kvd", AssembleSource("entry \"Any\"\n"));
    const std::string root = tree() + "/";
    const auto sized = [&](const std::string& name, std::uintmax_t size) {
        folder.write("tree/" + name, {});
        std::filesystem::resize_file(root + name, size);
    };
    sized("a.exe", 5242879);
    sized("too-big.exe", 5242880);
    sized("b.com", 0);
    for (const char* name : {"SETUP.EXE", "sub/setup.exe", "Setup.Exe", "setup.exe.bak", "readme", "name.",
                             ".dot/.hidden.Com", "old.exe/x.exe"}) {
        sized(name, 10);
    }
    ASSERT_EQ(::mkfifo((root + "x.exe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((root + "a.exe").c_str(), (root + "alias.exe").c_str()), 0);

    const auto result = RunProgram(kScan, {"--db", any, tree(), tree() + "/sub/"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    std::vector<std::string> expected;
    for (const char* name : {".dot/.hidden.Com", "SETUP.EXE", "Setup.Exe", "a.exe", "b.com", "old.exe/x.exe",
                             "sub/setup.exe", "sub/setup.exe"}) {  // the sub-folder is listed twice
        expected.push_back(root + name + "\tAny\tПропущен");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedRows(result.out), expected);
    EXPECT_EQ(Summary(result.out)[0], "Всего: 8");
}

TEST_F(KorvaxScan, ExitStatusZeroWhenCleanAndTwoForReadErrorsOnly) {
    folder.write("clean/a.exe", SampleProgram());
    auto result = RunProgram(kScan, {"--db", database, tree("clean")});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{"Всего: 1", "Проверено: 1", "Вылечено: 0", "Тел вирусов: 0"}));

    folder.write("bad/a.exe", WithMarkers(SampleProgram(), "BRKN"));
    result = RunProgram(kScan, {"--db", database, tree("bad")});
    EXPECT_EQ(result.exitStatus, 2);

    // The database is looked for in the current folder unless --db names one.
    result = RunProgram(kScan, {tree("clean")}, folder.file("db"));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
}

TEST_F(KorvaxScan, StartUpFailuresSayWhyAndScanNothing) {
    folder.write("tree/a.exe", WithMarkers(SampleProgram(), "STUK"));
    const std::string missing = folder.file("nowhere.kvd");
    auto result = RunProgram(kScan, {"--db", missing, tree()});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Cannot open file " + missing), std::string::npos) << result.err;

    // Without libcpudll.so beside it (and nowhere else on the search path) it cannot run.
    const std::string lonely = folder.file("lonely/korvax-scan");
    std::filesystem::create_directories(folder.file("lonely"));
    std::filesystem::copy_file(kScan, lonely);
    result = RunProgram(lonely, {"--db", database, tree()});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("libcpudll.so"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    // Nor from the folder it is started in: whoever owns that folder would choose the code
    // it runs (the build tree's search path once held empty entries, which mean just that).
    std::filesystem::create_directories(folder.file("planted"));
    std::filesystem::copy_file(QUIET_CPUDLL_PATH, folder.file("planted/libcpudll.so"));
    result = RunProgram(lonely, {"--db", database, tree()}, folder.file("planted"));
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("libcpudll.so"), std::string::npos) << result.err;

    // A database with a negative length: the entries before it still work.
    folder.write("cut.kvd", AssembleSource("entry \"Mark.S\"\nsearch rel 0 pattern \"STUK\"\nentry \"X\"\nraw 0 length -1\n"));
    result = RunProgram(kScan, {"--db", folder.file("cut.kvd"), tree()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("Negative record length"), std::string::npos) << result.err;
}

TEST_F(KorvaxScan, UpdateAppendsAWholeDatabaseOrChangesNothing) {
    folder.write("tree/new.exe", WithMarkers(SampleProgram(), "NEWV"));
    const Bytes before = ReadBytes(database);
    const Bytes added = AssembleSource("entry \"New.Virus\"\nsearch rel 0 pattern \"NEWV\"\n");
    const std::string update = folder.write("update.kvd", added);

    // Refused: not beginning with a virus entry, or cut short. Nothing changes.
    const std::string headless = folder.write("headless.kvd", AssembleSource("match at 0 pattern 00 00 00 00\n"));
    const std::string cut = folder.write("cut.kvd", AssembleSource("entry \"C\"\nraw 0 length 17 data 01\n"));
    const std::string empty = folder.write("empty.kvd", {});
    for (const std::string& bad : {headless, cut, empty, folder.file("missing.kvd")}) {
        const auto result = RunProgram(kScan, {"--db", database, "--update", bad});
        EXPECT_EQ(result.exitStatus, 2) << bad;
        EXPECT_FALSE(result.err.empty()) << bad;
        EXPECT_EQ(ReadBytes(database), before) << bad;
    }

    // Accepted: the file grows by exactly the added bytes and the new entry works at once.
    auto result = RunProgram(kScan, {"--db", database, "--update", update, tree()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(sortedRows(result.out), (std::vector<std::string>{tree() + "/new.exe\tNew.Virus\tПропущен"}));
    Bytes expected = before;
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(ReadBytes(database), expected);
}

TEST_F(KorvaxScan, AnUpdateOntoADatabaseCutInsideARecordIsRefusedAndTheDatabaseKeepsWorking) {
    // The last entry ends in a record cut short (of a type the scanner passes over): it
    // detects all the same. Appended behind it, an update's first bytes would be read as
    // that record's data, and bytes 12 to 15 of this update's name as the next length: a
    // negative one, which would make the next start drop the update and "Dropper".
    Bytes damaged = AssembleSource(std::string(kDatabase) + "entry \"Dropper\"\nsearch rel 0 pattern \"DROP\"\n");
    const Bytes cutTail = AssembleSource("raw 0x42 length 17 data 01\n");
    damaged.insert(damaged.end(), cutTail.begin(), cutTail.end());
    const std::string base = folder.write("db/damaged.kvd", damaged);
    const std::string update = folder.write(
        "update.kvd", AssembleSource("entry \"Update.Entry\\xFF\\xFF\\xFF\\xFF\"\nsearch rel 0 pattern \"NEWV\"\n"));
    folder.write("tree/dropper.exe", WithMarkers(SampleProgram(), "DROP"));

    auto result = RunProgram(kScan, {"--db", base, "--update", update});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, "Файл базы повреждён (обрывается внутри записи), обновление не выполнено: " + base +
                              " (запись по смещению " + std::to_string(damaged.size() - cutTail.size()) + ")\n");
    EXPECT_EQ(ReadBytes(base), damaged);
    result = RunProgram(kScan, {"--db", base, tree()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(sortedRows(result.out), (std::vector<std::string>{tree() + "/dropper.exe\tDropper\tПропущен"}));
}

TEST_F(KorvaxScan, ALongCyrillicNameShowsAsManyWholeLettersAsTheStatusTextHolds) {
    std::string name;  // 60 letters, 120 bytes of UTF-8: cut at 99 bytes, inside the 50th
    for (int i = 0; i < 12; ++i) name += "Вирус";
    std::string shown;
    for (int i = 0; i < 9; ++i) shown += "Вирус";
    shown += "Виру";
    const std::string cyrillic =
        folder.write("cyrillic.kvd", AssembleSource("entry \"" + name + "\"\nsearch rel 0 pattern \"STUK\"\n"));
    folder.write("tree/a.exe", WithMarkers(SampleProgram(), "STUK"));
    const auto result = RunProgram(kScan, {"--db", cyrillic, tree()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Lines(result.out).front(), tree() + "/a.exe\t" + shown + "\tПропущен");
}

// A tree with every kind of outcome: clean, cured (once and twice over), detected, a cure
// that fails, a read-only infected file, a file nobody may read, in several folders.
void MakeMixedTree(test::TempFolder& folder, const std::string& name) {
    const Bytes program = SampleProgram();
    const char* const markers[] = {"", "AAAA", "BBBBAAAA", "STUK", "BRKN", "AAAA", "STUK"};
    for (int i = 0; i < 140; ++i) {
        const std::string path = folder.write(name + "/d" + std::to_string(i % 7) + "/sub" + std::to_string(i % 3) + "/f" +
                                                  std::to_string(i) + (i % 2 ? ".exe" : ".COM"),
                                              WithMarkers(program, markers[i % 7]));
        if (i % 7 == 5) ::chmod(path.c_str(), 0444);  // read-only: the cure is refused
        if (i % 11 == 0) ::chmod(path.c_str(), 0000);  // unreadable, for anyone but root
    }
    // A folder listed twice is checked twice. Without cures in it, what the second check
    // finds does not depend on when the first one ran.
    for (int i = 0; i < 20; ++i) {
        const std::string path = folder.write(name + "/twice/f" + std::to_string(i) + ".exe",
                                              WithMarkers(program, i % 2 ? "STUK" : ""));
        if (i % 5 == 0) ::chmod(path.c_str(), 0000);
    }
}

TEST_F(KorvaxScan, TheDefaultPoolAndThePacedSchedulerGiveTheSameRowsAndCounters) {
    // Unreadable files only stay unreadable for a user other than root: run the programs
    // as nobody when the tests run as root.
    std::vector<std::string> asUser;
    if (::geteuid() == 0) {
        asUser = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        ::chmod(folder.path().c_str(), 0755);
        ::chmod(folder.file("db").c_str(), 0755);
    }
    const auto run = [&](const std::vector<std::string>& options) {
        std::filesystem::remove_all(tree());
        MakeMixedTree(folder, "tree");
        if (!asUser.empty()) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(tree())) {
                ::lchown(entry.path().c_str(), 65534, 65534);
            }
            ::lchown(tree().c_str(), 65534, 65534);
        }
        std::vector<std::string> arguments(asUser.begin() + (asUser.empty() ? 0 : 1), asUser.end());
        if (!asUser.empty()) arguments.push_back(kScan);
        arguments.insert(arguments.end(), {"--db", database, "--sort"});
        arguments.insert(arguments.end(), options.begin(), options.end());
        // The second folder lies inside the first: its files are checked twice.
        arguments.insert(arguments.end(), {tree(), tree() + "/twice"});
        if (asUser.empty()) return RunProgram(kScan, arguments);
        return RunProgram(asUser.front(), arguments, "", {e2e::DataHomeOf(65534)});
    };
    const auto pooled = run({"--jobs", "3"});
    const auto single = run({"--jobs", "1"});
    const auto paced = run({"--paced"});
    EXPECT_EQ(pooled.out, paced.out);
    EXPECT_EQ(single.out, paced.out);
    EXPECT_EQ(pooled.exitStatus, paced.exitStatus);
    EXPECT_EQ(pooled.exitStatus, 1);
    // Every kind of row is there, and the output is sorted by path.
    const auto lines = Lines(paced.out);
    EXPECT_EQ(Summary(paced.out)[0], "Всего: 180");
    for (const char* kind : {"\tTail.B\tВылечен", "\tTail.A\tВылечен", "\tMark.S\tПропущен", "\tОшибка чтения\tПропущен"}) {
        EXPECT_NE(paced.out.find(kind), std::string::npos) << kind;
    }
    const std::vector<std::string> rows(lines.begin(), lines.end() - 4);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return a.substr(0, a.find('\t')) < b.substr(0, b.find('\t'));
    }));
}

TEST_F(KorvaxScan, RowsAndMessagesStayOneLineWhateverTheNamesHold) {
    // A virus name may hold anything but a zero byte too: a newline, a terminal escape
    // sequence, a backslash.
    const std::string hostileDb = folder.write(
        "hostile.kvd", AssembleSource(std::string(kDatabase) + "entry \"Line\\nBreak\\x1B[2J\\\\\"\n"
                                                              "search rel 0 pattern \"CTRL\"\n"));
    const std::string root = tree() + "/";
    std::map<std::string, std::string> expectedStatus;  // real path -> status column
    for (const auto& [name, marker, status] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"a\nb\tc.com", "STUK", "Mark.S"},
             {"\xFF\xFE not UTF-8 \xC3.exe", "STUK", "Mark.S"},
             {"sub\r/C1 \xC2\x9B" "31m back\\slash.EXE", "CTRL", "Line\\nBreak\\x1B[2J\\\\"},
         }) {
        expectedStatus[folder.write("tree/" + name, WithMarkers(SampleProgram(), marker))] = status;
    }
    // A folder whose path passes 1024 bytes is named in a warning, escaped alike.
    const std::string deep = "deep\n" + std::string(250, 'd') + "/" + std::string(250, 'e') + "/" +
                             std::string(250, 'f') + "/" + std::string(250, 'g') + "/";
    folder.write("tree/" + deep + "x.exe", WithMarkers(SampleProgram(), "STUK"));

    const auto result = RunProgram(kScan, {"--db", hostileDb, tree()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const auto lines = Lines(result.out);
    // The rows, then the summary, and a line saying the path too long was passed over.
    ASSERT_EQ(lines.size(), expectedStatus.size() + 5) << result.out;
    EXPECT_EQ(lines.back(), "Пропущено: 1 (длинный путь: 1)");
    std::map<std::string, std::string> seen;
    for (std::size_t i = 0; i < expectedStatus.size(); ++i) {
        const std::string& row = lines[i];
        ASSERT_EQ(std::count(row.begin(), row.end(), '\t'), 2) << row;
        const std::string path = row.substr(0, row.find('\t'));
        const std::string status = row.substr(path.size() + 1, row.rfind('\t') - path.size() - 1);
        EXPECT_EQ(path.substr(0, root.size()), root);  // an ordinary folder name prints unchanged
        const auto real = UnescapeText(path);
        ASSERT_TRUE(real.has_value()) << path;
        seen[*real] = status;
    }
    EXPECT_EQ(seen, expectedStatus);
    EXPECT_EQ(Summary(result.out)[3], "Тел вирусов: 3");

    const std::string warning = "korvax-scan: path longer than 1024 bytes, not scanned: ";
    const auto errLines = Lines(result.err);
    ASSERT_EQ(errLines.size(), 1U) << result.err;
    ASSERT_EQ(errLines[0].substr(0, warning.size()), warning);
    const auto warned = UnescapeText(errLines[0].substr(warning.size()));
    ASSERT_TRUE(warned.has_value());
    EXPECT_EQ(warned->substr(0, root.size() + 5), root + "deep\n");

    // The database's path in a start-up failure.
    const std::string missing = folder.file("no\nwhere.kvd");
    const auto failed = RunProgram(kScan, {"--db", missing, tree()});
    EXPECT_EQ(failed.exitStatus, 2);
    EXPECT_EQ(failed.err, "Cannot open file " + EscapeText(missing) + "\n");
}

TEST_F(KorvaxScan, CtrlCStopsTheCheckAndLeavesEveryFileWhole) {
    const Bytes program(64 * 1024, 0x11);
    for (int i = 0; i < 1500; ++i) {
        folder.write("big/d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".exe", WithMarkers(program, "AAAA"));
    }
    e2e::RunningProgram running(kScan, {"--db", database, tree("big")});
    running.waitForOutput([](const std::string& out) { return std::count(out.begin(), out.end(), '\n') >= 5; });
    running.signal(SIGINT);
    const auto result = running.finish();
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const auto summary = Summary(result.out);
    ASSERT_EQ(summary.size(), 4U);
    EXPECT_EQ(summary[0], "Всего: 1500");
    EXPECT_NE(summary[1], "Проверено: 1500");  // stopped part-way

    int cured = 0;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.file("big"))) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const Bytes bytes = ReadBytes(entry.path().string());
        if (bytes == program) {
            ++cured;
        } else {
            EXPECT_EQ(bytes, WithMarkers(program, "AAAA")) << entry.path();
        }
    }
    EXPECT_EQ(files, 1500);  // no temporary file left behind
    EXPECT_EQ(summary[2], "Вылечено: " + std::to_string(cured));
    EXPECT_EQ(static_cast<int>(sortedRows(result.out).size()), cured);
}

TEST_F(KorvaxScan, EnglishWhenAskedWithTheRowsUnchanged) {
    folder.write("tree/a.exe", WithMarkers(SampleProgram(), "STUK"));
    const std::string bad = folder.write("empty.kvd", {});
    ::setenv("KORVAX_LANG", "en", 1);
    auto result = RunProgram(kScan, {"--db", database, tree()});
    const auto refused = RunProgram(kScan, {"--db", database, "--update", bad});
    ::unsetenv("KORVAX_LANG");
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{tree() + "/a.exe\tMark.S\tПропущен", "Total: 1",
                                                            "Checked: 1", "Cured: 0", "Viruses found: 1"}));
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.err, "The update file is empty: " + bad + "\n");

    // Any other value: the program's own texts.
    ::setenv("KORVAX_LANG", "english", 1);
    result = RunProgram(kScan, {"--db", database, tree()});
    ::unsetenv("KORVAX_LANG");
    EXPECT_EQ(Summary(result.out)[0], "Всего: 1");
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

TEST_F(KorvaxScan, ANamedFileIsCheckedWhateverItsNameAndANamedFifoIsRefusedWithoutBlocking) {
    const std::string infected = folder.write("named/sample.bin", WithMarkers(SampleProgram(), "STUK"));
    const std::string pipe = folder.file("named/pipe.exe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // --paced adds no worker while the processor is busy: it runs beside a load library
    // that reports a quiet one, so a busy test machine cannot stall it.
    std::filesystem::create_directories(folder.file("quiet"));
    std::filesystem::copy_file(kScan, folder.file("quiet/korvax-scan"));
    std::filesystem::copy_file(QUIET_CPUDLL_PATH, folder.file("quiet/libcpudll.so"));
    const std::string quiet = folder.file("quiet/korvax-scan");
    for (const char* scheduler : {"--jobs=2", "--paced"}) {
        SCOPED_TRACE(scheduler);
        const std::string kScan = scheduler == std::string("--paced") ? quiet : korvax::kScan;
        // An exclusion matching everything applies to what a walk finds, not to what is named.
        auto result = RunProgram(kScan, {"--db", database, scheduler, "--exclude", "**", infected});
        EXPECT_EQ(result.exitStatus, 1) << result.err;
        EXPECT_EQ(sortedRows(result.out), std::vector<std::string>{infected + "\tMark.S\tПропущен"});
        EXPECT_EQ(Summary(result.out)[1], "Проверено: 1");

        // The FIFO is never opened (that would wait for a writer): refused, status 2.
        result = RunProgram(kScan, {"--db", database, scheduler, pipe, infected});
        EXPECT_EQ(result.exitStatus, 1) << result.err;
        EXPECT_NE(result.err.find(pipe + ": not checked (no regular file)"), std::string::npos) << result.err;
        result = RunProgram(kScan, {"--db", database, scheduler, pipe});
        EXPECT_EQ(result.exitStatus, 2) << result.err;
        EXPECT_EQ(Summary(result.out)[1], "Проверено: 0");
    }
}

}  // namespace
}  // namespace korvax
