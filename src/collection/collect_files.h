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
    TooLarge,     // a program the walk met, of the size limit or more
    Unreadable,   // a folder (listed or met by the walk) or a named path that cannot be read
    PathTooLong,  // a program or folder whose path does not fit a worker's buffer
    Excluded,     // a program or folder the walk met that matches an exclusion pattern
    Refused,      // a named path that is no regular file, or of the size limit or more
};

struct CollectOptions {
    // Told of everything passed over, and why (korvax-scan warns about and counts them).
    // `detail` is the system's reason for an unreadable folder, else empty.
    std::function<void(const std::string& path, PassedOver why, const std::string& detail)> onPassedOver;
    // Told of every folder the walk enters (its path ending with the separator), the listed
    // one first.
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

// Appends the files of the check list's entry `listed` to `queue` (see CollectListed) and
// adds one to `collection.TotalFiles` for each. A folder that cannot be read adds nothing.
void CollectFiles(FileQueue& queue, const std::string& listed, FileCollection& collection, MessagePump& pump,
                  const CollectOptions& options = {});

// The same walk, handing each qualifying file's path to `collected` as it is met (a check
// may start on it while the walk goes on). `pump` is called once per directory entry, as
// above; the walk ends early, collecting nothing more, once `stop()` holds.
using CollectedFile = std::function<void(const std::string& path)>;
void WalkFolder(const std::string& folder, const CollectedFile& collected, MessagePump& pump,
                const CollectOptions& options = {}, const std::function<bool()>& stop = {});

// One entry of a check list, as both schedulers take it. A folder is walked (a missing
// trailing separator is added). A regular file the user named is collected whatever its
// extension, and no exclusion applies to it: the user asked for that file (under its
// link-free path, as the walk would give it). A named file of the size limit or more, or
// one that is no regular file (a FIFO, a device, a socket), is refused (PassedOver::Refused)
// and never opened; a path where nothing can be looked at is Unreadable.
void CollectListed(const std::string& listed, const CollectedFile& collected, MessagePump& pump,
                   const CollectOptions& options = {}, const std::function<bool()>& stop = {});

}  // namespace korvax
