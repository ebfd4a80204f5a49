#include "platform/failure.h"

namespace korvax {

Failure CannotOpenFile(const std::string& path) { return Failure("Cannot open file " + path); }

Failure CannotCreateFile(const std::string& path) { return Failure("Cannot create file " + path); }

Failure StreamWriteError() { return Failure("Stream write error"); }

Failure OutOfMemoryExpanding() { return Failure("Out of memory while expanding memory stream"); }

Failure ListIndexOutOfBounds(std::int64_t index) {
    return Failure("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace korvax
