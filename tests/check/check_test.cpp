// The whole check with real worker threads, driven by a scripted load. These tests also
// run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "check/scan_scheduler.h"
#include "platform/directory_walk.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;
using test::TempFolder;

const char* const kDatabase = R"(
    entry "Tail.A"
    search rel 0 pattern "AAAA"
    size cut 4
    entry "Mark.S"
    search rel 0 pattern "STUK"
)";

// The window side of a check, recorded for the tests.
class RecordingDisplay : public CheckDisplay {
public:
    int FolderCount() override { return static_cast<int>(folders.size()); }
    std::string FolderAt(int index) override { return folders[static_cast<std::size_t>(index)]; }
    void ShowPreparing(bool shown) override { preparing = shown; }
    void SetButtonEnabled(MainButton button, bool enabled) override { buttons[static_cast<int>(button)] = enabled; }
    void ShowTotal(std::int32_t total) override { totals.push_back(total); }
    void AddRow(const ResultRow& row) override {
        if (failRows) throw std::runtime_error("the list is gone");
        rows.push_back(row);
    }

    std::vector<std::string> folders;
    bool preparing = false;
    bool buttons[6] = {false, true, true, true, false, true};
    std::vector<std::int32_t> totals;
    std::vector<ResultRow> rows;
    bool failRows = false;
};

// The message step: runs the workers' calls, then lets the test script the load (as the
// refresh would) and press buttons.
class ScriptedPump : public MessagePump {
public:
    ScriptedPump(ProgramState& state, std::function<void(ProgramState&, int)> script)
        : state_(state), script_(std::move(script)) {}
    void ProcessPendingMessages() override {
        state_.sync.RunPending();
        maxWorkers = std::max(maxWorkers, state_.pool.Threads->size());
        for (const auto& slot : *state_.pool.Threads) minId = std::min(minId, slot->ThreadId);
        if (script_) script_(state_, calls);
        ++calls;
    }
    int calls = 0;
    std::size_t maxWorkers = 0;
    std::int32_t minId = INT32_MAX;

private:
    ProgramState& state_;
    std::function<void(ProgramState&, int)> script_;
};

class Check : public ::testing::Test {
protected:
    void SetUp() override { state.pool.VirusBase = BaseFromSource(kDatabase); }

    // The folder's queue as the walk will make it.
    static std::vector<std::string> Listed(const std::string& folder) {
        std::vector<std::string> names;
        DirectoryListing listing(folder);
        while (auto entry = listing.next()) {
            if (entry->kind == EntryKind::RegularFile) names.push_back(folder + entry->name);
        }
        return names;
    }

    void expectIdleAfterwards() {
        EXPECT_TRUE(state.pool.Threads->empty());
        EXPECT_TRUE(state.files.FileQueues.empty());
        EXPECT_FALSE(state.CheckRunning);
        EXPECT_FALSE(display.preparing);
        EXPECT_TRUE(display.buttons[1] && display.buttons[3] && display.buttons[5]);
        EXPECT_FALSE(display.buttons[4]);
    }

    TempFolder folder;
    ProgramState state;
    RecordingDisplay display;
};

TEST_F(Check, OneWorkerTakesTheFilesRoundRobinOverTheFolders) {
    // Load 59 lets the first worker in; from then on 61 keeps the pool at one worker, which
    // still receives files, so the rows come in the order the files were handed out.
    for (const char* name : {"A/a1.exe", "A/a2.exe", "A/a3.exe", "B/b1.com"}) folder.write(name, WithMarkers(SampleProgram(), "STUK"));
    display.folders = {folder.file("A"), folder.file("B/")};
    ScriptedPump pump(state, [](ProgramState& s, int) { s.CpuLoad = s.pool.Threads->empty() ? 59 : 61; });
    SpeedButton3Click(state, display, pump);

    const auto a = Listed(folder.file("A/"));
    const auto b = Listed(folder.file("B/"));
    std::vector<std::string> order;
    for (const ResultRow& row : display.rows) order.push_back(row.path);
    EXPECT_EQ(order, (std::vector<std::string>{a[0], b[0], a[1], a[2]}));
    EXPECT_EQ(display.totals, (std::vector<std::int32_t>{3, 4}));
    EXPECT_EQ(state.NextThreadId, 1);
    EXPECT_EQ(state.pool.CheckedCount, 4);
    EXPECT_EQ(state.pool.PendingCount, 0);
    EXPECT_EQ(state.pool.counters.VirusCount.load(), 4);
    expectIdleAfterwards();
}

TEST_F(Check, ALoadOfSixtyDispatchesButDoesNotGrow) {
    for (int i = 0; i < 12; ++i) folder.write("f" + std::to_string(i) + ".exe", WithMarkers(SampleProgram(), "AAAA"));
    display.folders = {folder.path().string()};
    ScriptedPump pump(state, [](ProgramState& s, int) { s.CpuLoad = s.pool.Threads->size() < 2 ? -20 : 60; });
    SpeedButton3Click(state, display, pump);
    EXPECT_EQ(pump.maxWorkers, 2U);
    EXPECT_EQ(state.pool.CheckedCount, 12);
    EXPECT_EQ(state.pool.counters.CuredCount.load(), 12);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(ReadBytes(folder.file("f" + std::to_string(i) + ".exe")), SampleProgram());
    expectIdleAfterwards();
}

