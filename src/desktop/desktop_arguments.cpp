#include "desktop/desktop_arguments.h"

namespace korvax {

DesktopArguments ReadDesktopArguments(const std::vector<std::string>& arguments) {
    DesktopArguments read;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded) {
            if (argument == "--") {
                optionsEnded = true;
                continue;
            }
            if (argument == "--help" || argument == "-h") {
                read.help = true;
                continue;
            }
            if (argument == "--version") {
                read.version = true;
                continue;
            }
            if (argument == "--user-folder") {
                read.userFolder = true;
                continue;
            }
        }
        read.folders.push_back(argument);
    }
    return read;
}

}  // namespace korvax
