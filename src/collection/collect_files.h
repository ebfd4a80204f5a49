#pragma once
// Walking one folder of the check list and queueing every file that qualifies: a regular
// file below 5,242,880 bytes whose extension is ".EXE" or ".COM" in any letter case.
//
// Depth first, in the order the OS lists each folder; hidden (dot) entries included.
// Symbolic links are passed over (their targets are scanned where they live), so the walk
// cannot loop; each folder is opened from its parent without following a link, so a
// folder swapped for a link during the walk is not entered either. The listed folder
// itself may be a link (or lie below one): it is then walked under its resolved path, so
// that every collected path is free of links and a check can refuse one swapped in
// later. FIFOs, sockets and devices are never collected. A path longer than 1024
// bytes does not fit a worker's buffer and is not collected. One message-processing step
// per directory entry keeps the window (or the terminal's refresh) alive during long walks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_pump.h"
#include "collection/file_queues.h"

namespace korvax {

inline constexpr std::int64_t kMaxScannedFileSize = 0x500000;  // files must be smaller

// Whether a file name has the ".EXE" or ".COM" extension: the part from its last "." to
// the end, with only the ASCII letters a-z taken as upper case.
bool HasProgramExtension(const std::string& name);

// Why the walk did not collect something that could have held programs to check.
enum class PassedOver {
    TooLarge,          // a program of the size limit or more
    UnreadableFolder,  // a folder (the listed one too) that cannot be opened
    PathTooLong,       // a program or folder whose path does not fit a worker's buffer
    Excluded,          // a program or folder matching an exclusion pattern
};

struct CollectOptions {
    // Told of everything passed over, and why (korvax-scan warns about and counts them).
    // `detail` is the system's reason for an unreadable folder, else empty.
    std::function<void(const std::string& path, PassedOver why, const std::string& detail)> onPassedOver;
    // Told of every folder the walk enters (its path ending with '/'), the listed one first.
    std::function<void(const std::string& folder)> onFolderEntered;
    // Files must be smaller than this; never above kMaxScannedFileSize, whatever is set.
    std::int64_t maxSize = kMaxScannedFileSize;
    // Patterns (see path_glob.h) for paths to pass over: a file whose full path matches
    // one is not collected, and a folder whose path matches one (with or without its
    // trailing '/') is not entered.
    std::vector<std::string> exclude;
};

// The size a collected file must stay below: `options.maxSize`, never above
// kMaxScannedFileSize. A check loads no file of this size or more (see
// FileCheckOptions::maxFileSize), since the file may have grown after the walk met it.
std::int64_t CollectionSizeLimit(const CollectOptions& options);

// Appends the qualifying files under `folder` (a path ending with '/') to `queue` and adds
// one to `collection.TotalFiles` for each. A folder that cannot be read adds nothing.
void CollectFiles(FileQueue& queue, const std::string& folder, FileCollection& collection, MessagePump& pump,
                  const CollectOptions& options = {});

// The same walk, handing each qualifying file's path to `collected` as it is met (a check
// may start on it while the walk goes on). `pump` is called once per directory entry, as
// above; the walk ends early, collecting nothing more, once `stop()` holds.
using CollectedFile = std::function<void(const std::string& path)>;
void WalkFolder(const std::string& folder, const CollectedFile& collected, MessagePump& pump,
                const CollectOptions& options = {}, const std::function<bool()>& stop = {});

}  // namespace korvax
