#include "platform/current_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/failure.h"

namespace korvax {

void ChangeCurrentDirectory(const std::string& folder) {
    if (::chdir(folder.c_str()) != 0) {
        throw Failure("Cannot change to the folder " + folder + ": " + std::strerror(errno));
    }
}

}  // namespace korvax
