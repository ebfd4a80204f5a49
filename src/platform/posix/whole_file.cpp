#include "platform/whole_file.h"

#include <sys/stat.h>

#include <memory>

#include "platform/file_in_folder.h"

namespace korvax {

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::int64_t maxSize) {
    // A user-named file: links in its path are followed.
    return FileInFolder(path, LinkPolicy::ResolveOnce).ReadAll(maxSize);
}

void ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    std::unique_ptr<FileInFolder> file;
    try {
        file = std::make_unique<FileInFolder>(path, LinkPolicy::ResolveOnce, calls);
    } catch (const FileChangedDuringCheck&) {
        throw;
    } catch (const Failure&) {
        // The file to replace is not there (or is no regular file): nothing to write to.
        throw CannotCreateFile(path);
    }
    file->Replace(bytes);
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
