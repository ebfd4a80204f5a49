#pragma once
// Changing the process's current directory: the desktop scanner takes its database from
// the folder current at start-up, and a shortcut that starts it in the user's own data
// folder needs no script when the program can move there itself.
//
// Thread safety: the current directory belongs to the whole process; change it only while
// no other thread resolves a relative path.

#include <string>

namespace korvax {

// Makes `folder` the current directory. Throws a Failure naming the folder, with the
// system's reason, when it cannot.
void ChangeCurrentDirectory(const std::string& folder);

}  // namespace korvax
