// The pooled check with real threads: every collected file checked exactly once whatever
// the pool and the channel, a stop that finishes the files in hand, a display that fails.
// Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "check/pooled_check.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;

class RecordingDisplay : public PooledCheckDisplay {
public:
    void AddRow(const ResultRow& row) override {
        // The check never calls a display from two threads at once.
        EXPECT_FALSE(inside_.exchange(true));
        if (failRows) {
            inside_ = false;
            throw std::runtime_error("the terminal is gone");
        }
        rows.push_back(row);
        ++rowCount;
        inside_ = false;
    }
    void Refresh(const CheckCounts& counts, bool walking) override {
        EXPECT_FALSE(inside_.exchange(true));
        totals.push_back(counts.total);
        lastWalking = walking;
        inside_ = false;
    }

    std::vector<ResultRow> rows;
    std::atomic<int> rowCount{0};  // for a stop request made on another thread
    std::vector<std::int32_t> totals;
    bool lastWalking = true;
    bool failRows = false;

private:
    std::atomic<bool> inside_{false};
};

class PooledCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        base = test::BaseFromSource(R"(
            entry "Tail.A"
            search rel 0 pattern "AAAA"
            size cut 4
        )");
    }

    // `count` files, every third infected, spread over three folders.
    void makeTree(int count) {
        for (int i = 0; i < count; ++i) {
            folder.write("tree/d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".exe",
                         i % 3 == 0 ? WithMarkers(SampleProgram(), "AAAA") : SampleProgram());
        }
    }

    test::TempFolder folder;
    VirusDatabase base;
    DetectionCounters counters;
    RecordingDisplay display;
};

TEST_F(PooledCheckTest, EveryCollectedFileIsCheckedExactlyOnceWhateverThePoolAndTheChannel) {
    makeTree(300);
    for (const auto& [jobs, queued] : std::vector<std::pair<int, std::size_t>>{{1, 4096}, {4, 1}, {7, 3}}) {
        SCOPED_TRACE(::testing::Message() << jobs << " workers, " << queued << " names queued");
        for (int i = 0; i < 300; i += 3) {
            folder.write("tree/d0/f" + std::to_string(i) + ".exe", WithMarkers(SampleProgram(), "AAAA"));
        }
        display.rows.clear();
        display.totals.clear();
        PooledCheckOptions options;
        options.jobs = jobs;
        options.queuedNames = queued;
        options.refreshInterval = std::chrono::milliseconds(1);
        const std::int32_t virusesBefore = counters.VirusCount.load();
        const CheckCounts counts = RunPooledCheck({folder.file("tree")}, ScanPlan(base), counters, display, {}, options);
        EXPECT_EQ(counts.total, 300);
        EXPECT_EQ(counts.checked, 300);
        EXPECT_EQ(counts.pending, 0);
        EXPECT_EQ(counters.VirusCount.load() - virusesBefore, 100);
        std::set<std::string> paths;
        for (const ResultRow& row : display.rows) {
            EXPECT_EQ(row.code, ResultCode::Cured);
            EXPECT_TRUE(paths.insert(row.path).second) << row.path << " reported twice";
        }
        EXPECT_EQ(paths.size(), 100U);
        for (const std::string& path : paths) EXPECT_EQ(ReadBytes(path), SampleProgram());
        EXPECT_FALSE(display.lastWalking);
        EXPECT_TRUE(std::is_sorted(display.totals.begin(), display.totals.end()));  // the total only grows
    }
}

TEST_F(PooledCheckTest, AFolderListedAgainIsCheckedAgainButNeverTwiceAtOnce) {
    const Bytes infected = WithMarkers(SampleProgram(100000), "AAAA");
    for (int i = 0; i < 40; ++i) folder.write("tree/f" + std::to_string(i) + ".exe", infected);
    PooledCheckOptions options;
    options.jobs = 8;
    options.queuedNames = 2;
    const std::string tree = folder.file("tree");
    const CheckCounts counts = RunPooledCheck({tree, tree + "/", tree}, ScanPlan(base), counters, display, {}, options);
    EXPECT_EQ(counts.total, 120);
    EXPECT_EQ(counts.checked, 120);
    // Each file is cured by its first check; the later ones find it clean. A check side by
    // side with another would have seen the file replaced under it: a read-error row.
    std::map<std::string, int> rowsPerFile;
    for (const ResultRow& row : display.rows) {
        EXPECT_EQ(row.code, ResultCode::Cured) << row.path;
        ++rowsPerFile[row.path];
    }
    EXPECT_EQ(rowsPerFile.size(), 40U);
    for (const auto& [path, rows] : rowsPerFile) EXPECT_EQ(rows, 1) << path;
}

TEST_F(PooledCheckTest, AStopFinishesTheFilesInHandAndLosesNothing) {
    const Bytes infected = WithMarkers(SampleProgram(200000), "AAAA");
    for (int i = 0; i < 400; ++i) folder.write("tree/f" + std::to_string(i) + ".exe", infected);
    PooledCheckOptions options;
    options.jobs = 3;
    options.queuedNames = 8;
    options.refreshInterval = std::chrono::milliseconds(1);
    const CheckCounts counts = RunPooledCheck(
        {folder.file("tree")}, ScanPlan(base), counters, display, [&] { return display.rowCount.load() > 0; }, options);
    EXPECT_LT(counts.checked, 400);
    EXPECT_GE(counts.total, counts.checked);
    EXPECT_EQ(counts.pending, 0);
    EXPECT_EQ(static_cast<std::int32_t>(display.rows.size()), counts.checked);
    EXPECT_EQ(counters.CuredCount.load(), counts.checked);
    // Every file is either untouched or cured whole.
    int cured = 0;
    for (int i = 0; i < 400; ++i) {
        const Bytes bytes = ReadBytes(folder.file("tree/f" + std::to_string(i) + ".exe"));
        if (bytes == SampleProgram(200000)) {
            ++cured;
        } else {
            EXPECT_EQ(bytes, infected);
        }
    }
    EXPECT_EQ(cured, counts.checked);
}

TEST_F(PooledCheckTest, AFileWhoseRowsCannotBeShownStillCountsAndTheCheckGoesOn) {
    makeTree(30);
    display.failRows = true;
    PooledCheckOptions options;
    options.jobs = 2;
    const CheckCounts counts = RunPooledCheck({folder.file("tree"), folder.file("missing")}, ScanPlan(base), counters, display,
                                              {}, options);
    EXPECT_EQ(counts.total, 30);
    EXPECT_EQ(counts.checked, 30);
    EXPECT_TRUE(display.rows.empty());
}

}  // namespace
}  // namespace korvax