TEST_F(Check, AHighLoadWithTwoWorkersHandsNothingOut) {
    for (int i = 0; i < 6; ++i) folder.write("f" + std::to_string(i) + ".exe", SampleProgram());
    display.folders = {folder.path().string()};
    // Two workers come in at load 0 (the first receives one file meanwhile); then 61 stops
    // every hand-out until the stop button is pressed.
    ScriptedPump pump(state, [](ProgramState& s, int call) {
        s.CpuLoad = s.pool.Threads->size() < 2 ? 0 : 61;
        if (call == 400) SpeedButton4Click(s);
    });
    SpeedButton3Click(state, display, pump);
    EXPECT_EQ(state.NextThreadId, 2);
    EXPECT_EQ(state.pool.CheckedCount + state.pool.PendingCount, 1);
    expectIdleAfterwards();
}

TEST_F(Check, NoWorkerStartsWhileTheLoadStaysHighAndTheLoopDoesNotSpin) {
    folder.write("f.exe", SampleProgram());
    display.folders = {folder.path().string()};
    // A quarter of a second of a loaded machine: the loop keeps passing, but a pass with
    // an empty pool still rests a millisecond instead of taking a processor for itself.
    const auto start = std::chrono::steady_clock::now();
    ScriptedPump pump(state, [&](ProgramState& s, int) {
        s.CpuLoad = 61;
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(250)) SpeedButton4Click(s);
    });
    SpeedButton3Click(state, display, pump);
    EXPECT_LT(pump.calls, 1000);
    EXPECT_EQ(pump.maxWorkers, 0U);
    EXPECT_EQ(state.NextThreadId, 0);
    EXPECT_EQ(state.pool.CheckedCount, 0);
    expectIdleAfterwards();
}

