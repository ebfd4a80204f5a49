#include "collection/path_glob.h"

#include <cstddef>
#include <vector>

namespace korvax {
namespace {

// Matches one bracket expression at pattern[p] (which is '[') against `c`. Returns the
// position after the expression, or 0 when it is not one (no closing ']': then the '['
// stands for itself).
std::size_t MatchSet(std::string_view pattern, std::size_t p, char c, bool& matched) {
    std::size_t i = p + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) ++i;
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (pattern[i] != ']' || first)) {
        first = false;
        char low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            if (high == '\\' && i + 3 < pattern.size()) {
                high = pattern[i + 3];
                ++i;
            }
            i += 2;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high)) found = true;
        ++i;
    }
    if (i >= pattern.size()) return 0;
    matched = found != negated && c != '/';
    return i + 1;
}

// States (pattern position, path position) already known not to match: every state is
// tried once, so no pattern can make a match take exponential time.
struct Seen {
    std::vector<bool> failed;
    std::size_t width = 0;
    bool known(std::size_t p, std::size_t s) const { return failed[p * width + s]; }
    void fail(std::size_t p, std::size_t s) { failed[p * width + s] = true; }
};

bool Match(std::string_view pattern, std::size_t p, std::string_view path, std::size_t s, Seen& seen);

bool MatchFrom(std::string_view pattern, std::size_t p, std::string_view path, std::size_t s, Seen& seen) {
    if (seen.known(p, s)) return false;
    if (Match(pattern, p, path, s, seen)) return true;
    seen.fail(p, s);
    return false;
}

bool Match(std::string_view pattern, std::size_t p, std::string_view path, std::size_t s, Seen& seen) {
    while (p < pattern.size()) {
        const char token = pattern[p];
        if (token == '*') {
            const bool anyFolders = p + 1 < pattern.size() && pattern[p + 1] == '*';
            std::size_t next = p + (anyFolders ? 2 : 1);
            // "**/" also matches no folder at all: "a/**/b" matches "a/b".
            if (anyFolders && next < pattern.size() && pattern[next] == '/' &&
                MatchFrom(pattern, next + 1, path, s, seen)) {
                return true;
            }
            for (std::size_t end = s;; ++end) {
                if (MatchFrom(pattern, next, path, end, seen)) return true;
                if (end == path.size() || (!anyFolders && path[end] == '/')) return false;
            }
        }
        if (s == path.size()) return false;
        if (token == '?') {
            if (path[s] == '/') return false;
            ++p;
            ++s;
            continue;
        }
        if (token == '[') {
            bool matched = false;
            const std::size_t after = MatchSet(pattern, p, path[s], matched);
            if (after != 0) {
                if (!matched) return false;
                p = after;
                ++s;
                continue;
            }
        }
        char literal = token;
        if (token == '\\' && p + 1 < pattern.size()) literal = pattern[++p];
        if (literal != path[s]) return false;
        ++p;
        ++s;
    }
    return s == path.size();
}

}  // namespace

bool GlobMatches(std::string_view pattern, std::string_view path) {
    Seen seen;
    seen.width = path.size() + 1;
    seen.failed.assign((pattern.size() + 1) * seen.width, false);
    return Match(pattern, 0, path, 0, seen);
}

}  // namespace korvax
