#pragma once
// How the files a walk collected are checked, whichever scheduler hands them out: the rules
// the desktop's scheduler and the terminal's pool must keep equal, in one place.

#include <algorithm>

#include "collection/collect_files.h"
#include "engine/file_check.h"
#include "engine/files_in_hand.h"

namespace korvax {

// `options` for the files collected under `collect`, held in `inHand` while in a worker's
// hands:
// - a file may grow between the walk that met it and its check: one that reached the
//   collection's size limit meanwhile is not loaded (the read-error row);
// - a folder listed twice (or inside another listed one) gives the same file twice, maybe
//   under two spellings: its checks run one after the other, never side by side, so that
//   the second finds what the first left (see FilesInHand).
inline FileCheckOptions ForCollectedFiles(FileCheckOptions options, const CollectOptions& collect,
                                          FilesInHand& inHand) {
    options.maxFileSize = std::min(options.maxFileSize, CollectionSizeLimit(collect) - 1);
    options.inHand = &inHand;
    return options;
}

}  // namespace korvax
