#pragma once
// Starting in the user's own data folder, as the menu's shortcut starts the desktop
// scanner: the program takes its database from the folder current at start-up, and an
// update writes into that database, so it must run where the user's own copy lives, never
// in the installed program's folder (which a user may not write to, and which every user
// of the machine shares).
//
// The threat is a database that is not the user's: one found in whatever folder a
// shortcut or an Explorer entry happened to start the program in. The guarantee: once
// EnterUserFolder has returned, the current folder is the user's data folder
// (UserDataFolder(): %LOCALAPPDATA%\Korvax on Windows, $XDG_DATA_HOME/korvax on Linux),
// and it holds a database, the installed default copied there on the first start, unless
// the user is told why not.
//
// Use on the user-interface thread, before the windows are made.

#include <string>
#include <vector>

namespace korvax {

struct UserFolderPlaces {
    std::string userFolder;               // the user's data folder; empty: none can be told
    std::vector<std::string> defaults;    // where the installed default database may be, in order
};

// The places of the running program (platform's UserDataFolder, the installed default
// database's places beside the program).
UserFolderPlaces UserFolderPlacesFromEnvironment();

// Makes the user's data folder (and the folders above it) when missing, copies the first
// of `places.defaults` that exists into it as "virbase.kvd" when it holds none (a file
// already there is never replaced), and makes it the current folder. Returns what the
// user must be told (as the user reads it, one message each): no default database to
// copy, or a copy that failed; the program then starts without a database and the start-
// up says so too. Throws a Failure when there is no data folder or it cannot be entered:
// the program must not run in whatever folder it was started in, as if it were the user's.
std::vector<std::string> EnterUserFolder(const UserFolderPlaces& places);

// `path` made absolute against the current folder when it is relative: the folders named
// on the command line must still name the same folders once the program has moved.
std::string AbsoluteFrom(const std::string& currentFolder, const std::string& path);

}  // namespace korvax
