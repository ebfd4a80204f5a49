#pragma once
// Where korvax-scan takes its database from when no path is named: `virbase.kvd` in the
// current folder (the desktop scanner's rule), else the user's own copy in the user's data
// folder (the one the desktop launcher keeps and updates), else the default database
// installed with the programs. The desktop scanner itself keeps to the current folder.

#include <optional>
#include <string>
#include <vector>

#include "platform/trusted_path.h"

namespace korvax {

enum class DatabaseOrigin { Named, CurrentFolder, UserCopy, InstalledDefault };

struct DatabasePlace {
    std::string path;
    DatabaseOrigin origin = DatabaseOrigin::Named;
};

// What the places depend on. FromEnvironment() reads them from the running process.
struct DatabaseSearch {
    std::string currentDirectory;  // empty when it cannot be read
    std::string userData;          // the user's data folder (platform's UserDataFolder)
    std::string programDirectory;  // the running program's folder; empty when unknown

    static DatabaseSearch FromEnvironment();
};

// The places without a named path, in the order they are tried. The installed default is
// looked for in the installed tree's data folder and, for the build tree, beside the program.
std::vector<DatabasePlace> DatabasePlaces(const DatabaseSearch& search);

// `named` when it is not empty (whether or not it exists: loading it then says why it
// cannot be read); else the first of DatabasePlaces() where something exists. Throws a
// Failure naming every place tried when none does.
//
// The database decides what a check writes into other users' files, so the place found is
// used only when it is trusted (platform/trusted_path.h): a database found without being
// named must belong, with every folder above it, to the user or root, and nobody else may
// write to it; a named one is read as named, but never through another user's link. What
// fails is refused, never passed over for the next place: NotTrusted, whose message says
// what to do. The path returned is resolved (its links replaced by their targets).
DatabasePlace ChooseDatabase(const std::string& named, const DatabaseSearch& search);

// The trust rule above for a database found at `place` (or named): its resolved path, or
// NotTrusted. The desktop scanner holds its start-up path to it as a found database.
std::string RequireTrustedDatabase(const DatabasePlace& place);

// How a place was chosen, for the user: "named with --db", "in the current folder", ...
const char* OriginText(DatabaseOrigin origin);

}  // namespace korvax
