#include "platform/user_data_folder.h"

#include <cstdlib>

namespace korvax {

std::string UserDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    return XdgUserDataFolder(dataHome != nullptr ? dataHome : "", home != nullptr ? home : "");
}

}  // namespace korvax
