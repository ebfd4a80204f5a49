#pragma once
// The files that the workers of one check hold at this moment, known by where they stand on
// disk (platform's FilePlace: the folder's device and inode, and the name in it), not by
// how their path was spelt. A folder listed twice as "/x/dup" and "/x/./dup" gives two
// spellings of every file in it; checked side by side, the second would read the file
// while the first replaces it, and report it "changed during the check", count its cure
// twice, or tangle its backup. So a worker that opens a file another worker holds lets go
// of it, waits until that worker is done, and opens it afresh: each listing is still
// checked and counted, one after the other, as if the walk had met them one by one.
//
// The place and not the file's own inode: a cure replaces the file by a new one (a new
// inode) under the same name, while the place stays. Two names of one file (hard links)
// are two places; each is replaced under its own name, so they may be checked side by side.
//
// Thread safety: every member may be called from any thread.

#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/file_in_folder.h"

namespace korvax {

class FilesInHand {
public:
    // A place held until the object is destroyed.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();
        explicit operator bool() const { return owner_ != nullptr; }

    private:
        friend class FilesInHand;
        Hold(FilesInHand& owner, FilePlace place) : owner_(&owner), place_(std::move(place)) {}
        void release();

        FilesInHand* owner_ = nullptr;
        FilePlace place_;
    };

    // Holds `place` when nobody does; an empty Hold when somebody does.
    Hold TryHold(const FilePlace& place);
    // Returns once nobody holds `place` (at once when nobody does).
    void WaitUntilFree(const FilePlace& place);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::set<FilePlace> held_;
};

}  // namespace korvax