TEST_F(Check, NothingToCheckEndsAtOnceWithoutWorkers) {
    display.folders = {};
    ScriptedPump pump(state, nullptr);
    SpeedButton3Click(state, display, pump);
    EXPECT_EQ(state.files.TotalFiles, 0);
    EXPECT_EQ(state.NextThreadId, 0);
    display.folders = {folder.file("missing"), folder.path().string()};  // nothing qualifies
    SpeedButton3Click(state, display, pump);
    EXPECT_EQ(display.totals, (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(state.NextThreadId, 0);
    expectIdleAfterwards();
}

TEST_F(Check, WorkerIdsContinueAcrossChecksAndAFolderListedTwiceIsCheckedTwice) {
    for (int i = 0; i < 8; ++i) folder.write("f" + std::to_string(i) + ".exe", WithMarkers(SampleProgram(), "STUK"));
    display.folders = {folder.path().string(), folder.path().string()};
    ScriptedPump first(state, [](ProgramState& s, int) { s.CpuLoad = 0; });
    SpeedButton3Click(state, display, first);
    EXPECT_EQ(state.files.TotalFiles, 16);
    EXPECT_EQ(state.pool.CheckedCount, 16);
    EXPECT_EQ(display.rows.size(), 16U);
    const std::int32_t afterFirst = state.NextThreadId;
    EXPECT_GE(afterFirst, 1);

    ScriptedPump second(state, [](ProgramState& s, int) { s.CpuLoad = 0; });
    SpeedButton3Click(state, display, second);
    EXPECT_EQ(second.minId, afterFirst);
    EXPECT_GT(state.NextThreadId, afterFirst);
    EXPECT_EQ(state.pool.CheckedCount, 16);  // restarts with every check
    EXPECT_EQ(state.pool.counters.VirusCount.load(), 32);  // counts over the whole run
    expectIdleAfterwards();
}

TEST_F(Check, AStopFinishesTheFilesInHandAndLosesNothing) {
    const int files = 300;
    for (int i = 0; i < files; ++i) folder.write("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".exe",
                                               WithMarkers(SampleProgram(4096), "AAAA"));
    display.folders = {folder.path().string()};
    ScriptedPump pump(state, [](ProgramState& s, int) {
        s.CpuLoad = 0;
        if (s.pool.CheckedCount >= 20) SpeedButton4Click(s);
    });
    SpeedButton3Click(state, display, pump);
    EXPECT_LT(state.pool.CheckedCount, files);
    int cured = 0;
    int untouched = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
        if (!entry.is_regular_file()) continue;
        const Bytes bytes = ReadBytes(entry.path().string());
        if (bytes == SampleProgram(4096)) {
            ++cured;
        } else {
            EXPECT_EQ(bytes, WithMarkers(SampleProgram(4096), "AAAA")) << entry.path();  // never half-written
            ++untouched;
        }
    }
    EXPECT_EQ(cured + untouched, files);  // no temporary file left behind
    EXPECT_EQ(cured, state.pool.counters.CuredCount.load());
    EXPECT_EQ(state.pool.CheckedCount, cured);
    EXPECT_EQ(static_cast<int>(display.rows.size()), cured);
    expectIdleAfterwards();
}

TEST_F(Check, AFailedFinalRowStillCountsTheFileAndTheWorkerGoesOn) {
    for (int i = 0; i < 5; ++i) folder.write("f" + std::to_string(i) + ".exe", WithMarkers(SampleProgram(), "STUK"));
    display.folders = {folder.path().string()};
    display.failRows = true;
    ScriptedPump pump(state, [](ProgramState& s, int) { s.CpuLoad = s.pool.Threads->empty() ? 0 : 70; });
    SpeedButton3Click(state, display, pump);
    EXPECT_EQ(state.pool.CheckedCount, 5);
    EXPECT_EQ(state.NextThreadId, 1);  // the one worker survived every failure
    expectIdleAfterwards();
}

TEST_F(Check, AWorkerThatCannotBeCreatedEndsTheCheckCleanly) {
    for (int i = 0; i < 40; ++i) folder.write("f" + std::to_string(i) + ".exe", SampleProgram());
    display.folders = {folder.path().string()};
    int made = 0;
    CheckOptions options;
    options.makeWorker = [&](WorkerEnvironment environment) {
        if (++made == 3) throw std::runtime_error("no more threads");
        return std::make_unique<TKern>(true, environment);
    };
    ScriptedPump pump(state, [](ProgramState& s, int) { s.CpuLoad = 0; });
    EXPECT_THROW(SpeedButton3Click(state, display, pump, options), std::runtime_error);
    EXPECT_EQ(made, 3);
    expectIdleAfterwards();
}

TEST_F(Check, AFileThatGrowsPastTheLimitAfterTheWalkIsNotLoaded) {
    // Collected at 300 bytes; by the time a worker reaches it, it is larger than any file
    // the walk would have taken. The check must not read it whole.
    const std::string grown = folder.write("a/grown.exe", WithMarkers(SampleProgram(), "STUK"));
    const std::string small = folder.write("b/small.exe", WithMarkers(SampleProgram(), "STUK"));
    display.folders = {folder.file("a"), folder.file("b")};
    bool grew = false;
    ScriptedPump pump(state, [&](ProgramState& s, int) {
        s.CpuLoad = 0;
        if (!grew && s.files.TotalFiles == 2) {
            std::filesystem::resize_file(grown, static_cast<std::uintmax_t>(kMaxScannedFileSize) + 4096);
            grew = true;
        }
    });
    SpeedButton3Click(state, display, pump);
    ASSERT_TRUE(grew);
    std::sort(display.rows.begin(), display.rows.end(),
              [](const ResultRow& a, const ResultRow& b) { return a.path < b.path; });
    EXPECT_EQ(display.rows, (std::vector<ResultRow>{ReadErrorRow(grown),
                                                    {small, "Mark.S", kSkippedText, ResultCode::Detected}}));
    EXPECT_EQ(state.pool.CheckedCount, 2);

    // A lower collection limit binds the check alike: a file that reached it meanwhile is
    // refused too, while one that stayed below is checked.
    display.rows.clear();
    std::filesystem::resize_file(grown, 300);
    CheckOptions options;
    options.collect.maxSize = 1000;
    grew = false;
    ScriptedPump second(state, [&](ProgramState& s, int) {
        s.CpuLoad = 0;
        if (!grew && s.files.TotalFiles == 2) {
            std::filesystem::resize_file(grown, 1000);
            grew = true;
        }
    });
    SpeedButton3Click(state, display, second, options);
    ASSERT_TRUE(grew);
    std::sort(display.rows.begin(), display.rows.end(),
              [](const ResultRow& a, const ResultRow& b) { return a.path < b.path; });
    EXPECT_EQ(display.rows, (std::vector<ResultRow>{ReadErrorRow(grown),
                                                    {small, "Mark.S", kSkippedText, ResultCode::Detected}}));
    expectIdleAfterwards();
}

TEST(PoolMayGrow, LoadAndRatioRules) {
    EXPECT_TRUE(PoolMayGrow(1, 59, 0, 0));
    EXPECT_TRUE(PoolMayGrow(1, -5, 3, 3));  // a negative reading is a low load
    EXPECT_FALSE(PoolMayGrow(1, 60, 1, 0));
    EXPECT_FALSE(PoolMayGrow(0, 0, 1, 0));  // nothing left to hand out
    EXPECT_TRUE(PoolMayGrow(5, 0, 15, 15));  // below 16 the ratio is not asked
    EXPECT_FALSE(PoolMayGrow(5, 0, 16, 16));  // 17/17
    EXPECT_TRUE(PoolMayGrow(5, 0, 16, 15));   // 16/17
    EXPECT_TRUE(PoolMayGrow(5, 0, 99, 97));   // 98/100
    EXPECT_FALSE(PoolMayGrow(5, 0, 99, 98));  // 99/100
}

}  // namespace
}  // namespace korvax
