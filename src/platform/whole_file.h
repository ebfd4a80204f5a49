#pragma once
// Reading a whole file into memory, and replacing or creating a file without ever leaving
// it half-written. Paths are taken as the OS gives them (bytes, no encoding assumed, on
// Linux; WTF-8 on Windows, see wide_text.h).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvax {

// The calls a replacement is made with (platform/file_write_calls.h): only named here, so
// that reading a file needs nothing of how one is written.
class FileWriteCalls;
FileWriteCalls& SystemFileWriteCalls();

// The largest file an image can hold: sizes and positions are 32-bit signed values.
inline constexpr std::int64_t kMaxImageSize = 0x7FFFFFFF;

// Reads the regular file at `path` whole. Anything else (a folder, a FIFO, a device, a
// missing or unreadable file, or one larger than `maxSize`) fails with "Cannot open file
// %s". FIFOs and devices are never read from, so a FIFO named like a program cannot block.
// On Windows a file that another program holds open without sharing is asked for again a
// few times over a tenth of a second (often that program is another scanner), then fails
// the same way.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::int64_t maxSize = kMaxImageSize);

// Replaces the contents of the file at `path` with `bytes`, atomically, keeping its path,
// owner, permission bits and extended attributes; on any failure the original stays
// byte-for-byte as it was. The path is resolved once (a link's target is replaced and the
// link stays a link) and the replacement then goes to that very file, as FileInFolder
// does it (see there for the failures and their messages).
void ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes,
                         FileWriteCalls& calls = SystemFileWriteCalls());

// Writes `bytes` as the whole file at `path`, which either keeps what it held or holds all
// of `bytes`: an existing file is replaced as ReplaceFileContents does, a new one is
// created whole (0666 less the umask).
void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes,
                    FileWriteCalls& calls = SystemFileWriteCalls());

}  // namespace korvax
