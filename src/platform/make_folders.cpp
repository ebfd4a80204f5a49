#include "platform/make_folders.h"

#include "platform/directory_walk.h"
#include "platform/file_name.h"

namespace korvax {

std::string ParentFolder(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && IsPathSeparator(path[end - 1])) --end;  // "a/b/" is "a/b"
    while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
    if (end == 0) return {};
    // The root keeps its separator ("/", "C:\"); any other folder loses it.
    std::size_t folderEnd = end;
    while (folderEnd > 1 && IsPathSeparator(path[folderEnd - 1]) && path[folderEnd - 2] != ':') --folderEnd;
    return path.substr(0, folderEnd);
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty() || EntryExists(folder)) return !folder.empty();
    const std::string above = ParentFolder(folder);
    if (!above.empty() && above != folder && !MakeFolders(above)) return false;
    return MakeFolder(folder);
}

}  // namespace korvax
