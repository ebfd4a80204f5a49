#pragma once
// A check at full speed, for the terminal: a fixed pool of workers fed by the walk while it
// goes on, with no sleeps, no polling and no round trip to the calling thread per file.
// The files (the same walk, in the same order of folders, each file once), the per-file
// check and its rows are exactly those of the desktop's check; only the scheduling differs,
// so rows come in the order the workers finish their files.
//
// Threads: the calling thread refreshes the figures; one thread walks the folders; `jobs`
// workers, at a lower priority than the calling thread, check the files. Each holds at
// most one file image at a time. The database is read by all of them and must not change
// while the check runs.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collection/collect_files.h"
#include "engine/scan_plan.h"
#include "engine/file_check.h"
#include "engine/scan_result.h"
#include "monitor/status_refresh.h"

namespace korvax {

// What the check shows. The check calls these one at a time (never two at once), from
// whichever of its threads has something to show.
class PooledCheckDisplay {
public:
    virtual ~PooledCheckDisplay() = default;
    virtual void AddRow(const ResultRow& row) = 0;
    // The walk passed over `path` (see PassedOver; `detail` is the system's reason for an
    // unreadable folder).
    virtual void NotCollected(const std::string& /*path*/, PassedOver /*why*/, const std::string& /*detail*/) {}
    // The walk entered `folder`.
    virtual void FolderEntered(const std::string& /*folder*/) {}
    // The figures as they stand, every refresh interval on the calling thread and once at
    // the end. `walking` while the walk goes on (the total still grows).
    virtual void Refresh(const CheckCounts& /*counts*/, bool /*walking*/) {}
};

struct PooledCheckOptions {
    int jobs = 1;  // 1 or more
    FileCheckOptions fileCheck{};
    // What the walk collects (exclusions, size limit); its callbacks are the display's.
    CollectOptions collect{};
    // At most this many collected names wait for a worker; the walk waits meanwhile.
    std::size_t queuedNames = 4096;
    std::chrono::milliseconds refreshInterval{500};
};

// Checks every qualifying file under `folders` (each a path; a missing trailing '/' is
// added) and returns the final figures (`total` files collected, `checked` files done).
// Once `stopRequested()` holds (it is asked at every refresh and whenever a file is done),
// the walk ends, files not yet handed out are dropped, and the files in hand are finished,
// rows and write-back included, before it returns. Throws std::system_error when the
// threads cannot be made (after ending those that were).
CheckCounts RunPooledCheck(const std::vector<std::string>& folders, const ScanPlan& plan,
                           DetectionCounters& counters, PooledCheckDisplay& display,
                           const std::function<bool()>& stopRequested, const PooledCheckOptions& options);

}  // namespace korvax
