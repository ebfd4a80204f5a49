#include "platform/whole_file.h"

#include <sys/stat.h>

#include "platform/file_in_folder.h"

namespace korvax {

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::int64_t maxSize) {
    // A user-named file: links in its path are followed.
    return FileInFolder(path, LinkPolicy::ResolveOnce).ReadAll(maxSize);
}

void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        ReplaceFileContents(path, bytes, calls);
        return;
    }
    CreateFileWhole(path, bytes, calls);
}

}  // namespace korvax
