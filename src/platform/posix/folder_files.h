#pragma once
// Files made in a folder held open by its descriptor: what the POSIX side of the backup
// folder, the report file and the file replacement share. Only src/platform/posix/ includes
// this.

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

#include "platform/posix/file_write_calls.h"

namespace korvax {

// Creates the file `name` in the open folder `folder`, holding `bytes` with permission bits
// `mode` (less the umask), flushed with the folder: it appears whole or not at all, and
// never replaces a file. False when the name is taken. "Cannot create file %s" (with
// `path`) or "Stream write error" on any other failure, nothing left behind.
bool CreateFileAt(int folder, const std::string& name, std::span<const std::uint8_t> bytes, mode_t mode,
                  FileWriteCalls& calls, const std::string& path);

}  // namespace korvax
