#include "engine/disk_file.h"

#include "platform/whole_file.h"

namespace korvax {

std::vector<std::uint8_t> DiskFile::Load(std::int64_t maxSize) { return ReadWholeFile(path_, maxSize); }

void DiskFile::Save(std::span<const std::uint8_t> image) { ReplaceFileContents(path_, image, calls_); }

}  // namespace korvax
