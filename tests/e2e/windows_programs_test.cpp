// korvax-scan.exe and kvdtool.exe end to end under Wine, as a Windows user or a script
// runs them: real folder trees, the real cpudll.dll, output and exit status as a script
// reads them. Each test judges a program by what it printed and wrote.
//
// Left out here, since they cannot exist on Windows or in Wine: FIFOs, sockets and devices
// in a folder, files of another user (every Wine user is one SID), links (Wine makes none),
// names that are not valid UTF-16 (Wine cannot create them) and console events (Wine
// without a screen has no console to send Ctrl-C or Ctrl-Break in). The platform's tests
// drive those through the replacement's calls, answered as Windows documents, and the
// rule that turns a console event into a stop request.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>

#include "engine/row_format.h"
#include "platform/system_info.h"
#include "platform/wide_text.h"
#include "run_program.h"
#include "test_support.h"
#include "test_system.h"

namespace korvax {
namespace {

namespace fs = std::filesystem;
using e2e::Lines;
using e2e::RunProgram;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::TempFolder;
using test::WithMarkers;

// The programs sit beside this test, in the build's bin folder.
std::string Beside(const std::string& name) { return ProgramDirectory() + "\\" + name; }
const std::string kScan = Beside("korvax-scan.exe");
const std::string kTool = Beside("kvdtool.exe");

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

std::wstring Wide(const std::string& text) {
    const auto units = WideFromUtf8(text);
    return std::wstring(units->begin(), units->end());
}

DWORD AttributesOf(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()); }

std::vector<std::string> Rows(const std::string& out) {
    std::vector<std::string> rows;
    for (const std::string& line : Lines(out)) {
        if (line.find('\t') != std::string::npos) rows.push_back(line);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> Summary(const std::string& out) {
    const auto lines = Lines(out);
    return lines.size() < 4 ? lines : std::vector<std::string>(lines.end() - 4, lines.end());
}

class WindowsPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        database = folder.file("db\\virbase.kvd");
        folder.write("db\\source.kvsrc", test::BytesOf(kDatabase));
        const auto assembled = RunProgram(kTool, {"assemble", folder.file("db\\source.kvsrc"), database});
        ASSERT_EQ(assembled.exitStatus, 0) << assembled.err;
        ASSERT_FALSE(ReadBytes(database).empty());
    }

    // A script reads bytes: UTF-8, and no carriage return the program did not write.
    static void ExpectScriptOutput(const e2e::ProgramResult& result) {
        EXPECT_EQ(result.out.find('\r'), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find('\r'), std::string::npos) << result.err;
        EXPECT_TRUE(WideFromUtf8(result.out).has_value());
    }

    TempFolder folder;
    std::string database;
};

TEST_F(WindowsPrograms, RowsCountersAndExitStatusForEveryKindOfFile) {
    const std::string root = folder.file("tree") + "\\";
    folder.write("tree\\clean.exe", SampleProgram());
    folder.write("tree\\sub\\detected.COM", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree\\sub\\deeper\\cured.exe", WithMarkers(SampleProgram(), "AAAA"));
    folder.write("tree\\two.exe", WithMarkers(SampleProgram(), "BBBBAAAA"));  // outer layer last
    folder.write("tree\\broken.com", WithMarkers(SampleProgram(), "BRKN"));
    const std::string readOnly = folder.write("tree\\readonly.exe", WithMarkers(SampleProgram(), "AAAA"));
    ASSERT_TRUE(::SetFileAttributesW(Wide(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string hidden = folder.write("tree\\hidden.EXE", WithMarkers(SampleProgram(), "AAAA"));
    ASSERT_TRUE(::SetFileAttributesW(Wide(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    folder.write("tree\\notes.txt", WithMarkers(SampleProgram(), "STUK"));       // not a program: never opened
    folder.write("tree\\old.exe\\inside.exe", WithMarkers(SampleProgram(), "STUK"));  // a folder named so is walked

    const auto result = RunProgram(kScan, {"--db", database, folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    ExpectScriptOutput(result);
    // Paths as Windows shows them: backslashes, no escapes.
    EXPECT_EQ(Rows(result.out), (std::vector<std::string>{
                                    root + "broken.com\tОшибка чтения\tПропущен",
                                    root + "hidden.EXE\tTail.A\tВылечен",
                                    root + "old.exe\\inside.exe\tMark.S\tПропущен",
                                    root + "readonly.exe\tОшибка чтения\tПропущен",
                                    root + "sub\\deeper\\cured.exe\tTail.A\tВылечен",
                                    root + "sub\\detected.COM\tMark.S\tПропущен",
                                    root + "two.exe\tTail.A\tВылечен",
                                    root + "two.exe\tTail.B\tВылечен",
                                }));
    const auto lines = Lines(result.out);
    const auto outer = std::find(lines.begin(), lines.end(), root + "two.exe\tTail.A\tВылечен");
    const auto inner = std::find(lines.begin(), lines.end(), root + "two.exe\tTail.B\tВылечен");
    EXPECT_LT(outer, inner);
    EXPECT_EQ(Summary(result.out),
              (std::vector<std::string>{"Всего: 8", "Проверено: 8", "Вылечено: 4", "Тел вирусов: 7"}));
    EXPECT_EQ(ReadBytes(root + "sub\\deeper\\cured.exe"), SampleProgram());
    EXPECT_EQ(ReadBytes(root + "two.exe"), SampleProgram());
    // Read-only: detected, not cured, left as it was.
    EXPECT_EQ(ReadBytes(readOnly), WithMarkers(SampleProgram(), "AAAA"));
    EXPECT_NE(AttributesOf(readOnly) & FILE_ATTRIBUTE_READONLY, 0U);
    // Hidden and system: found, cured, and still hidden and system.
    EXPECT_EQ(ReadBytes(hidden), SampleProgram());
    EXPECT_EQ(AttributesOf(hidden) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(ReadBytes(root + "broken.com"), WithMarkers(SampleProgram(), "BRKN"));
    // Nothing left beside the cured files.
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(test::PathOf(root))) names.insert(test::TextOf(entry.path().filename()));
    EXPECT_EQ(names, (std::set<std::string>{"broken.com", "clean.exe", "hidden.EXE", "notes.txt", "old.exe",
                                            "readonly.exe", "sub", "two.exe"}));
}

// Another program holding a file without sharing gives the read-error row at once, never a
// hang; a running program, which Windows lets nobody replace, gives it too, with a message
// that says it is in use, and nothing is left to be done later.
TEST_F(WindowsPrograms, AFileHeldOpenOrRunningGivesTheReadErrorRowAndStaysAsItWas) {
    const std::string root = folder.file("busy") + "\\";
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string held = folder.write("busy\\held.exe", infected);
    const HANDLE holder = ::CreateFileW(Wide(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const auto started = std::chrono::steady_clock::now();
    auto result = RunProgram(kScan, {"--db", database, folder.file("busy")});
    ::CloseHandle(holder);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{root + "held.exe\tОшибка чтения\tПропущен"});
    EXPECT_EQ(ReadBytes(held), infected);

    // A small program, running; an entry that takes every Windows program (their DOS stub
    // says so) for a curable virus.
    const std::string program = folder.file("busy\\running.exe");
    ASSERT_TRUE(::CopyFileW(Wide(Beside("korvax-e2e-small-program.exe")).c_str(), Wide(program).c_str(), TRUE));
    fs::remove(test::PathOf(held));
    const Bytes before = ReadBytes(program);
    folder.write("db\\dos.kvsrc", test::BytesOf("entry \"Any.Program\"\nsearch rel 0 pattern \"DOS \"\nsize cut 4\n"));
    const std::string dos = folder.file("db\\dos.kvd");
    ASSERT_EQ(RunProgram(kTool, {"assemble", folder.file("db\\dos.kvsrc"), dos}).exitStatus, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + Wide(program) + L"\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &process));
    result = RunProgram(kScan, {"--db", dos, folder.file("busy")});
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(result.exitStatus, 1) << result.err;  // detected all the same
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{root + "running.exe\tОшибка чтения\tПропущен"});
    EXPECT_NE(result.err.find(root + "running.exe: it is in use"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(program), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(test::PathOf(root)), {}), 1);
}

// JSON Lines give every path exactly, whatever it holds; the rows show the same path; a
// report is written whole at the end; arguments keep every character whatever the code
// page.
TEST_F(WindowsPrograms, JsonAndReportGiveEveryPathExactlyAndArgumentsKeepEveryCharacter) {
    const std::string tree = folder.file("Проверка со пробелами");
    const std::set<std::string> names = {"Жук.exe", "日本語.com", "a b.exe", "plain.EXE"};
    std::set<std::string> expected;
    for (const std::string& name : names) expected.insert(folder.write("Проверка со пробелами\\" + name,
                                                                        WithMarkers(SampleProgram(), "STUK")));
    const std::string report = folder.file("report.jsonl");
    const auto result = RunProgram(kScan, {"--db", database, "--json", "--report", report, tree});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    ExpectScriptOutput(result);
    std::set<std::string> paths;
    int summaries = 0;
    for (const std::string& line : Lines(result.out)) {
        const auto object = nlohmann::json::parse(line);
        if (object["type"] == "summary") {
            ++summaries;
            EXPECT_EQ(object["checked"], 4);
            EXPECT_EQ(object["viruses"], 4);
            continue;
        }
        EXPECT_EQ(object["result"], "detected");
        EXPECT_FALSE(object.contains("path_escaped"));
        paths.insert(object["path"].get<std::string>());
    }
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(paths, expected);
    // The report holds the same lines, written whole.
    const Bytes written = ReadBytes(report);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5);
    EXPECT_EQ(std::find(written.begin(), written.end(), '\r'), written.end());

    // The rows, for a person: the same paths as they are.
    const auto rows = RunProgram(kScan, {"--db", database, "--sort", tree});
    ExpectScriptOutput(rows);
    std::set<std::string> shown;
    for (const std::string& row : Rows(rows.out)) shown.insert(row.substr(0, row.find('\t')));
    EXPECT_EQ(shown, expected);
}

TEST_F(WindowsPrograms, StartUpFailuresSayWhyAndScanNothing) {
    const std::string infected = folder.write("tree\\x.exe", WithMarkers(SampleProgram(), "AAAA"));
    auto result = RunProgram(kScan, {"--db", folder.file("no-such.kvd"), folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("no-such.kvd"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(infected), WithMarkers(SampleProgram(), "AAAA"));

    // A folder named that is not there: said, and the rest is checked all the same.
    result = RunProgram(kScan, {"--db", database, folder.file("missing"), folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_NE(result.err.find(folder.file("missing")), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(infected), SampleProgram());

    // No load library beside the program: said, and nothing is checked.
    const std::string alone = folder.file("alone");
    fs::create_directory(test::PathOf(alone));
    ASSERT_TRUE(::CopyFileW(Wide(kScan).c_str(), Wide(alone + "\\korvax-scan.exe").c_str(), TRUE));
    folder.write("tree\\y.exe", WithMarkers(SampleProgram(), "AAAA"));
    result = RunProgram(alone + "\\korvax-scan.exe", {"--db", database, folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("cpudll.dll"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(folder.file("tree\\y.exe")), WithMarkers(SampleProgram(), "AAAA"));
}

TEST_F(WindowsPrograms, AnUpdateAppendsAWholeDatabaseOrChangesNothing) {
    folder.write("db\\more.kvsrc", test::BytesOf("entry \"Extra.E\"\nsearch rel 0 pattern \"EEEE\"\n"));
    const std::string more = folder.file("db\\more.kvd");
    ASSERT_EQ(RunProgram(kTool, {"assemble", folder.file("db\\more.kvsrc"), more}).exitStatus, 0);
    const Bytes before = ReadBytes(database);
    const std::string infected = folder.write("tree\\e.exe", WithMarkers(SampleProgram(), "EEEE"));
    auto result = RunProgram(kScan, {"--db", database, "--update", more, folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{infected + "\tExtra.E\tПропущен"});
    Bytes joined = before;
    const Bytes added = ReadBytes(more);
    joined.insert(joined.end(), added.begin(), added.end());
    EXPECT_EQ(ReadBytes(database), joined);

    // Not a database: refused, the database as it was.
    const std::string junk = folder.write("db\\junk.kvd", test::BytesOf("not a database"));
    result = RunProgram(kScan, {"--db", database, "--update", junk});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_FALSE(result.err.empty());
    EXPECT_EQ(ReadBytes(database), joined);
    EXPECT_EQ(std::distance(fs::directory_iterator(test::PathOf(folder.file("db"))), {}), 5);
}

TEST_F(WindowsPrograms, ABackupKeepsEachOriginalAndARestorePutsItBack) {
    const Bytes infected = WithMarkers(SampleProgram(), "AAAA");
    const std::string path = folder.write("tree\\tool.exe", infected);
    ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const std::string backups = folder.file("backups");
    auto result = RunProgram(kScan, {"--db", database, "--backup", backups, folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(ReadBytes(path), SampleProgram());
    const Bytes index = ReadBytes(backups + "\\index.jsonl");
    EXPECT_NE(std::string(index.begin(), index.end()).find("Tail.A"), std::string::npos);

    // Its attributes changed since: put back with those recorded before the cure.
    ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_SYSTEM));
    result = RunProgram(kScan, {"--restore", backups});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    ExpectScriptOutput(result);
    EXPECT_NE(result.out.find(path + "\tTail.A\tВосстановлен"), std::string::npos) << result.out;
    EXPECT_EQ(ReadBytes(path), infected);
    EXPECT_EQ(AttributesOf(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

// Without --db: the default database installed beside the program, whose demo entries and
// EICAR's the check finds; the user's own copy (in %LOCALAPPDATA%\Korvax) before it.
TEST_F(WindowsPrograms, TheDefaultDatabaseIsFoundBesideTheProgramAndTheUsersCopyFirst) {
    const std::string eicar = folder.write(
        "tree\\eicar.com", test::BytesOf(R"(X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*)"));
    const std::string data = folder.file("appdata");
    fs::create_directory(test::PathOf(data));
    const std::string work = folder.file("work");
    fs::create_directory(test::PathOf(work));
    auto result = RunProgram(kScan, {"--verbose", folder.file("tree")}, work, {"LOCALAPPDATA=" + data});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{eicar + "\tEICAR-Test-File\tПропущен"});
    EXPECT_NE(result.err.find("virbase.kvd (the default database)"), std::string::npos) << result.err;

    fs::create_directory(test::PathOf(data + "\\Korvax"));
    ASSERT_TRUE(::CopyFileW(Wide(database).c_str(), Wide(data + "\\Korvax\\virbase.kvd").c_str(), TRUE));
    result = RunProgram(kScan, {"--verbose", folder.file("tree")}, work, {"LOCALAPPDATA=" + data});
    EXPECT_EQ(result.exitStatus, 0) << result.err;  // the user's copy knows no EICAR
    EXPECT_NE(result.err.find("virbase.kvd (the user's own copy)"), std::string::npos) << result.err;
}

// Exclusions as a Windows user writes them: backslashes, any letter case.
TEST_F(WindowsPrograms, ExclusionsAreWrittenAsWindowsNamesThem) {
    folder.write("tree\\keep.exe", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree\\Cache\\inner.exe", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree\\a\\CACHE\\deeper.exe", WithMarkers(SampleProgram(), "STUK"));
    folder.write("tree\\skip.EXE", WithMarkers(SampleProgram(), "STUK"));
    const auto result = RunProgram(kScan, {"--db", database, "--exclude", "**\\cache", "--exclude",
                                           folder.file("tree") + "\\Skip.exe", folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{folder.file("tree\\keep.exe") + "\tMark.S\tПропущен"});
}

// The limit of 1,024 characters counts UTF-16 units, as Windows counts a path: a path of
// Cyrillic letters (two bytes each in UTF-8) well under 1,024 characters is checked.
TEST_F(WindowsPrograms, ThePathLimitCountsWindowsCharacters) {
    std::string relative = "tree";
    const std::string letters = "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ";  // 40 letters, 80 bytes
    while (relative.size() < 1200) relative += "\\" + letters;
    const std::string deep = folder.write(relative + "\\a.exe", WithMarkers(SampleProgram(), "STUK"));
    ASSERT_GT(deep.size(), 1024U);
    ASSERT_LT(*WideLength(deep), 1024U);
    std::string tooDeep = relative;
    while (*WideLength(folder.file(tooDeep)) < 1030) tooDeep += "\\" + letters;
    folder.write(tooDeep + "\\b.exe", WithMarkers(SampleProgram(), "STUK"));
    const auto result = RunProgram(kScan, {"--db", database, folder.file("tree")});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{deep + "\tMark.S\tПропущен"});
    EXPECT_NE(result.err.find("path longer than 1024 characters"), std::string::npos) << result.err;
}

TEST_F(WindowsPrograms, EnglishWhenAskedWithTheRowsUnchanged) {
    const std::string infected = folder.write("tree\\x.exe", WithMarkers(SampleProgram(), "STUK"));
    const auto result = RunProgram(kScan, {"--db", database, folder.file("tree")}, "", {"KORVAX_LANG=en"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Rows(result.out), std::vector<std::string>{infected + "\tMark.S\tПропущен"});
    EXPECT_EQ(Summary(result.out), (std::vector<std::string>{"Total: 1", "Checked: 1", "Cured: 0", "Viruses found: 1"}));
}

// kvdtool.exe: a database assembled, disassembled and assembled again is the same, verify
// finds it sound, and scan prints the rows as korvax-scan does.
TEST_F(WindowsPrograms, KvdtoolAssemblesDisassemblesVerifiesAndScans) {
    const auto text = RunProgram(kTool, {"disassemble", database});
    EXPECT_EQ(text.exitStatus, 0) << text.err;
    ExpectScriptOutput(text);
    folder.write("db\\again.kvsrc", test::BytesOf(text.out));
    const std::string again = folder.file("db\\again.kvd");
    EXPECT_EQ(RunProgram(kTool, {"assemble", folder.file("db\\again.kvsrc"), again}).exitStatus, 0);
    EXPECT_EQ(ReadBytes(again), ReadBytes(database));
    const auto verified = RunProgram(kTool, {"verify", database});
    EXPECT_EQ(verified.exitStatus, 0) << verified.out << verified.err;

    const std::string cured = folder.write("x y\\cured.exe", WithMarkers(SampleProgram(), "AAAA"));
    const std::string marked = folder.write("x y\\Жук.exe", WithMarkers(SampleProgram(), "STUK"));
    const auto scanned = RunProgram(kTool, {"scan", database, cured, marked});
    EXPECT_EQ(scanned.exitStatus, 1) << scanned.err;
    ExpectScriptOutput(scanned);
    EXPECT_EQ(Lines(scanned.out), (std::vector<std::string>{cured + "\tTail.A\tВылечен", marked + "\tMark.S\tПропущен",
                                                            "Проверено: 2", "Вылечено: 1", "Тел вирусов: 2"}));
    EXPECT_EQ(ReadBytes(cured), SampleProgram());
    // A path beginning with a slash is a name, never an option.
    const auto slashed = RunProgram(kTool, {"scan", database, "/no/such.exe"});
    EXPECT_EQ(slashed.exitStatus, 2);
    EXPECT_EQ(Lines(slashed.out).front(), "/no/such.exe\tОшибка чтения\tПропущен");
}

}  // namespace
}  // namespace korvax
