#pragma once
// Shell-style patterns matched against a whole path, as `korvax-scan --exclude` takes
// them: `*` any run of characters within one folder name, `?` one character other than
// '/', `[abc]`, `[a-z]` and `[!abc]` one character of (or not of) a set, `**` any run of
// characters across folders ("/home/**/cache" matches "/home/cache" and "/home/a/b/cache"),
// `\x` the character x itself. Bytes are compared as they are (no letter case folding).
// Stars pair off from the left: "***" is "**" followed by "*".
//
// On Windows paths are matched as Windows names them: '\\' and '/' both separate folders,
// in the pattern as in the path (so a backslash quotes nothing there: no file name can
// hold the characters a quote would be needed for), and letters match in either case, as
// the file system compares names ("**\\cache" matches "C:\\x\\Cache").
//
// The pattern comes from the command line, so its length is anyone's choice: the match
// takes no more stack for a long pattern than for a short one, and at most the pattern's
// length times the path's in time, whatever the pattern holds.
//
// Pure function; safe from any thread.

#include <cstddef>
#include <string_view>

namespace korvax {

// The longest pattern a check accepts. Four times the longest path a walk can meet
// (1,024 bytes), so no sensible pattern is refused; anything longer is a mistake or an
// attack, and costs every path that much time.
inline constexpr std::size_t kMaxGlobPatternSize = 4096;

enum class GlobStyle { Posix, Windows };

// Matched in the style of the system the program runs on.
bool GlobMatches(std::string_view pattern, std::string_view path);
bool GlobMatches(std::string_view pattern, std::string_view path, GlobStyle style);

}  // namespace korvax
