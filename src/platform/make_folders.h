#pragma once
// Making the folders a path needs, as `mkdir -p` does: for a store or a copy kept in the
// user's own data folder, which may not exist yet on a fresh account.
//
// Thread safety: no state.

#include <string>

namespace korvax {

// The folder that holds `path` (lexically: its last part taken away), or empty when the
// path has no folder part.
std::string ParentFolder(const std::string& path);

// Makes `folder` and every folder above it that is missing, with the system's default
// permissions. Returns false when one cannot be made (what is wrong shows when the folder
// is then used); folders that exist are left as they are.
bool MakeFolders(const std::string& folder);

// Makes the one folder `folder`; true when a folder stands there afterwards.
bool MakeFolder(const std::string& folder);

}  // namespace korvax
