#pragma once
// Shell-style patterns matched against a whole path, as `korvax-scan --exclude` takes
// them: `*` any run of characters within one folder name, `?` one character other than
// '/', `[abc]`, `[a-z]` and `[!abc]` one character of (or not of) a set, `**` any run of
// characters across folders ("/home/**/cache" matches "/home/cache" and "/home/a/b/cache"),
// `\x` the character x itself. Bytes are compared as they are (no letter case folding).
//
// Pure function; safe from any thread.

#include <string_view>

namespace korvax {

bool GlobMatches(std::string_view pattern, std::string_view path);

}  // namespace korvax
