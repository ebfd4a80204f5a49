#include "check/pooled_check.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "check/work_channel.h"
#include "collection/collect_files.h"
#include "platform/message_pump.h"
#include "check/collected_files.h"
#include "platform/os_thread.h"

namespace korvax {
namespace {

// The walk of a pooled check has no window to keep alive.
class NoMessages : public MessagePump {
public:
    void ProcessPendingMessages() override {}
};

class PooledCheck {
public:
    PooledCheck(const ScanPlan& base, DetectionCounters& counters, PooledCheckDisplay& display,
                const PooledCheckOptions& options)
        : base_(base),
          counters_(counters),
          display_(display),
          options_(options),
          channel_(options.queuedNames > 0 ? options.queuedNames : 1) {}

    CheckCounts run(const std::vector<std::string>& folders, const std::function<bool()>& stopRequested) {
        try {
            threads_.emplace_back([this, &folders] { walk(folders); });
            for (int i = 0; i < options_.jobs; ++i) threads_.emplace_back([this] { work(); });
        } catch (...) {
            stop();
            joinAll();
            throw;
        }
        // The calling thread only looks in now and then: for a stop request a few times a
        // second, for the figures every refresh interval. It never waits on a file.
        const auto look = std::min<std::chrono::milliseconds>(options_.refreshInterval, std::chrono::milliseconds(100));
        auto lastRefresh = std::chrono::steady_clock::now();
        std::unique_lock lock(doneMutex_);
        while (running_.load() > 0) {
            done_.wait_for(lock, look, [this] { return running_.load() == 0; });
            lock.unlock();
            if (!stopping_.load() && stopRequested && stopRequested()) stop();
            const auto now = std::chrono::steady_clock::now();
            if (now - lastRefresh >= options_.refreshInterval) {
                lastRefresh = now;
                show([&] { display_.Refresh(counts(), walking_.load()); });
            }
            lock.lock();
        }
        lock.unlock();
        joinAll();
        const CheckCounts final = counts();
        show([&] { display_.Refresh(final, false); });
        return final;
    }

private:
    void walk(const std::vector<std::string>& folders) {
        NoMessages pump;
        CollectOptions collect = options_.collect;
        collect.onPassedOver = [this](const std::string& path, PassedOver why, const std::string& detail) {
            show([&] { display_.NotCollected(path, why, detail); });
        };
        collect.onFolderEntered = [this](const std::string& folder) { show([&] { display_.FolderEntered(folder); }); };
        for (const std::string& listed : folders) {
            if (stopping_.load()) break;
            CollectListed(
                listed,
                [this](const std::string& path) {
                    if (channel_.Put(path)) total_.fetch_add(1);
                },
                pump, collect, [this] { return stopping_.load(); });
        }
        walking_.store(false);
        channel_.Close();
        finishThread();
    }

    void work() {
        // Below the thread that shows the figures, as the desktop's workers are.
        LowerCurrentThreadPriority(10);
        const ReportRow report = [this](const ResultRow& row) { show([&] { display_.AddRow(row); }); };
        while (auto path = channel_.Take()) {
            inHand_.fetch_add(1);
            CheckCollectedFile(*path, base_, counters_, report, options_.fileCheck);
            checked_.fetch_add(1);
            inHand_.fetch_sub(1);
        }
        finishThread();
    }

    void finishThread() {
        {
            std::lock_guard lock(doneMutex_);
            running_.fetch_sub(1);
        }
        done_.notify_one();
    }

    void stop() {
        stopping_.store(true);
        channel_.Stop();
    }

    template <typename Call>
    void show(Call&& call) {
        std::lock_guard lock(displayMutex_);
        call();
    }

    CheckCounts counts() const {
        CheckCounts counts;
        counts.pending = inHand_.load();
        counts.workers = options_.jobs;
        counts.checked = checked_.load();
        counts.cured = counters_.CuredCount.load();
        counts.viruses = counters_.VirusCount.load();
        counts.total = total_.load();
        return counts;
    }

    void joinAll() {
        for (std::thread& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
    }

    const ScanPlan& base_;
    DetectionCounters& counters_;
    PooledCheckDisplay& display_;
    const PooledCheckOptions& options_;
    WorkChannel channel_;
    std::vector<std::thread> threads_;

    std::atomic<std::int32_t> total_{0};
    std::atomic<std::int32_t> checked_{0};
    std::atomic<std::int32_t> inHand_{0};
    std::atomic<bool> walking_{true};
    std::atomic<bool> stopping_{false};
    // The walk and every worker, until each has ended.
    std::atomic<int> running_{1 + options_.jobs};
    std::mutex doneMutex_;
    std::condition_variable done_;
    std::mutex displayMutex_;
};

}  // namespace

CheckCounts RunPooledCheck(const std::vector<std::string>& folders, const ScanPlan& base,
                           DetectionCounters& counters, PooledCheckDisplay& display,
                           const std::function<bool()>& stopRequested, const PooledCheckOptions& options) {
    PooledCheckOptions checked = options;
    if (checked.jobs < 1) checked.jobs = 1;
    FilesInHand inHand;
    checked.fileCheck = ForCollectedFiles(checked.fileCheck, checked.collect, inHand);
    return PooledCheck(base, counters, display, checked).run(folders, stopRequested);
}

}  // namespace korvax
