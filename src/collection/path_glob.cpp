#include "collection/path_glob.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file_name.h"

namespace korvax {
namespace {

bool IsSeparator(char c, GlobStyle style) { return c == '/' || (style == GlobStyle::Windows && c == '\\'); }

// Whether `c` lies in [low, high]; in the Windows style either letter case of it.
bool InRange(char c, char low, char high, GlobStyle style) {
    const auto within = [&](char x) {
        const auto u = static_cast<unsigned char>(x);
        return u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high);
    };
    if (within(c)) return true;
    if (style != GlobStyle::Windows) return false;
    if (c >= 'a' && c <= 'z') return within(static_cast<char>(c - 'a' + 'A'));
    if (c >= 'A' && c <= 'Z') return within(static_cast<char>(c - 'A' + 'a'));
    return false;
}

// Matches one bracket expression at pattern[p] (which is '[') against `c`. Returns the
// position after the expression, or 0 when it is not one (no closing ']': then the '['
// stands for itself). Where the expression ends does not depend on `c`.
std::size_t MatchSet(std::string_view pattern, std::size_t p, char c, bool& matched, GlobStyle style) {
    // A backslash quotes the next character, but on Windows, where it separates folders.
    const bool quotes = style == GlobStyle::Posix;
    std::size_t i = p + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) ++i;
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (pattern[i] != ']' || first)) {
        first = false;
        char low = pattern[i];
        if (quotes && low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            if (quotes && high == '\\' && i + 3 < pattern.size()) {
                high = pattern[i + 3];
                ++i;
            }
            i += 2;
        }
        if (InRange(c, low, high, style)) found = true;
        ++i;
    }
    if (i >= pattern.size()) return 0;
    matched = found != negated && !IsSeparator(c, style);
    return i + 1;
}

enum class TokenKind : std::uint8_t {
    Literal,    // one given byte
    AnyOne,     // '?': one byte other than '/'
    Set,        // '[...]': one byte of (or not of) the set
    Star,       // '*': any run of bytes other than '/'
    AnyFolders, // '**': any run of bytes
};

struct Token {
    TokenKind kind = TokenKind::Literal;
    char literal = 0;
    bool separator = false;      // a Literal that is a folder separator (either one on Windows)
    std::size_t setAt = 0;       // a Set: where its '[' stands in the pattern
    bool mayOmitFolder = false;  // "**/": the '/' after it may go too, as long as the "**" took nothing
};

// Appends the tokens of a run of `run` stars, followed in the pattern by `next` (0 at its
// end). Stars pair off from the left: "**" spans folders, a '*' left over stays within one
// folder, and a "**" right before a '/' may drop it. A run longer than four means what
// four (an even run) or three (an odd one) mean: pairs before the last take any run of
// bytes however many there are, so the time spent per path byte does not grow with them.
void AppendStars(std::vector<Token>& tokens, std::size_t run, char next, GlobStyle style) {
    for (std::size_t left = run <= 4 ? run : 4 - run % 2; left > 0;) {
        Token token;
        token.kind = left >= 2 ? TokenKind::AnyFolders : TokenKind::Star;
        left -= left >= 2 ? 2 : 1;
        token.mayOmitFolder = token.kind == TokenKind::AnyFolders && left == 0 && IsSeparator(next, style);
        tokens.push_back(token);
    }
}

std::vector<Token> Tokens(std::string_view pattern, GlobStyle style) {
    std::vector<Token> tokens;
    for (std::size_t p = 0; p < pattern.size();) {
        const char c = pattern[p];
        if (c == '*') {
            const std::size_t run = std::min(pattern.find_first_not_of('*', p), pattern.size()) - p;
            p += run;
            AppendStars(tokens, run, p < pattern.size() ? pattern[p] : '\0', style);
            continue;
        }
        Token token;
        if (bool ignored = false; c == '[' && MatchSet(pattern, p, 0, ignored, style) != 0) {
            token.kind = TokenKind::Set;
            token.setAt = p;
            p = MatchSet(pattern, p, 0, ignored, style);
        } else if (c == '?') {
            token.kind = TokenKind::AnyOne;
            ++p;
        } else {
            token.literal = c;
            token.separator = IsSeparator(c, style);
            if (style == GlobStyle::Posix && c == '\\' && p + 1 < pattern.size()) token.literal = pattern[++p];
            ++p;
        }
        tokens.push_back(token);
    }
    return tokens;
}

