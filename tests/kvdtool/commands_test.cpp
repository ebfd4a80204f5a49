// kvdtool's subcommands as the program runs them: files in, text and exit status out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "language/signature_source.h"
#include "scan_command.h"
#include "source_commands.h"
#include "test_support.h"
#include "test_system.h"

namespace korvax {
namespace {

using test::Bytes;

class Commands : public ::testing::Test {
protected:
    std::string write(const std::string& name, std::string_view bytes) const {
        return temp_.write(name, Bytes(bytes.begin(), bytes.end()));
    }
    static std::string read(const std::string& path) {
        const Bytes bytes = test::ReadBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_), {}));
    }

    test::TempFolder temp_;
    const std::filesystem::path& folder_ = temp_.path();
};

TEST_F(Commands, AssembleWritesTheWholeDatabaseOrLeavesTheOutputAlone) {
    const std::string good = write("good.src", "entry \"A\"\nmatch at 0 pattern \"MZ\" ?? ??\n");
    const std::string bad = write("bad.src", "entry \"A\"\nmatch at 0 pattern 01\n");
    const std::string out = write("out.kvd", "previous contents");
    std::ostringstream err;

    EXPECT_EQ(kvdtool::RunAssembleCommand(bad, out, err), 2);
    EXPECT_EQ(err.str(), bad + ":2:22: the pattern needs 4 bytes, found 1\n");
    EXPECT_EQ(read(out), "previous contents");
    EXPECT_EQ(filesInFolder(), 3U);  // no temporary file left behind

    EXPECT_EQ(kvdtool::RunAssembleCommand(good, out, err), 0);
    const Bytes expected = AssembleSource(read(good));
    EXPECT_EQ(read(out), std::string(expected.begin(), expected.end()));
    EXPECT_EQ(filesInFolder(), 3U);

    const std::string fresh = (folder_ / "fresh.kvd").string();
    EXPECT_EQ(kvdtool::RunAssembleCommand(bad, fresh, err), 2);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(kvdtool::RunAssembleCommand(good, (folder_ / "missing" / "x.kvd").string(), err), 2);
    EXPECT_EQ(kvdtool::RunAssembleCommand((folder_ / "missing.src").string(), fresh, err), 2);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST_F(Commands, VerifyAndDisassembleReportThroughTheirExitStatus) {
    const Bytes clean = AssembleSource("entry \"A\"\nmatch at 0 pattern \"MZ\" ?? ??\n");
    const Bytes flawed = AssembleSource("entry \"A\"\ngroup at 0 count 0\nraw 0x00 length 17\n");
    const std::string cleanPath = write("clean.kvd", std::string(clean.begin(), clean.end()));
    const std::string flawedPath = write("flawed.kvd", std::string(flawed.begin(), flawed.end()));
    const std::string warnedPath = write("warned.kvd", std::string(flawed.begin(), flawed.end() - 12));
    std::ostringstream out;
    std::ostringstream err;

    EXPECT_EQ(kvdtool::RunVerifyCommand(cleanPath, out, err), 0);
    EXPECT_EQ(out.str(), "0 errors, 0 warnings\n");
    out.str("");
    EXPECT_EQ(kvdtool::RunVerifyCommand(warnedPath, out, err), 0);  // warnings alone pass
    EXPECT_EQ(out.str(), "226: warning: group count 0 is not above 0: the group never holds\n0 errors, 1 warning\n");
    out.str("");
    EXPECT_EQ(kvdtool::RunVerifyCommand(flawedPath, out, err), 1);
    EXPECT_NE(out.str().find("250: error: length 17 but only 0 bytes left\n"), std::string::npos);
    EXPECT_NE(out.str().find("\n1 error, 1 warning\n"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(kvdtool::RunVerifyCommand((folder_ / "none.kvd").string(), out, err), 2);
    EXPECT_NE(err.str().find("Cannot open file"), std::string::npos);

    out.str("");
    EXPECT_EQ(kvdtool::RunDisassembleCommand(flawedPath, out, err), 0);
    EXPECT_EQ(AssembleSource(out.str()), flawed);
    EXPECT_EQ(kvdtool::RunDisassembleCommand(folder_.string(), out, err), 2);  // a folder is no database
}

TEST_F(Commands, ScanReportsRowsAndCountersAndAnExitStatusFromTheVerdicts) {
    const Bytes database = AssembleSource(R"(
        entry "Tail.A"
        search rel 0 pattern "AAAA"
        size cut 4
        entry "Mark.S"
        search rel 0 pattern "STUK"
    )");
    const std::string db = temp_.write("virbase.kvd", database);
    const Bytes program = test::SampleProgram();
    const std::string clean = temp_.write("clean.exe", program);
    const std::string cured = temp_.write("cured.exe", test::WithMarkers(program, "AAAA"));
    const std::string marked = temp_.write("marked.exe", test::WithMarkers(program, "STUK"));
    const std::string missing = (folder_ / "missing.exe").string();
    std::ostringstream out;
    std::ostringstream err;

    EXPECT_EQ(kvdtool::RunScanCommand(db, {clean}, out, err), 0);
    EXPECT_EQ(out.str(), "Проверено: 1\nВылечено: 0\nТел вирусов: 0\n");

    out.str("");
    EXPECT_EQ(kvdtool::RunScanCommand(db, {clean, missing}, out, err), 2);  // a read error alone
    EXPECT_EQ(out.str(), missing + "\tОшибка чтения\tПропущен\nПроверено: 2\nВылечено: 0\nТел вирусов: 0\n");

    out.str("");
    EXPECT_EQ(kvdtool::RunScanCommand(db, {cured, missing, marked}, out, err), 1);  // detections win
    EXPECT_EQ(out.str(), cured + "\tTail.A\tВылечен\n" + missing + "\tОшибка чтения\tПропущен\n" + marked +
                             "\tMark.S\tПропущен\nПроверено: 3\nВылечено: 1\nТел вирусов: 2\n");
    EXPECT_EQ(test::ReadBytes(cured), program);
    EXPECT_EQ(err.str(), "");

    // A database that cannot be read: nothing is checked. One whose tail is damaged: said
    // on stderr, and the entries before the damage are used.
    out.str("");
    EXPECT_EQ(kvdtool::RunScanCommand((folder_ / "none.kvd").string(), {marked}, out, err), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("Cannot open file"), std::string::npos);
    Bytes damaged = database;
    const Bytes tail = AssembleSource("raw 0xFF length -1");
    damaged.insert(damaged.end(), tail.begin(), tail.end());
    const std::string damagedDb = temp_.write("damaged.kvd", damaged);
    err.str("");
    out.str("");
    EXPECT_EQ(kvdtool::RunScanCommand(damagedDb, {marked}, out, err), 1);
    EXPECT_EQ(err.str(), "Negative record length at offset " + std::to_string(database.size()) + "\n");
}

TEST_F(Commands, ScanWithTheReferenceInterpreterPrintsAndWritesTheSame) {
    // Entries of every kind of first test: in place, searched from 0, placed by the stream
    // (mode 3) after entries that fail, and a cure that leaves a second infection behind.
    const std::string db = temp_.write("virbase.kvd", AssembleSource(R"(
        entry "Place"
        match at 2 pattern "NOPE"
        entry "Outer"
        search rel 0 pattern "BBBB"
        size cut 4
        entry "Stream"
        match mode 3 0 pattern "XXXX"
        entry "Inner"
        search rel 0 pattern "AAAA"
        size cut 4
        entry "Mark.S"
        search at 0 pattern "STUK"
    )"));
    const Bytes program = test::SampleProgram();
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"twice.exe", test::WithMarkers(program, "AAAABBBB")},
        {"marked.exe", test::WithMarkers(program, "STUK")},
        {"clean.exe", program},
        {"short.com", test::BytesOf("MZ")},
    };
    std::string outputs[2];
    std::vector<Bytes> bytes[2];
    int statuses[2] = {0, 0};
    for (const int reference : {0, 1}) {
        std::vector<std::string> paths;
        for (const auto& [name, content] : files) paths.push_back(temp_.write(name, content));
        std::ostringstream out;
        std::ostringstream err;
        statuses[reference] = kvdtool::RunScanCommand(db, paths, out, err, reference == 1);
        outputs[reference] = out.str();
        for (const std::string& path : paths) bytes[reference].push_back(test::ReadBytes(path));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(bytes[0], bytes[1]);
    EXPECT_EQ(statuses[0], statuses[1]);
    EXPECT_NE(outputs[0].find("Inner\tВылечен"), std::string::npos) << outputs[0];
    EXPECT_EQ(bytes[0][0], program);  // both infections cured away
}

TEST_F(Commands, ScanRowsAndMessagesAreOneLineWhateverTheNamesHold) {
    const std::string db = temp_.write("virbase.kvd", AssembleSource("entry \"Mark\\tS\\x07\"\n"
                                                                     "search rel 0 pattern \"STUK\"\n"));
    const Bytes program = test::SampleProgram();
    // A name that Linux escapes (a Win32 name can hold no control character and no byte
    // that is no UTF-8: Windows shows an ordinary one as it is, which the e2e tests check).
    const bool odd = kPathShowing == PathShowing::Escaped;
    const std::string marked = temp_.write(odd ? "a\nb\tc\xFF.exe" : "a b.exe", test::WithMarkers(program, "STUK"));
    const std::string folder = temp_.file("");  // an ordinary name: printed as it is
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(kvdtool::RunScanCommand(db, {marked}, out, err), 1);
    EXPECT_EQ(out.str(), folder + (odd ? "a\\nb\\tc\\xFF.exe" : "a b.exe") +
                             "\tMark\\tS\\x07\tПропущен\n"
                             "Проверено: 1\nВылечено: 0\nТел вирусов: 1\n");

    out.str("");
    EXPECT_EQ(kvdtool::RunScanCommand(folder + (odd ? "no\nwhere.kvd" : "nowhere.kvd"), {marked}, out, err), 2);
    EXPECT_EQ(err.str(), "Cannot open file " + folder + (odd ? "no\\nwhere.kvd\n" : "nowhere.kvd\n"));
}

TEST_F(Commands, ScanCountersInEnglishWhenAskedRowsUnchanged) {
    const std::string db = temp_.write("virbase.kvd", AssembleSource("entry \"Mark.S\"\nsearch rel 0 pattern \"STUK\"\n"));
    const std::string marked = temp_.write("marked.exe", test::WithMarkers(test::SampleProgram(), "STUK"));
    std::ostringstream out;
    std::ostringstream err;
    test::SetEnvironment("KORVAX_LANG", "en");
    const int status = kvdtool::RunScanCommand(db, {marked}, out, err);
    test::UnsetEnvironment("KORVAX_LANG");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.str(), marked + "\tMark.S\tПропущен\nChecked: 1\nCured: 0\nViruses found: 1\n");
}

}  // namespace
}  // namespace korvax
