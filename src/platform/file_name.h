#pragma once
// How long a file's full path may be: it travels from the collection to a worker in a
// fixed buffer of 1025 bytes, at most 1024 bytes of path and the terminating zero.

#include <array>
#include <cstddef>

namespace korvax {

inline constexpr std::size_t kFileNameBufferSize = 1025;
inline constexpr std::size_t kMaxFileNameLength = kFileNameBufferSize - 1;
using FileNameBuffer = std::array<char, kFileNameBufferSize>;

}  // namespace korvax
