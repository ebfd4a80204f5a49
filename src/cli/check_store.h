#pragma once
// korvax-scan's side of the backup store (backup/check_store.h): the store its options
// choose, and the changes of the trusted list it makes instead of a check.

#include <iosfwd>

#include "backup/check_store.h"
#include "cli/arguments.h"

namespace korvax::cli {

// The store of a check with `arguments`: --backup, --no-backup, --no-cure, the limits.
CheckStore OpenCheckStore(const Arguments& arguments, std::ostream& warnings);

// --trust FILE or --untrust FILE: changes the store's list and says so on `out`. The exit
// status: 0, or 2 (with the reason on `err`) when the file cannot be read, the store is
// refused, or the file to untrust was not on the list.
int ChangeTrust(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvax::cli
