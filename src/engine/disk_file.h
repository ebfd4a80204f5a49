#pragma once
// A file on disk as the per-file check reaches it: opened once through its folder, read
// whole from that descriptor, and each cured image saved over that very file (see
// FileInFolder: a file or folder swapped for a link after the open is never written
// through).

#include <memory>
#include <string>

#include "engine/file_access.h"
#include "engine/files_in_hand.h"
#include "platform/file_in_folder.h"
#include "platform/file_write_calls.h"

namespace korvax {

class DiskFile : public FileAccess {
public:
    // `policy`: the workers refuse any link in a collected path; a tool checking a path a
    // user typed resolves it once. `calls` make the replacement's system calls (tests pass
    // ones that fail). With `inHand`, the file is held there from its load until this
    // object is destroyed, and a load waits while another worker holds it.
    DiskFile(std::string path, LinkPolicy policy, FileWriteCalls& calls = SystemFileWriteCalls(),
             FilesInHand* inHand = nullptr)
        : path_(std::move(path)), policy_(policy), inHand_(inHand), calls_(calls) {}

    std::vector<std::uint8_t> Load(std::int64_t maxSize) override;
    void Save(std::span<const std::uint8_t> image) override;
    std::optional<FileFacts> Facts() const override;
    std::optional<FileIdentity> Identity() const override;

private:
    std::string path_;
    LinkPolicy policy_;
    FilesInHand* inHand_;
    FileWriteCalls& calls_;
    // Destroyed after the file: the next holder opens it only once this one has let go.
    FilesInHand::Hold hold_;
    std::unique_ptr<FileInFolder> file_;
};

}  // namespace korvax
