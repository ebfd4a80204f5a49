#pragma once
// A regular file opened once, through the folder that holds it, so that a later
// replacement lands in that very folder and only over that very file.
//
// Why: a scanner that repairs files runs over folders that other users may own. Between
// the read and the write-back such a user can swap the file, or a folder above it, for a
// symbolic link to any file of the system; a write-back that resolved the path again
// would write the cured image there. Here the path is resolved once, at open, and every
// later step goes through the descriptors opened then: the replacement is created in the
// folder that was opened, and it is renamed over the name only while that name still
// refers to the file that was read (same device and inode, a regular file).
//
// Not thread-safe: one object belongs to one check of one file.

#include <sys/stat.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/file_write_calls.h"
#include "platform/whole_file.h"

namespace korvax {

// The file was swapped (for a link, another file, or something that is no regular file)
// or a folder above it was swapped for a link, after it was collected or read: nothing
// was written. The message names the path.
class FileChangedDuringCheck : public Failure {
public:
    explicit FileChangedDuringCheck(const std::string& path);
};

// Where a file stands: the folder that holds it (its device and inode) and its name there.
// Every spelling of a path ("/x/dup/A.EXE", "/x/./dup/A.EXE") gives the same place, and a
// place outlives the replacement of its file, which a file's own inode does not.
struct FilePlace {
    std::uint64_t folderDevice = 0;
    std::uint64_t folderInode = 0;
    std::string name;
    auto operator<=>(const FilePlace&) const = default;
};

enum class LinkPolicy {
    // The path must hold no symbolic link at all: a collected path was link-free when the
    // walk met it, so a link in it now was swapped in, and the open fails.
    RefuseLinks,
    // The path is resolved once, following its links (someone who names a link means its
    // target); then the same rule holds for the resolved path.
    ResolveOnce,
};

class FileInFolder {
public:
    // Opens the regular file at `path` for reading, without following a link in any
    // component (after the one resolution ResolveOnce allows). FIFOs and devices are never
    // opened for reading, so one named like a program cannot block.
    // "Cannot open file %s" when it cannot be opened or is no regular file;
    // FileChangedDuringCheck when a link stands where the path had none.
    FileInFolder(const std::string& path, LinkPolicy policy);
    FileInFolder(const FileInFolder&) = delete;
    FileInFolder& operator=(const FileInFolder&) = delete;
    ~FileInFolder();

    // The file's bytes, read from the open descriptor until its end, never more than
    // `maxSize` ("Cannot open file %s" beyond it, or when a read fails).
    std::vector<std::uint8_t> ReadAll(std::int64_t maxSize = kMaxImageSize);

    // Replaces the file's contents with `bytes`, atomically: the replacement is created in
    // the file's folder (unnamed where the file system allows, else under a temporary
    // name), written, given the original's owner, permission bits and extended attributes
    // (POSIX ACLs among them; those the process may not set are left out), flushed, and
    // renamed over the name. May be called again after a success (each cure of a file).
    //
    // On any failure the file stays byte-for-byte as it was and nothing is left beside it.
    // Refused with "Cannot create file %s": a file whose owner has no write permission
    // (read-only binds everyone, also root), a file the process may not write, a folder
    // where no replacement can be made, a step of the replacement that fails;
    // "Stream write error": a write, flush or close that fails part-way;
    // FileChangedDuringCheck: the name no longer refers to the file that was read.
    void Replace(std::span<const std::uint8_t> bytes, FileWriteCalls& calls = SystemFileWriteCalls());

    const std::string& path() const { return path_; }
    // Where the file stands (see FilePlace).
    const FilePlace& place() const { return place_; }
    // The file as it was opened: its owner, mode and size.
    const struct stat& original() const { return original_; }

private:
    std::string path_;   // as given, for messages
    std::string name_;   // the last component
    FilePlace place_;
    int folder_ = -1;
    int file_ = -1;      // the file as read: the source of its metadata
    struct stat original_ {};
    // The file the name must still refer to: the one read, then each replacement.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// The path under which the folder `folder` (ending with '/') is to be walked: itself when
// no symbolic link stands anywhere in it, else its resolved path (also ending with '/').
// A walk that collects files under a link-free path lets each check refuse any link it
// later meets there (LinkPolicy::RefuseLinks). A folder that cannot be opened is returned
// as it is.
std::string LinkFreeFolderPath(const std::string& folder);

// The same for a file's path: itself when no link stands anywhere in it, else its resolved
// path (the file's own link resolved too). A path that cannot be resolved is returned as it is.
std::string LinkFreeFilePath(const std::string& path);

// Creates the file `name` in the open folder `folder`, holding `bytes` with permission bits
// `mode` (less the umask), flushed with the folder: it appears whole or not at all, and
// never replaces a file. False when the name is taken. "Cannot create file %s" (with
// `path`) or "Stream write error" on any other failure, nothing left behind.
bool CreateFileAt(int folder, const std::string& name, std::span<const std::uint8_t> bytes, mode_t mode,
                  FileWriteCalls& calls, const std::string& path);

// Creates the file at `path`, which must not exist yet, with `bytes` (0666 less the
// umask): it appears whole or not at all. Links in the path are followed. "Cannot create
// file %s" when it cannot be made (or appeared meanwhile); "Stream write error" as above.
void CreateFileWhole(const std::string& path, std::span<const std::uint8_t> bytes,
                     FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
