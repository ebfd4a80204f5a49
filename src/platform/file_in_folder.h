#pragma once
// A regular file opened once, through the folder that holds it, so that a later
// replacement lands in that very folder and only over that very file.
//
// Why: a scanner that repairs files runs over folders that other users may own. Between
// the read and the write-back such a user can swap the file, or a folder above it, for a
// symbolic link to any file of the system; a write-back that resolved the path again
// would write the cured image there. Here the path is resolved once, at open, and every
// later step goes through what was opened then: the replacement is created in the folder
// that was opened, and it is renamed over the name only while that name still refers to
// the file that was read (a regular file with the same identity).
//
// A file's identity is its device and inode on Linux, its volume serial number and file
// index on Windows. A link is a symbolic link on Linux; on Windows it is any reparse point
// that stands for another name (symbolic link, junction, mount point). On Windows every
// folder of the path is held open, without delete sharing, for as long as the object
// lives, so none of them can be renamed or replaced meanwhile.
//
// Not thread-safe: one object belongs to one check of one file.

#include <cstdint>
#include <memory>
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

// Where a file stands: the folder that holds it (its identity) and its name there. Every
// spelling of a path ("/x/dup/A.EXE", "/x/./dup/A.EXE") gives the same place, and a place
// outlives the replacement of its file, which a file's own identity does not. On Windows,
// where names differ only in case name the same file, the name is upper-cased the way the
// file system compares names.
struct FilePlace {
    std::uint64_t folderDevice = 0;
    std::uint64_t folderInode = 0;
    std::string name;
    auto operator<=>(const FilePlace&) const = default;
};

// A write-back refused before anything was written, for a reason the user should hear of.
// The message is "Cannot create file %s"; reason() says why in one line that holds no path.
class WriteRefused : public Failure {
public:
    WriteRefused(const std::string& path, std::string reason);
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

// The replacement could not be given the owner the file must keep: on Linux its owner and
// group (only root may give a file to another user, and only a member may give it a
// group), on Windows its owner and security descriptor. Nothing was written. Going on
// would hand the file to the user who writes it, with its set-id bits and its ACL, and
// lock its owner out.
class OwnerNotKept : public WriteRefused {
public:
    using WriteRefused::WriteRefused;
};

// Another program has the file open in a way that keeps anyone from replacing it (on
// Windows: a running program, or a file opened without delete sharing). Nothing was
// written, and nothing is left to be done later behind the user's back.
class FileInUse : public WriteRefused {
public:
    explicit FileInUse(const std::string& path);
};

// Who owns a file and what it may do: what its replacement must carry. On Linux the owner
// and group ids and the permission bits; on Windows `mode` holds the file attributes
// (hidden, system, archive, ...), the owner and group are 0 and the security descriptor is
// carried whole from the file that is replaced.
struct FileOwnership {
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;  // permission bits (07777), set-id bits among them; attributes on Windows
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
    // opened for reading, so one named like a program cannot block. On Windows a file another
    // program holds without sharing is asked for a few times over a tenth of a second, and
    // a file whose contents are not on this computer (a cloud placeholder) is not opened.
    // "Cannot open file %s" when it cannot be opened or is no regular file;
    // FileChangedDuringCheck when a link stands where the path had none. `calls` make every
    // replacement (and, on Windows, the open itself): tests pass ones that fail or pretend.
    FileInFolder(const std::string& path, LinkPolicy policy, FileWriteCalls& calls = SystemFileWriteCalls());
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
    // out), flushed, and renamed over the name. On Windows the replacement gets the
    // original's attributes, security descriptor (owner, group and DACL) and alternate data
    // streams instead. May be called again after a success (each cure of a file).
    //
    // A replacement never changes who owns the file: when it cannot be given the
    // original's owner and group (a user curing another user's file), nothing is written.
    // So set-id bits only ever stand on a file of the owner and group they had.
    //
    // On any failure the file stays byte-for-byte as it was and nothing is left beside it.
    // Refused with "Cannot create file %s": a file whose owner has no write permission
    // (read-only binds everyone, also root; on Windows the read-only attribute), a file the
    // process may not write, a folder where no replacement can be made, a step of the
    // replacement that fails; OwnerNotKept ("Cannot create file %s", with its reason): the
    // owner cannot be kept; FileInUse (the same, with its reason): another program keeps
    // the file from being replaced; "Stream write error": a write, flush or close that
    // fails part-way; FileChangedDuringCheck: the name no longer refers to the file that
    // was read.
    void Replace(std::span<const std::uint8_t> bytes);
    // The same, but the replacement gets `as` (owner, group, permission bits) instead of
    // what the file has now: a restore puts back the owner and mode it recorded, never
    // those of whatever came to stand at the path. Its attributes are still the file's.
    // On Windows `as` gives the attributes; the security descriptor is the file's.
    void Replace(std::span<const std::uint8_t> bytes, const FileOwnership& as);

    const std::string& path() const { return path_; }
    // Where the file stands (see FilePlace).
    const FilePlace& place() const { return place_; }
    // The file as it was opened: who owns it and what it may do, and its size.
    const FileOwnership& ownership() const { return ownership_; }
    std::int64_t openedSize() const { return openedSize_; }
    // The file the name refers to as far as this object knows: the one opened, then each
    // replacement (device and inode; volume serial number and file index on Windows).
    std::uint64_t device() const { return device_; }
    std::uint64_t inode() const { return inode_; }

    struct Opened;  // what is held open, as each system keeps it (opaque here)

private:
    std::string path_;  // as given, for messages
    FileWriteCalls& calls_;
    FilePlace place_;
    FileOwnership ownership_;
    std::int64_t openedSize_ = 0;
    // The file the name must still refer to: the one read, then each replacement.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::unique_ptr<Opened> opened_;
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
// gives the same text. On Windows this is GetFullPathNameW's rule (a drive's own current
// folder for "C:name", backslashes for slashes). "Cannot open file %s" when the current
// folder cannot be known (it was removed, say).
std::string AbsolutePath(const std::string& path);

// Whether `path` names a file without reference to a current folder: "/..." on Linux;
// "C:\...", "\\server\share\..." on Windows.
bool IsAbsolutePath(const std::string& path);

// Creates the file at `path`, which must not exist yet, with `bytes` (0666 less the
// umask; on Windows the folder's inherited permissions): it appears whole or not at all,
// and never replaces a file. Links in the path are followed. "Cannot create file %s" when
// it cannot be made (or appeared meanwhile); "Stream write error" when a write or flush
// fails part-way; nothing is left behind.
void CreateFileWhole(const std::string& path, std::span<const std::uint8_t> bytes,
                     FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
