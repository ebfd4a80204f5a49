#include "engine/escaped_text.h"

#include "engine/display_text.h"

namespace korvax {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexEscape(std::string& out, unsigned char byte) {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string EscapeText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHexEscape(out, c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t length = Utf8SequenceLength(bytes, i); length == 0) {
            AppendHexEscape(out, c);  // not UTF-8: the byte alone
        } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
            // A C1 control: terminals act on some of them (U+009B starts a control sequence).
            AppendHexEscape(out, c);
            AppendHexEscape(out, static_cast<unsigned char>(bytes[i + 1]));
            i += 2;
            continue;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        ++i;
    }
    return out;
}

std::optional<std::string> UnescapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'x': {
                const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
                if (high < 0 || low < 0) return std::nullopt;
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default: return std::nullopt;
        }
    }
    return out;
}

std::string ShownPath(std::string_view path) { return ShownPath(path, kPathShowing); }

std::string ShownPath(std::string_view path, PathShowing showing) {
    if (showing == PathShowing::Escaped) return EscapeText(path);
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const auto c = static_cast<unsigned char>(path[i]);
        const auto at = [&](std::size_t k) { return k < path.size() ? static_cast<unsigned char>(path[k]) : 0U; };
        if (c < 0x20 || c == 0x7F) {
            out += kReplacement;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (c == 0xED && at(i + 1) >= 0xA0 && at(i + 1) <= 0xBF && (at(i + 2) & 0xC0) == 0x80) {
            out += kReplacement;  // a lone surrogate, one 16-bit unit of a name
            i += 3;
        } else if (const std::size_t length = Utf8SequenceLength(path, i); length == 0) {
            out += kReplacement;
            ++i;
        } else if (length == 2 && c == 0xC2 && at(i + 1) < 0xA0) {
            out += kReplacement;  // a C1 control
            i += 2;
        } else {
            out.append(path.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace korvax
