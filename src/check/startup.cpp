#include "check/startup.h"

#include "platform/file_name.h"
#include "platform/system_info.h"

namespace korvax {

std::string StartupBasePath() {
    std::string path = CurrentDirectory();
    // A current directory that cannot be read (removed, say) is still where the file is
    // looked for: the bare name means it, where "/" + name would mean another file.
    if (path.empty()) return kDatabaseFileName;
    return JoinPath(path, kDatabaseFileName);
}

std::int64_t ComputeMemoryLimit() { return 2 * TotalPhysicalMemory(); }

}  // namespace korvax
