#pragma once
// `kvdtool scan DB FILE...`: checks each file against the database, in the order given,
// exactly as a scan worker does (cures are written back), and prints one line per result
// row, then the counters. With `reference`, the literal interpreter checks them instead of
// the fast pass over the compiled database: the output must be the same, byte for byte.

#include <iosfwd>
#include <string>
#include <vector>

#include "engine/file_check.h"

namespace korvax::kvdtool {

// `options` carries the guard that keeps each original before its cure and the trusted
// files (the program passes its backup store's; tests may pass none).
//
// Exit status: 1 when any detection was counted, else 2 when any row is a read error or
// the database could not be opened, else 0.
int RunScanCommand(const std::string& database, const std::vector<std::string>& files, std::ostream& out,
                   std::ostream& err, bool reference = false, const FileCheckOptions& options = {});

}  // namespace korvax::kvdtool
