#include "check/startup.h"

#include "platform/system_info.h"

namespace korvax {

std::string StartupBasePath() {
    std::string path = CurrentDirectory();
    if (path.empty() || path.back() != '/') path += '/';
    return path + kDatabaseFileName;
}

std::int64_t ComputeMemoryLimit() { return 2 * TotalPhysicalMemory(); }

}  // namespace korvax
