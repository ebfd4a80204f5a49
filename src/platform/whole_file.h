#pragma once
// Reading a whole file into memory, and replacing a file's contents without ever leaving
// it half-written. Both take paths as the OS gives them (bytes, no encoding assumed).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_write_calls.h"

namespace korvax {

// The largest file an image can hold: sizes and positions are 32-bit signed values.
inline constexpr std::int64_t kMaxImageSize = 0x7FFFFFFF;

// Reads the regular file at `path` whole. Anything else (a folder, a FIFO, a device, a
// missing or unreadable file, or one larger than `maxSize`) fails with "Cannot open file
// %s". FIFOs and devices are never read from, so a FIFO named like a program cannot block.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path,
                                        std::int64_t maxSize = kMaxImageSize);

// Replaces the contents of the file at `path` with `bytes`, atomically: the bytes go to a
// temporary file in the same folder, which is flushed and then renamed over the original.
// On success the file keeps its path, permission bits and (where the OS allows) owner.
// On any failure the temporary file is removed and the original stays byte-for-byte as it
// was. A symbolic link is followed: its target is replaced and the link stays a link.
//
// Refused with "Cannot create file %s": a file that is not a regular file, a file whose
// owner has no write permission (read-only binds everyone, also root, as it does on the
// platform this design comes from), a file the process may not write, and a folder where
// no temporary file can be made. A write or flush that fails part-way gives
// "Stream write error". Every step of the replacement goes through `calls`.
void ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes,
                         FileWriteCalls& calls = SystemFileWriteCalls());

// Writes `bytes` as the whole file at `path`, which either keeps what it held or holds all
// of `bytes`. An existing file is replaced as ReplaceFileContents does; a new one is made
// with the usual permissions (0666 less the umask).
void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes,
                    FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
