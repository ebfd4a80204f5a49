#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/sync_queue.h"

namespace korvax {
namespace {

TEST(SyncQueue, RoutinesRunOnTheUiThreadAndTheirFailuresReachTheCaller) {
    SyncQueue sync;
    const auto ui = std::this_thread::get_id();
    std::thread::id ranOn;
    bool failed = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        sync.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            sync.Synchronize([] { throw std::runtime_error("inside"); });
        } catch (const std::runtime_error& error) {
            failed = std::string(error.what()) == "inside";
        }
        done = true;
        sync.Wake();
    });
    sync.ServeUntil([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(ranOn, ui);
    EXPECT_TRUE(failed);
    // A call from the user-interface thread itself runs at once.
    int direct = 0;
    sync.Synchronize([&] { ++direct; });
    EXPECT_EQ(direct, 1);
}

}  // namespace
}  // namespace korvax
