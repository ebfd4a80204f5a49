#pragma once
// Listing one folder: every entry the OS returns, in its order, with its type and size.
// Symbolic links are reported as links (not followed), so a walk built on this cannot
// loop and never collects a link.

#include <cstdint>
#include <optional>
#include <string>

namespace korvax {

enum class EntryKind { Directory, RegularFile, SymbolicLink, Other, Unknown };

struct DirectoryEntry {
    std::string name;  // bytes as the OS gives them; "." and ".." included
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

class DirectoryListing {
public:
    // Opens `folder` (a path ending with '/'). A folder that cannot be opened yields no
    // entries. A folder that is itself a symbolic link is followed.
    explicit DirectoryListing(const std::string& folder);
    // Opens the folder `name` listed in `parent`, never following a link: a folder swapped
    // for a link after it was listed yields no entries, so a walk never strays through one.
    DirectoryListing(const DirectoryListing& parent, const std::string& name);
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    ~DirectoryListing();

    // The next entry; the kind comes from lstat, so it is never a link's target.
    std::optional<DirectoryEntry> next();

    // Whether the folder was opened; when not, why (the system's text), for messages.
    bool opened() const { return dir_ != nullptr; }
    const std::string& openFailure() const { return openFailure_; }

private:
    void open(int fd);

    void* dir_ = nullptr;
    std::string openFailure_;
};

}  // namespace korvax
