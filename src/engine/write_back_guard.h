#pragma once
// What must happen around the cures of one file: before its first write-back (its
// original kept where a cure can be undone from, say) and after its last. A guard that
// fails before the first write-back stops the cure: the file is then not written at all,
// and its row is the read error's. A first write-back that fails after the guard agreed
// is told to it, so that what it kept for a cure that never happened is withdrawn.
//
// Thread safety: one guard serves every worker of a check at once, so it must allow calls
// from several threads at the same time.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korvax {

// What the file was, as it was opened.
struct FileFacts {
    std::int64_t size = 0;
    std::uint32_t mode = 0;  // permission bits (07777)
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// Which file a write-back left at the path: its device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class WriteBackGuard {
public:
    virtual ~WriteBackGuard() = default;
    // Once per file, before its first write-back: the bytes as they were read, and the
    // name of the entry whose cure is about to be written. Throws Failure to stop the cure.
    virtual void BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                      const std::optional<FileFacts>& facts, const std::string& entryName) = 0;
    // Once per file, after its last write-back: the bytes the file now holds and, where it
    // is known, the file that holds them. The cures are done whatever happens here, so it
    // does not throw; it reports its own failures.
    virtual void AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                                    const std::optional<FileIdentity>& left) noexcept = 0;
    // Once per file whose first write-back failed after BeforeFirstWriteBack agreed to it:
    // nothing was written, the file is as it was read. It reports its own failures.
    virtual void FirstWriteBackFailed(const std::string& path) noexcept = 0;
};

}  // namespace korvax
