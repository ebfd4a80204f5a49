#pragma once
// Reading signature source: one line at a time into tokens (a record never spans lines),
// and the numbers the language writes. Used by the assembler only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvax::source_lexer {

enum class TokenKind { Word, String, OpenBrace, CloseBrace, OpenBracket, CloseBracket };

struct Token {
    TokenKind kind = TokenKind::Word;
    std::string text;  // a word as written; a string's bytes after escapes
    int column = 0;
};

// The value of a hex digit, or -1.
int HexValue(char c);

// Column of byte `index` of a line: columns start at 1 and stay within int for any line.
int ColumnOf(std::size_t index);

// Where errors are reported from, and the line being read.
struct Place {
    std::string_view sourceName;
    int line = 0;

    // Throws SourceError for this line at `column`.
    [[noreturn]] void fail(int column, const std::string& message) const;
};

// The tokens of one line, up to a '#' comment. Throws SourceError on a broken string.
std::vector<Token> Tokenize(std::string_view line, const Place& place);

enum class NumberError { None, NotANumber, OutOfRange };

// Decimal with an optional sign, or 0x followed by hex digits (no sign, taken as unsigned).
// The caller checks the range its field allows; values too large for any field stop
// growing and are marked out of range, so a long run of digits cannot overflow.
struct ParsedNumber {
    std::int64_t value = 0;
    bool hex = false;
    NumberError error = NumberError::None;
};

ParsedNumber ParseNumber(std::string_view text);

// Two hex digits: a byte as patterns and data write it.
bool IsByteToken(std::string_view text);

}  // namespace korvax::source_lexer
