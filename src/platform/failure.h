#pragma once
// The failures the engine raises. Each carries the exact message a user sees (an error box
// in the desktop scanner, a line on stderr in the terminal tools), so the texts below are
// part of the program's interface and must not be reworded.
//
// A failure is never a verdict: a detected virus is a ResultCode, not an exception.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korvax {

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file %s": a file (scanned file, database, update file) could not be read.
Failure CannotOpenFile(const std::string& path);
// "Cannot create file %s": a file could not be (re)written, including read-only files.
Failure CannotCreateFile(const std::string& path);
// "Stream write error": writing to an already opened file failed part-way.
Failure StreamWriteError();
// "Out of memory while expanding memory stream": an image could not take its new size.
Failure OutOfMemoryExpanding();
// "List index out of bounds (%d)": a record the signature program needs is missing.
Failure ListIndexOutOfBounds(std::int64_t index);

}  // namespace korvax
