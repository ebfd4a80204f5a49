#include "platform/make_folders.h"

#include <sys/stat.h>

#include <cerrno>

namespace korvax {

bool MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) return true;
    struct stat info {};
    return errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace korvax