bool IsStar(const Token& token) { return token.kind == TokenKind::Star || token.kind == TokenKind::AnyFolders; }

// The tokens a match may stand before at one position of the path (token count: the
// pattern's end). A token is "entered" when the match arrives at it from the token before,
// as opposed to a star that goes on taking bytes: only an entered "**/" may drop its '/'.
class Positions {
public:
    explicit Positions(std::size_t tokenCount) : flags_(tokenCount + 1, 0) {}

    bool has(std::size_t token) const { return (flags_[token] & kPresent) != 0; }
    const std::vector<std::size_t>& list() const { return list_; }
    bool empty() const { return list_.empty(); }

    void clear() {
        for (const std::size_t token : list_) flags_[token] = 0;
        list_.clear();
    }

    // Adds `token` and everything reachable from it without taking a byte: past a star
    // (which may take nothing), and past the '/' of an entered "**/". A worklist rather
    // than recursion, so that no pattern's length sets the depth of the stack.
    void reach(const std::vector<Token>& tokens, std::size_t token, bool entered) {
        work_.emplace_back(token, entered);
        while (!work_.empty()) {
            const auto [t, enter] = work_.back();
            work_.pop_back();
            if (!has(t)) {
                flags_[t] |= kPresent;
                list_.push_back(t);
                if (t < tokens.size() && IsStar(tokens[t])) work_.emplace_back(t + 1, true);
            }
            if (enter && (flags_[t] & kEntered) == 0) {
                flags_[t] |= kEntered;
                if (t < tokens.size() && tokens[t].mayOmitFolder) work_.emplace_back(t + 2, true);
            }
        }
    }

private:
    static constexpr std::uint8_t kPresent = 1;
    static constexpr std::uint8_t kEntered = 2;
    std::vector<std::uint8_t> flags_;
    std::vector<std::size_t> list_;
    std::vector<std::pair<std::size_t, bool>> work_;
};

}  // namespace

// Every path byte moves the whole set of positions one step, so the work is at most the
// number of tokens times the path's length, and the memory a few bytes per token.
bool GlobMatches(std::string_view pattern, std::string_view path) {
    return GlobMatches(pattern, path, kPathSeparator == '\\' ? GlobStyle::Windows : GlobStyle::Posix);
}

bool GlobMatches(std::string_view pattern, std::string_view path, GlobStyle style) {
    const std::vector<Token> tokens = Tokens(pattern, style);
    Positions current(tokens.size());
    Positions next(tokens.size());
    current.reach(tokens, 0, true);
    for (const char c : path) {
        next.clear();
        for (const std::size_t t : current.list()) {
            if (t == tokens.size()) continue;
            const Token& token = tokens[t];
            switch (token.kind) {
                case TokenKind::Literal:
                    if (token.separator ? IsSeparator(c, style) : InRange(c, token.literal, token.literal, style)) {
                        next.reach(tokens, t + 1, true);
                    }
                    break;
                case TokenKind::AnyOne:
                    if (!IsSeparator(c, style)) next.reach(tokens, t + 1, true);
                    break;
                case TokenKind::Set: {
                    bool matched = false;
                    MatchSet(pattern, token.setAt, c, matched, style);
                    if (matched) next.reach(tokens, t + 1, true);
                    break;
                }
                case TokenKind::Star:
                    if (!IsSeparator(c, style)) next.reach(tokens, t, false);
                    break;
                case TokenKind::AnyFolders:
                    next.reach(tokens, t, false);
                    break;
            }
        }
        std::swap(current, next);
        if (current.empty()) return false;
    }
    return current.has(tokens.size());
}

}  // namespace korvax
