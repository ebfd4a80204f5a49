#include "platform/whole_file.h"

#include <memory>

#include "platform/failure.h"
#include "platform/file_in_folder.h"

// What both systems' whole-file calls share; reading and a new file's creation are each
// system's own (posix/whole_file.cpp, win32/whole_file.cpp).
namespace korvax {

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

}  // namespace korvax
