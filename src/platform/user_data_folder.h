#pragma once
// Korvax's folder among the user's own data: where the user's copy of the database and the
// backup store live, so that a user's updates and backups never go into the installed
// program's folders.
//
// Thread safety: reads the environment only.

#include <string>

namespace korvax {

// On Linux $XDG_DATA_HOME/korvax, or $HOME/.local/share/korvax when $XDG_DATA_HOME is unset,
// empty or relative; on Windows %LOCALAPPDATA%\Korvax. Empty when it cannot be told.
std::string UserDataFolder();

// The Linux rule itself, from the values of $XDG_DATA_HOME and $HOME (relative values of
// XDG_DATA_HOME are invalid under the XDG rules). Empty when neither gives a folder.
std::string XdgUserDataFolder(const std::string& dataHome, const std::string& home);

}  // namespace korvax
