#pragma once
// A file the program writes for its user, whole and at the end: korvax-scan's report.
//
// Why: such a file is often written by root, at a path in a folder where other users keep
// files. Opened the usual way, a link planted at that path would make root empty (and then
// fill) any file of the system, and a report opened at the start would be emptied before
// the check had found anything. So the path is looked at when the program starts (its
// folder must pass the trust rule of platform/trusted_path.h; what stands at the name must
// be nothing, or a regular file of the user's, never a link of any owner: on Windows no
// reparse point at all), nothing is touched then, and at the end the whole text is written to a new file in that folder and
// renamed over the name, after the same look at what stands there.
//
// Not thread-safe: one object belongs to one run.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/failure.h"
#include "platform/file_write_calls.h"

namespace korvax {

class OwnedOutputFile {
public:
    // Looks at `path` and opens its folder; writes nothing. NotTrusted when the folder
    // fails the trust rule or the name holds a link, something that is no regular file, or
    // a file of another user (the message says which); "Cannot create file %s" when the
    // folder cannot be opened.
    explicit OwnedOutputFile(const std::string& path);
    OwnedOutputFile(const OwnedOutputFile&) = delete;
    OwnedOutputFile& operator=(const OwnedOutputFile&) = delete;
    ~OwnedOutputFile();

    // Puts `bytes` at the path, whole or not at all: written under a fresh name in the
    // folder, flushed, and renamed over the name, which must still hold nothing or a regular
    // file of the user's (NotTrusted otherwise, nothing left behind). "Cannot create file
    // %s" or "Stream write error" when a step fails; the file at the path is then as it was.
    void Write(std::span<const std::uint8_t> bytes, FileWriteCalls& calls = SystemFileWriteCalls());

    const std::string& path() const { return path_; }

    struct Opened;  // the open folder, as each system keeps it (opaque here)

private:
    std::string path_;  // as given, for messages
    std::unique_ptr<Opened> folder_;
};

}  // namespace korvax
