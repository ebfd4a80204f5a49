#include "engine/disk_file.h"

#include "platform/failure.h"

namespace korvax {

std::vector<std::uint8_t> DiskFile::Load(std::int64_t maxSize) {
    for (;;) {
        file_ = std::make_unique<FileInFolder>(path_, policy_);
        if (inHand_ == nullptr) break;
        hold_ = inHand_->TryHold(file_->place());
        if (hold_) break;
        // Another worker holds it under another spelling: what it writes is what this
        // check must read, so the file is opened afresh once that worker is done.
        const FilePlace place = file_->place();
        file_.reset();
        inHand_->WaitUntilFree(place);
    }
    return file_->ReadAll(maxSize);
}

void DiskFile::Save(std::span<const std::uint8_t> image) {
    if (!file_) throw CannotCreateFile(path_);  // nothing was read, so nothing may be written
    file_->Replace(image, calls_);
}

std::optional<FileFacts> DiskFile::Facts() const {
    if (!file_) return std::nullopt;
    const struct stat& original = file_->original();
    return FileFacts{original.st_size, static_cast<std::uint32_t>(original.st_mode & 07777), original.st_uid,
                     original.st_gid};
}

std::optional<FileIdentity> DiskFile::Identity() const {
    if (!file_) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(file_->device()), static_cast<std::uint64_t>(file_->inode())};
}

}  // namespace korvax
