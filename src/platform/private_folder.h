#pragma once
// A folder that only its owner may write to, opened once and used through that handle:
// where korvax-scan keeps the originals of the files it cures. Nobody else may be able to
// put a file in it, or change one there, before it is put back.
//
// Thread safety: AppendLine takes a lock of its own, so lines appended from several
// threads never mix; the other members may be called from any thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/file_write_calls.h"

namespace korvax {

// The folder cannot be used to keep originals in; the message says why.
class FolderRefused : public Failure {
public:
    using Failure::Failure;
};

class PrivateFolder {
public:
    // Opens the folder at `path`, creating it with mode 0700 when it is missing (its parent
    // must exist); on Windows with a DACL that gives the user alone access, not inherited
    // from above. The path must pass the trust rule (platform/trusted_path.h): links on
    // the way are followed only when they belong to the user or root, and every folder
    // above belongs to one of them and is closed to other users' writes. FolderRefused when
    // it fails the rule, cannot be made or opened, is no folder, belongs to another user
    // (on Windows: neither the user nor the Administrators), or its group or others may
    // write to it (on Windows: its DACL lets anyone else write).
    explicit PrivateFolder(const std::string& path);
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();

    // Creates the file `name` holding `bytes` (mode 0600; on Windows the folder's DACL),
    // flushed: whole or not at all, never over an existing file. False when the name is
    // taken; Failure otherwise.
    bool CreateNewFile(const std::string& name, std::span<const std::uint8_t> bytes,
                    FileWriteCalls& calls = SystemFileWriteCalls());
    // Appends `line` and a line end to the file `name` (made with mode 0600 when missing)
    // in one write, and flushes it; never through a link at `name`. Failure ("Stream write
    // error", "Cannot create file %s").
    void AppendLine(const std::string& name, std::string_view line, FileWriteCalls& calls = SystemFileWriteCalls());
    // The file `name` whole; "Cannot open file %s" when it cannot be read. A missing file
    // gives nothing when `missingIsEmpty`.
    std::vector<std::uint8_t> Read(const std::string& name, bool missingIsEmpty = false) const;
    // Removes the file `name` (never what a link there points at). False when there is none
    // by that name; Failure ("Cannot create file %s") when it cannot be removed.
    bool Remove(const std::string& name);

    const std::string& path() const { return path_; }

    struct Opened;  // the open folder, as each system keeps it (opaque here)

private:
    std::string path_;
    std::unique_ptr<Opened> folder_;
    std::mutex appending_;
};

}  // namespace korvax
