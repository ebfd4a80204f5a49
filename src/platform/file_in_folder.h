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

// The replacement could not be given the owner and group the file must keep (only root
// may give a file to another user, and only a member may give it a group): nothing was
// written. Going on would hand the file to the user who writes it, with its set-id bits
// and its ACL, and lock its owner out. The message is "Cannot create file %s"; reason()
// says why in one line that holds no path.
class OwnerNotKept : public Failure {
public:
    OwnerNotKept(const std::string& path, uid_t owner, gid_t group);
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

// Who owns a file and what it may do: what its replacement must carry.
struct FileOwnership {
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;  // permission bits (07777), set-id bits among them
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
    // name), written, given the original's owner and group, then its permission bits and
    // extended attributes (POSIX ACLs among them; those the process may not set are left
    // out), flushed, and renamed over the name. May be called again after a success (each
    // cure of a file).
    //
    // A replacement never changes who owns the file: when it cannot be given the
    // original's owner and group (a user curing another user's file), nothing is written.
    // So set-id bits only ever stand on a file of the owner and group they had.
    //
    // On any failure the file stays byte-for-byte as it was and nothing is left beside it.
    // Refused with "Cannot create file %s": a file whose owner has no write permission
    // (read-only binds everyone, also root), a file the process may not write, a folder
    // where no replacement can be made, a step of the replacement that fails;
    // OwnerNotKept ("Cannot create file %s", with its reason): the owner or group cannot
    // be kept; "Stream write error": a write, flush or close that fails part-way;
    // FileChangedDuringCheck: the name no longer refers to the file that was read.
    void Replace(std::span<const std::uint8_t> bytes, FileWriteCalls& calls = SystemFileWriteCalls());
    // The same, but the replacement gets `as` (owner, group, permission bits) instead of
    // what the file has now: a restore puts back the owner and mode it recorded, never
    // those of whatever came to stand at the path. Its attributes are still the file's.
    void Replace(std::span<const std::uint8_t> bytes, const FileOwnership& as,
                 FileWriteCalls& calls = SystemFileWriteCalls());

    const std::string& path() const { return path_; }
    // Where the file stands (see FilePlace).
    const FilePlace& place() const { return place_; }
    // The file as it was opened: its owner, mode and size.
    const struct stat& original() const { return original_; }
    // The file the name refers to as far as this object knows: the one opened, then each
    // replacement (its device and inode).
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

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

// `path` made absolute without resolving a link in it: a relative path is put after the
// current folder (getcwd, the folder's own path), then empty and "." components are
// dropped and ".." takes the component before it away. For a path that holds no link, as
// every collected path does, that is the file the kernel finds, and the same file always
// gives the same text. "Cannot open file %s" when the current folder cannot be known
// (it was removed, say).
std::string AbsolutePath(const std::string& path);

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
