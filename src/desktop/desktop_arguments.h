#pragma once
// The desktop scanner's command line, the same under every window toolkit:
//
//   korvax [--help | --version] [--user-folder] [--] [FOLDER...]
//
// Each FOLDER goes into the settings window's list, under the very bytes the system names
// it by. `--user-folder` starts the program in the user's own data folder (see
// user_folder.h), as the menu's shortcut does; the folders named are made absolute
// against the folder the program was started in first, so that they still name the same
// folders afterwards. `--` ends the options: every later argument is a folder, even one
// beginning with "-".
//
// Thread safety: no state.

#include <string>
#include <vector>

namespace korvax {

struct DesktopArguments {
    bool help = false;
    bool version = false;
    bool userFolder = false;
    std::vector<std::string> folders;
};

// `arguments` without the program's own name. An argument beginning with "-" that is not
// one of the options above is taken as a folder, as it always was (a toolkit may have
// options of its own, which it takes out before this is called).
DesktopArguments ReadDesktopArguments(const std::vector<std::string>& arguments);

}  // namespace korvax
