#pragma once
// korvax-scan's command line: what each option means, read into one plain struct.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/store_pruning.h"
#include "collection/collect_files.h"

namespace korvax::cli {

struct Arguments {
    std::string database;
    std::string update;
    std::vector<std::string> paths;  // the folders and files to check; with --restore, the files to put back
    int jobs = 1;
    bool paced = false;
    bool sorted = false;
    bool stats = false;
    bool verbose = false;
    bool quiet = false;
    bool json = false;
    std::string report;
    std::string backup;  // the store; empty: the user's own
    bool noBackup = false;
    StoreLimits storeLimits;
    std::string restore;
    bool force = false;
    std::string trust;    // a file to trust, instead of a check
    std::string untrust;  // a file to take off the trusted list, instead of a check
    bool noCure = false;
    std::vector<std::string> exclude;
    std::int64_t maxSize = kMaxScannedFileSize;
};

// Reads the command line into `arguments`. An exit status when the program is to end now
// (--help and --version: 0; a usage error: 2, with its message on stderr); nothing when the
// run goes on. `help` receives the text of --help, for a run that finds nothing to do.
std::optional<int> ParseArguments(int argc, char** argv, Arguments& arguments, std::string& help);

}  // namespace korvax::cli
