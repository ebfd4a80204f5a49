// One worker and its slot, driven by hand the way the scheduler drives them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/sync_queue.h"
#include "test_support.h"
#include "worker/tkern.h"

namespace korvax {
namespace {

using test::SampleProgram;
using test::WithMarkers;

class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        pool.VirusBase = test::BaseFromSource(R"(
            entry "Tail.A"
            search rel 0 pattern "AAAA"
            size cut 4
        )");
    }

    // A slot with id `id` in the pool, and its worker started.
    ThreadSlot& addWorker(std::int32_t id) {
        auto slot = std::make_unique<ThreadSlot>();
        slot->ThreadId = id;
        slot->Worker = std::make_unique<TKern>(
            true, WorkerEnvironment{pool, sync, [this](const ResultRow& row) { rows.push_back(row); }});
        slot->Worker->SetId(id);
        ThreadSlot& added = *slot;
        pool.Threads->push_back(std::move(slot));
        added.Worker->Resume();
        return added;
    }

    void assign(ThreadSlot& slot, const std::string& path) {
        std::copy(path.begin(), path.end(), slot.FileName.begin());
        slot.FileName[path.size()] = '\0';
        ++pool.PendingCount;
        slot.State.store(slot_state::kAssigned, std::memory_order_release);
    }

    // Serves the worker's calls (as the user-interface thread does) until `done`.
    void serveUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        sync.ServeUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        ASSERT_TRUE(done());
    }

    test::TempFolder folder;
    SyncQueue sync;
    WorkerPool pool;
    std::vector<ResultRow> rows;
};

TEST_F(Worker, ChecksTheAssignedFilesAndGivesTheSlotBackEachTime) {
    ThreadSlot& slot = addWorker(7);
    const std::string infected = folder.write("a.exe", WithMarkers(SampleProgram(), "AAAA"));
    const std::string missing = folder.file("gone.exe");

    assign(slot, infected);
    serveUntil([&] { return pool.CheckedCount == 1; });
    EXPECT_EQ(slot.State.load(), slot_state::kIdle);
    EXPECT_EQ(pool.PendingCount, 0);
    EXPECT_EQ(test::ReadBytes(infected), SampleProgram());

    assign(slot, missing);
    serveUntil([&] { return pool.CheckedCount == 2; });
    EXPECT_EQ(rows, (std::vector<ResultRow>{{infected, "Tail.A", kCuredText, ResultCode::Cured},
                                            {missing, kReadErrorText, kSkippedText, ResultCode::ReadError}}));
    EXPECT_EQ(pool.counters.VirusCount.load(), 1);
    EXPECT_EQ(pool.counters.CuredCount.load(), 1);

    slot.Worker->Terminate();
    slot.Worker->WaitFor();
    EXPECT_TRUE(slot.Worker->Finished());
}

TEST_F(Worker, AWorkerWhoseSlotLeftThePoolOnlyPollsUntilItIsEnded) {
    ThreadSlot& slot = addWorker(3);
    std::unique_ptr<ThreadSlot> removed = std::move(pool.Threads->back());
    pool.Threads->pop_back();
    assign(*removed, folder.write("a.exe", WithMarkers(SampleProgram(), "AAAA")));

    // A good while of lookups that find nothing: the file is never taken.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    sync.ServeUntil([&] { return std::chrono::steady_clock::now() > until; });
    EXPECT_EQ(slot.State.load(), slot_state::kAssigned);
    EXPECT_EQ(pool.CheckedCount, 0);
    EXPECT_TRUE(rows.empty());

    removed->Worker->Terminate();
    removed->Worker->WaitFor();
    EXPECT_TRUE(removed->Worker->Finished());
}

}  // namespace
}  // namespace korvax
