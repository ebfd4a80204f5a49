#pragma once
// Listing one folder: every entry the OS returns, in its order, with its type and size
// (hidden and system entries too). Links are reported as links (not followed), so a walk
// built on this cannot loop and never collects a link.
//
// On Linux a link is a symbolic link; on Windows it is a reparse point that stands for
// another name (symbolic link, junction, mount point), and a folder carrying any reparse
// point is never entered. Windows also has files whose contents are not on this computer:
// a cloud placeholder (reading it would download it) and a zero-byte application alias;
// those are reported as NotLocal and never read.
//
// Not thread-safe: a listing belongs to the walk that opened it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvax {

enum class EntryKind { Directory, RegularFile, SymbolicLink, NotLocal, Other, Unknown };

struct DirectoryEntry {
    std::string name;  // as the OS gives it (bytes on Linux, WTF-8 on Windows); "." and ".." included
    EntryKind kind = EntryKind::Unknown;
    std::int64_t size = 0;  // for regular files
};

// What stands at a path the user named, its links followed (naming a link means its
// target). `failure` is the system's reason when nothing can be looked at there (then
// `kind` is Unknown); nothing is opened, so naming a FIFO cannot block.
struct NamedEntry {
    EntryKind kind = EntryKind::Unknown;
    std::int64_t size = 0;  // for regular files
    std::string failure;
};
NamedEntry LookAtNamedPath(const std::string& path);

// Whether anything stands at `path`, a link included even when what it names is gone.
bool EntryExists(const std::string& path);

class DirectoryListing {
public:
    // Opens `folder` (a path ending with the separator). A folder that cannot be opened
    // yields no entries. A folder that is itself a link is followed.
    explicit DirectoryListing(const std::string& folder);
    // Opens the folder `name` listed in `parent`, never following a link: a folder swapped
    // for a link after it was listed yields no entries, so a walk never strays through one.
    DirectoryListing(const DirectoryListing& parent, const std::string& name);
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    ~DirectoryListing();

    // The next entry; its kind is the entry's own, never a link's target.
    std::optional<DirectoryEntry> next();

    // Whether the folder was opened; when not, why (the system's text), for messages.
    bool opened() const { return folder_ != nullptr; }
    const std::string& openFailure() const { return openFailure_; }

    struct Folder;  // the open folder, as each system keeps it (opaque here)

private:
    std::unique_ptr<Folder> folder_;
    std::string openFailure_;
};

}  // namespace korvax
