// korvax-scan over a hostile tree (see hostile_tree.h), in both of its schedulers, while
// some files keep changing: every program is checked exactly once, nothing that is no
// regular file is opened, and the check ends.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "hostile_tree.h"
#include "run_program.h"
#include "test_support.h"

namespace korvax {
namespace {

using e2e::Lines;
using e2e::ProgramResult;
using e2e::RunProgram;
using test::ExpectedFile;
using test::HostileTree;
using test::ReadBytes;

const std::string kScan = KORVAX_SCAN_PATH;

struct Row {
    std::string status;
    std::string result;
};

class HostileTreeScan : public ::testing::Test {
protected:
    void SetUp() override {
        database = folder.write("db/virbase.kvd",
                                AssembleSource(test::DefaultDatabaseWithCatchAll(KORVAX_DEFAULT_DATABASE_SOURCE)));
        // Root reads any folder and file whatever its mode: check as nobody then, so that
        // the folder and the file of mode 000 keep the checking user out.
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            const group* nogroup = ::getgrnam("nogroup");
            ASSERT_NE(nobody, nullptr);
            ASSERT_NE(nogroup, nullptr);
            user = std::make_pair(nobody->pw_uid, nogroup->gr_gid);
            ::chmod(folder.path().c_str(), 0755);
            ::chmod(folder.file("db").c_str(), 0755);
        }
    }

    // korvax-scan beside a load library that always reports a quiet processor: --paced
    // hands nothing out while the load stays at 60 % or more, which on a busy test machine
    // would leave the check's length to whatever else runs there.
    std::string quietScanner() {
        const std::string scanner = folder.file("quiet/korvax-scan");
        if (!std::filesystem::exists(scanner)) {
            std::filesystem::create_directories(folder.file("quiet"));
            std::filesystem::copy_file(kScan, scanner);
            std::filesystem::copy_file(QUIET_CPUDLL_PATH, folder.file("quiet/libcpudll.so"));
            ::chmod(folder.file("quiet").c_str(), 0755);
        }
        return scanner;
    }

    ProgramResult scan(const HostileTree& tree, const std::vector<std::string>& options) {
        const bool paced = std::find(options.begin(), options.end(), "--paced") != options.end();
        const std::string scanner = paced ? quietScanner() : kScan;
        std::vector<std::string> arguments;
        if (user) {
            arguments = {"--reuid=" + std::to_string(user->first), "--regid=" + std::to_string(user->second),
                         "--clear-groups", scanner};
        }
        arguments.insert(arguments.end(), {"--db", database, "--json"});
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(tree.root());
        for (const std::string& odd : tree.oddListedFolders()) arguments.push_back(odd);
        if (!user) return RunProgram(scanner, arguments);
        return RunProgram("/usr/bin/setpriv", arguments, "", {e2e::DataHomeOf(user->first)});
    }

    // Builds a fresh tree, checks it with `options` while its shifting files change, and
    // holds the outcome against what the tree says.
    void checkWholeTree(const std::string& name, const std::vector<std::string>& options) {
        const HostileTree tree(folder.file(name));
        if (!tree.devicesMade()) std::cerr << "note: device nodes cannot be made here; checked without them\n";
        if (user) tree.chownAll(user->first, user->second);
        ProgramResult result;
        long changes = 0;
        {
            const HostileTree::Mutator mutator(tree);
            result = scan(tree, options);
            changes = mutator.changes();
        }
        RecordProperty("changes_during_" + name, std::to_string(changes));
        EXPECT_EQ(result.exitStatus, 1) << result.err;

        std::map<std::string, std::vector<Row>> rows;
        std::optional<nlohmann::json> summary;
        for (const std::string& line : Lines(result.out)) {
            const auto object = nlohmann::json::parse(line, nullptr, false);
            ASSERT_FALSE(object.is_discarded()) << line;
            if (object["type"] == "summary") {
                EXPECT_FALSE(summary.has_value()) << "a second summary: " << line;
                summary = object;
            } else {
                ASSERT_FALSE(summary.has_value()) << "a row after the summary: " << line;
                ASSERT_EQ(object["type"], "row") << line;
                ASSERT_FALSE(object.contains("path_escaped")) << line;
                rows[object["path"]].push_back({object["status"], object["result"]});
            }
        }
        ASSERT_TRUE(summary.has_value()) << result.out;

        // Every program: its cures in order, then exactly one final row, and the bytes the
        // cures leave.
        int readErrors = 0;
        const std::map<std::string, ExpectedFile> expected = tree.expected(true);
        for (const auto& [path, file] : expected) {
            SCOPED_TRACE(path);
            const std::vector<Row>& got = rows[path];
            ASSERT_EQ(got.size(), file.cures.size() + 1);
            for (std::size_t i = 0; i < file.cures.size(); ++i) {
                EXPECT_EQ(got[i].status, file.cures[i]);
                EXPECT_EQ(got[i].result, "cured");
            }
            if (file.finalStatus.empty()) {
                EXPECT_EQ(got.back().result, "read-error");
                ++readErrors;
            } else {
                EXPECT_EQ(got.back().status, file.finalStatus);
                EXPECT_EQ(got.back().result, "detected");
            }
            EXPECT_EQ(ReadBytes(path), file.after);
        }
        // A changing file is met by the walk or not (missing, or too large, at that moment);
        // met, it is checked once or unreadable once, and never cured.
        int shiftingChecked = 0;
        for (const std::string& path : tree.shifting()) {
            SCOPED_TRACE(path);
            const auto found = rows.find(path);
            if (found == rows.end()) continue;
            ASSERT_EQ(found->second.size(), 1U);
            const Row& row = found->second.front();
            if (row.result == "read-error") {
                ++readErrors;
            } else {
                EXPECT_EQ(row.status, test::kCatchAllEntry);
                EXPECT_EQ(row.result, "detected");
            }
            ++shiftingChecked;
        }
        // Nothing else gave a row: no special entry, no link, nothing behind a link, nothing
        // in the folder nobody may read, nothing past the length limit.
        for (const auto& [path, got] : rows) {
            EXPECT_TRUE(expected.count(path) == 1 || tree.shifting().count(path) == 1) << "unexpected rows for " << path;
        }

        const auto total = (*summary)["total"].get<int>();
        EXPECT_EQ(total, static_cast<int>(expected.size()) + shiftingChecked);
        EXPECT_EQ((*summary)["checked"].get<int>(), total);
        EXPECT_EQ((*summary)["read_errors"].get<int>(), readErrors);
        for (const std::string& tooLong : {tree.tooLongPath(), tree.tooLongFolder()}) {
            EXPECT_NE(result.err.find("path longer than 1024 bytes, not scanned: " + tooLong + "\n"), std::string::npos)
                << result.err;
        }
    }

    test::TempFolder folder;
    std::string database;
    std::optional<std::pair<uid_t, gid_t>> user;
};

TEST_F(HostileTreeScan, TheDefaultPoolChecksEveryProgramExactlyOnce) {
    checkWholeTree("pool", {"--jobs", "3"});
}

TEST_F(HostileTreeScan, ThePacedSchedulerChecksEveryProgramExactlyOnce) { checkWholeTree("paced", {"--paced"}); }

// One worker: the walk runs far ahead of it, and every file passes through one thread.
TEST_F(HostileTreeScan, ASingleWorkerChecksEveryProgramExactlyOnce) { checkWholeTree("single", {"--jobs", "1"}); }

}  // namespace
}  // namespace korvax
