#pragma once
// How the system spells a path, and how long one may be. A file's full path travels from
// the collection to a worker in a fixed buffer: at most 1,024 of the system's characters
// and the terminating zero. Linux counts bytes; Windows counts UTF-16 units, and the
// program holds its paths as UTF-8 (WTF-8, see wide_text.h), in which one unit takes up to
// three bytes, so there the buffer holds 3 x 1,024 bytes and the terminating zero.
//
// Thread safety: no state.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvax {

// How many of the system's characters a full path may have.
inline constexpr std::size_t kMaxFileNameLength = 1024;

#ifdef _WIN32
inline constexpr std::size_t kFileNameBufferSize = 3 * kMaxFileNameLength + 1;
// What separates a folder from what it holds, as the system writes it.
inline constexpr char kPathSeparator = '\\';
// What the length of a path is counted in, for messages.
inline constexpr const char* kPathLengthUnit = "characters";
#else
inline constexpr std::size_t kFileNameBufferSize = kMaxFileNameLength + 1;
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathLengthUnit = "bytes";
#endif
using FileNameBuffer = std::array<char, kFileNameBufferSize>;

// Whether `c` separates the parts of a path here: '/' on Linux; '\\' and '/' on Windows.
constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// The length of `path` in the system's characters (bytes on Linux; UTF-16 units on
// Windows, a byte that is no WTF-8 counting as one), as the limit above counts it.
std::size_t PathLength(std::string_view path);

// `folder` and `name` joined by the separator (none added when `folder` ends with one).
std::string JoinPath(std::string_view folder, std::string_view name);

// How a row shows a path (engine/row_format.h). A Linux name may hold any byte but '/' and
// NUL, so rows escape what could break or fake a line. A Win32 name holds neither a
// control character nor a backslash, so Windows shows a path as Windows does, backslashes
// and all, and what still cannot stand on one line (a control character or a name that is
// not valid UTF-16, both made behind Win32's back) as U+FFFD.
enum class PathShowing { Escaped, Replaced };
#ifdef _WIN32
inline constexpr PathShowing kPathShowing = PathShowing::Replaced;
#else
inline constexpr PathShowing kPathShowing = PathShowing::Escaped;
#endif

}  // namespace korvax
