#pragma once
// Shell-style patterns matched against a whole path, as `korvax-scan --exclude` takes
// them: `*` any run of characters within one folder name, `?` one character other than
// '/', `[abc]`, `[a-z]` and `[!abc]` one character of (or not of) a set, `**` any run of
// characters across folders ("/home/**/cache" matches "/home/cache" and "/home/a/b/cache"),
// `\x` the character x itself. Bytes are compared as they are (no letter case folding).
// Stars pair off from the left: "***" is "**" followed by "*".
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

bool GlobMatches(std::string_view pattern, std::string_view path);

}  // namespace korvax
