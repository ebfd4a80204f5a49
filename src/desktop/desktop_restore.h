#pragma once
// The desktop's restore, the same under every window toolkit: the files the user chose
// (in the statistics list's menu or the restore window) put back from the user's backup
// store, as `korvax-scan --restore` does it and never forced: a file changed since its
// cure stays as it is. Each file put back gets its own row; what was refused, or was
// already as it was, is told once for the whole restore.
//
// Use on the user-interface thread only.

#include <functional>
#include <string>
#include <vector>

#include "check/program_state.h"
#include "engine/scan_result.h"
#include "platform/file_write_calls.h"

namespace korvax {

struct DesktopRestore {
    int restored = 0;
    int refused = 0;
    // What the standard error display shows (UTF-8, one line per file or note); empty when
    // there is nothing to tell.
    std::string message;
};

// Puts back `paths` (exact bytes, as the statistics rows hold them) from the store at
// `folder`; `addRow` takes the row of each file put back. Refused as a whole while a
// check runs (the workers may be writing those very files): a Failure, for the standard
// display. Throws FolderRefused or Failure when the store cannot be read.
DesktopRestore RestoreChosenFiles(const ProgramState& state, const std::string& folder,
                                  const std::vector<std::string>& paths,
                                  const std::function<void(const ResultRow&)>& addRow,
                                  FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
