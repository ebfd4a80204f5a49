#include "language/source_lexer.h"

#include <cstdint>

#include "language/signature_source.h"

namespace korvax::source_lexer {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool EndsWord(char c) {
    return IsSpace(c) || c == '"' || c == '#' || c == '[' || c == ']' || c == '{' || c == '}';
}

}  // namespace

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int ColumnOf(std::size_t index) {
    return index >= static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(index) + 1;
}

void Place::fail(int column, const std::string& message) const {
    throw SourceError(std::string(sourceName), line, column, message);
}

std::vector<Token> Tokenize(std::string_view line, const Place& place) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (IsSpace(c)) {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        token.column = ColumnOf(i);
        if (c == '"') {
            token.kind = TokenKind::String;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char s = line[i];
                if (s == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (s != '\\') {
                    token.text += s;
                    ++i;
                    continue;
                }
                const int escapeColumn = ColumnOf(i);
                if (i + 1 >= line.size()) place.fail(escapeColumn, "unfinished escape at the end of the line");
                const char e = line[i + 1];
                i += 2;
                switch (e) {
                    case '\\': token.text += '\\'; break;
                    case '"': token.text += '"'; break;
                    case 'n': token.text += '\n'; break;
                    case 't': token.text += '\t'; break;
                    case '0': token.text += '\0'; break;
                    case 'x': {
                        const int high = i < line.size() ? HexValue(line[i]) : -1;
                        const int low = i + 1 < line.size() ? HexValue(line[i + 1]) : -1;
                        if (high < 0 || low < 0) place.fail(escapeColumn, "\\x needs two hex digits");
                        token.text += static_cast<char>(high * 16 + low);
                        i += 2;
                        break;
                    }
                    default:
                        place.fail(escapeColumn, std::string("unknown escape '\\") + e + "'");
                }
            }
            if (!closed) place.fail(token.column, "unterminated string");
        } else if (c == '{' || c == '}' || c == '[' || c == ']') {
            token.kind = c == '{'   ? TokenKind::OpenBrace
                         : c == '}' ? TokenKind::CloseBrace
                         : c == '[' ? TokenKind::OpenBracket
                                    : TokenKind::CloseBracket;
            token.text = std::string(1, c);
            ++i;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !EndsWord(line[i])) ++i;
            token.text = std::string(line.substr(start, i - start));
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

ParsedNumber ParseNumber(std::string_view text) {
    ParsedNumber result;
    constexpr std::int64_t kLimit = std::int64_t{1} << 40;  // far past any field
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        result.hex = true;
        for (std::size_t i = 2; i < text.size(); ++i) {
            const int digit = HexValue(text[i]);
            if (digit < 0) return {0, true, NumberError::NotANumber};
            result.value = result.value * 16 + digit;
            if (result.value > kLimit) {
                result.error = NumberError::OutOfRange;
                result.value = kLimit;
            }
        }
        return result;
    }
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i >= text.size()) return {0, false, NumberError::NotANumber};
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return {0, false, NumberError::NotANumber};
        result.value = result.value * 10 + (text[i] - '0');
        if (result.value > kLimit) {
            result.error = NumberError::OutOfRange;
            result.value = kLimit;
        }
    }
    if (negative) result.value = -result.value;
    return result;
}

bool IsByteToken(std::string_view text) {
    return text.size() == 2 && HexValue(text[0]) >= 0 && HexValue(text[1]) >= 0;
}

}  // namespace korvax::source_lexer
