#include "language/signature_source.h"

#include <algorithm>
#include <array>
#include <optional>

#include "database/record_fields.h"
#include "database/record_header.h"
#include "language/operand_syntax.h"
#include "language/source_lexer.h"

namespace korvax {

SourceError::SourceError(std::string sourceName, int line, int column, const std::string& message)
    : std::runtime_error(sourceName + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message),
      line_(line),
      column_(column) {}

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace source_lexer;
using namespace operand_syntax;

// A record as assembled.
struct RecordOut {
    std::uint8_t type = 0;
    std::array<std::uint8_t, 7> unread{};
    std::optional<std::int32_t> length;  // the data size when not given
    Bytes data;
};

// ---------------------------------------------------------------------------------------
// Parsing one line.

class LineParser {
public:
    LineParser(std::vector<Token> tokens, const Place& place, std::size_t lineLength)
        : tokens_(std::move(tokens)), place_(place), endColumn_(ColumnOf(lineLength)) {}

    bool atEnd() const { return pos_ >= tokens_.size(); }
    const Token& take() { return tokens_[pos_++]; }
    int column() const { return atEnd() ? endColumn_ : tokens_[pos_].column; }

    [[noreturn]] void fail(const std::string& message) const { place_.fail(column(), message); }
    [[noreturn]] void failAt(const Token& token, const std::string& message) const {
        place_.fail(token.column, message);
    }

    std::string found() const {
        if (atEnd()) return "the end of the line";
        const Token& token = tokens_[pos_];
        if (token.kind == TokenKind::String) return "a string";
        return "'" + token.text + "'";
    }

    bool nextIsWord(std::string_view word) const {
        return !atEnd() && tokens_[pos_].kind == TokenKind::Word && tokens_[pos_].text == word;
    }
    bool nextIsKind(TokenKind kind) const { return !atEnd() && tokens_[pos_].kind == kind; }

    bool accept(std::string_view word) {
        if (!nextIsWord(word)) return false;
        ++pos_;
        return true;
    }

    void expect(std::string_view word) {
        if (!accept(word)) fail("expected '" + std::string(word) + "', found " + found());
    }

    void expectEnd() {
        if (!atEnd()) fail("unexpected " + found());
    }

    const Token& word(const std::string& what) {
        if (!nextIsKind(TokenKind::Word)) fail("expected " + what + ", found " + found());
        return take();
    }

    [[noreturn]] void failNotANumber(const Token& token, const std::string& what) const {
        const std::string_view text = token.text;
        const std::size_t digits = text.find_first_not_of("+-$");
        if (digits > 0 && digits != std::string_view::npos && text.substr(digits).starts_with("0x")) {
            failAt(token, "hex numbers take no sign: write '" + token.text + "' in decimal");
        }
        failAt(token, "expected " + what + ", found '" + token.text + "'");
    }

    // A 32-bit field: -2147483648..2147483647, or 0x0..0xFFFFFFFF as two's complement.
    std::int32_t i32(const std::string& what) {
        const Token& token = word(what);
        return i32From(token, token.text, what);
    }

    std::int32_t i32From(const Token& token, std::string_view text, const std::string& what) const {
        const ParsedNumber number = ParseNumber(text);
        if (number.error == NumberError::NotANumber) failNotANumber(token, what);
        if (number.hex) {
            if (number.error != NumberError::None || number.value > 0xFFFFFFFF) {
                failAt(token, "'" + token.text + "' is out of range for a 32-bit field (0x0..0xFFFFFFFF)");
            }
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(number.value));
        }
        if (number.error != NumberError::None || number.value < INT32_MIN || number.value > INT32_MAX) {
            failAt(token, "'" + token.text + "' is out of range for a 32-bit field (-2147483648..2147483647)");
        }
        return static_cast<std::int32_t>(number.value);
    }

    // A byte field: 0..255 or 0x0..0xFF.
    std::uint8_t u8(const std::string& what) {
        const Token& token = word(what);
        const ParsedNumber number = ParseNumber(token.text);
        if (number.error == NumberError::NotANumber) failNotANumber(token, what);
        if (number.error != NumberError::None || number.value < 0 || number.value > 255) {
            failAt(token, "'" + token.text + "' is out of range for a byte (0..255)");
        }
        return static_cast<std::uint8_t>(number.value);
    }

    // A byte written as two hex digits, as in patterns and data.
    std::uint8_t hexByte(const std::string& what) {
        const Token& token = word(what);
        if (!IsByteToken(token.text)) failAt(token, "expected " + what + " (two hex digits), found '" + token.text + "'");
        return static_cast<std::uint8_t>(HexValue(token.text[0]) * 16 + HexValue(token.text[1]));
    }

    // `$ID`: a variable's id.
    bool nextIsVariable() const {
        return nextIsKind(TokenKind::Word) && tokens_[pos_].text.size() > 1 && tokens_[pos_].text[0] == '$';
    }
    std::int32_t variable() {
        const Token& token = take();
        return i32From(token, std::string_view(token.text).substr(1), "a variable id after '$'");
    }

    // Four bytes from hex byte tokens, `??` wildcards and strings, in any mix.
    struct FourBytes {
        std::array<std::uint8_t, 4> bytes{};
        std::array<std::uint8_t, 4> mask{};  // FF for a given byte, 00 for a wildcard
    };
    FourBytes fourBytes(const char* what, bool wildcards) {
        FourBytes result;
        std::size_t count = 0;
        const int start = column();
        auto tooMany = [&](const Token& token) {
            failAt(token, std::string(what) + " needs exactly 4 bytes");
        };
        while (!atEnd()) {
            const Token& token = tokens_[pos_];
            if (token.kind == TokenKind::String) {
                if (count + token.text.size() > 4) tooMany(token);
                for (const char c : token.text) {
                    result.bytes[count] = static_cast<std::uint8_t>(c);
                    result.mask[count++] = 0xFF;
                }
            } else if (token.kind == TokenKind::Word && (IsByteToken(token.text) || token.text == "??")) {
                if (count == 4) tooMany(token);
                if (token.text == "??") {
                    if (!wildcards) failAt(token, std::string("'?\?' cannot stand in ") + what);
                    result.bytes[count] = 0;
                    result.mask[count++] = 0;
                } else {
                    result.bytes[count] = static_cast<std::uint8_t>(HexValue(token.text[0]) * 16 + HexValue(token.text[1]));
                    result.mask[count++] = 0xFF;
                }
            } else {
                break;
            }
            ++pos_;
        }
        if (count != 4) {
            place_.fail(count == 0 ? start : column(), std::string(what) + " needs 4 bytes, found " +
                                                           std::to_string(count) + (count == 0 ? " (" + found() + ")" : ""));
        }
        return result;
    }

    // Data bytes: hex byte tokens and strings, up to the `header` clause or the line's end.
    Bytes byteItems() {
        Bytes bytes;
        while (!atEnd() && !nextIsWord("header")) {
            const Token& token = tokens_[pos_];
            if (token.kind == TokenKind::String) {
                bytes.insert(bytes.end(), token.text.begin(), token.text.end());
                ++pos_;
            } else {
                bytes.push_back(hexByte("a byte"));
            }
        }
        return bytes;
    }

    // POS: where a comparison or group is placed.
    std::pair<std::uint8_t, std::int32_t> position() {
        if (accept("at")) return {position_mode::kAbsolute, i32("an offset")};
        if (accept("base")) return {position_mode::kFromBase, i32("an offset")};
        if (accept("rel")) return {position_mode::kRelative, i32("an offset")};
        if (accept("mode")) {
            const std::uint8_t mode = u8("a mode byte");
            return {mode, i32("an offset")};
        }
        fail("expected a position ('at', 'base', 'rel' or 'mode'), found " + found());
    }

    OperandFields operand(OperandRole role, const char* what) {
        OperandFields operand;
        if (nextIsKind(TokenKind::OpenBracket)) {
            take();
            bool seen[3] = {false, false, false};
            while (!nextIsKind(TokenKind::CloseBracket)) {
                if (atEnd()) fail("expected ']' to close the operand");
                const Token& key = word("'mode', 'value' or 'var'");
                int index = key.text == "mode" ? 0 : key.text == "value" ? 1 : key.text == "var" ? 2 : -1;
                if (index < 0) failAt(key, "expected 'mode', 'value' or 'var', found '" + key.text + "'");
                if (seen[index]) failAt(key, "'" + key.text + "' given twice");
                seen[index] = true;
                if (index == 0) operand.mode = u8("a mode byte");
                if (index == 1) operand.value = i32("a value");
                if (index == 2) operand.variable = i32("a variable id");
            }
            take();
            return operand;
        }
        if (nextIsVariable()) {
            operand.variable = variable();
            operand.mode = VariableMode(role);
            return operand;
        }
        const KeywordForm keyword = KeywordFormOf(role);
        if (accept(keyword.keyword)) {
            operand.mode = keyword.mode;
            if (keyword.takesValue) {
                operand.value = i32(role == OperandRole::NewSize ? "the number of bytes to cut" : "an offset");
            }
            return operand;
        }
        operand.mode = PlainMode(role);
        operand.value = i32(std::string("the ") + what);
        return operand;
    }

    // The optional `header B1..B7` clause that every record line may end with.
    void headerClause(RecordOut& record) {
        if (!accept("header")) return;
        for (auto& byte : record.unread) byte = hexByte("one of the 7 header bytes");
    }

private:
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    const Place& place_;
    int endColumn_;
};

// ---------------------------------------------------------------------------------------
// The assembler.

class Assembler {
public:
    explicit Assembler(std::string_view sourceName) : sourceName_(sourceName) {}

    void line(std::string_view text, int number) {
        place_ = Place{sourceName_, number};
        std::vector<Token> tokens = Tokenize(text, place_);
        if (tokens.empty()) return;
        LineParser p(std::move(tokens), place_, text.size());

        if (p.nextIsKind(TokenKind::CloseBrace)) {
            const int column = p.column();
            p.take();
            p.expectEnd();
            closeBlock(column);
            return;
        }
        const int keywordColumn = p.column();
        const Token& keyword = p.word("a keyword");
        const std::string& k = keyword.text;
        RecordOut record;
        if (k == "entry") {
            entry(p, record);
        } else if (k == "match" || k == "search") {
            match(p, record, k == "search");
        } else if (k == "group") {
            record.type = record_type::kGroup;
            record.data.assign(layout::kGroupSize, 0);
            positionInto(p, record, layout::kGroupMode, layout::kGroupOffset);
            p.expect("count");
            PutI32(record.data, layout::kGroupCount, p.i32("the member count"));
        } else if (k == "any") {
            record.type = record_type::kGroup;
            record.data.assign(layout::kGroupSize, 0);
            positionInto(p, record, layout::kGroupMode, layout::kGroupOffset);
            p.headerClause(record);
            if (!p.nextIsKind(TokenKind::OpenBrace)) p.fail("expected '{' at the end of 'any', found " + p.found());
            const int braceColumn = p.column();
            p.take();
            p.expectEnd();
            openBlock(record, keywordColumn, braceColumn);
            return;
        } else if (k == "var") {
            variable(p, record);
        } else if (k == "copy") {
            record.type = record_type::kCopy;
            record.data.assign(layout::kCopySize, 0);
            PutOperand(record.data, layout::kCopyLength, p.operand(OperandRole::Length, "copy length"));
            p.expect("from");
            PutOperand(record.data, layout::kCopySource, p.operand(OperandRole::Position, "source offset"));
            p.expect("to");
            PutOperand(record.data, layout::kCopyDestination, p.operand(OperandRole::Position, "destination offset"));
        } else if (k == "size") {
            record.type = record_type::kSize;
            record.data.assign(layout::kSizeSize, 0);
            PutOperand(record.data, layout::kSizeOperand, p.operand(OperandRole::NewSize, "new size"));
        } else if (k == "raw") {
            record.type = p.u8("a record type byte");
            if (p.accept("length")) record.length = p.i32("a record length");
            if (p.accept("data")) {
                record.data = p.byteItems();
            } else if (!p.atEnd() && !p.nextIsWord("header")) {
                p.fail("expected 'length', 'data' or 'header', found " + p.found());
            }
        } else if (k == "bytes") {
            if (const Frame* block = innermostBlock()) {
                place_.fail(keywordColumn, "'bytes' cannot stand inside the 'any' block opened on line " +
                                               std::to_string(block->line));
            }
            const Bytes bytes = p.byteItems();
            if (p.nextIsWord("header")) p.fail("'bytes' are not a record and take no 'header' clause");
            p.expectEnd();
            out_.insert(out_.end(), bytes.begin(), bytes.end());
            return;
        } else {
            place_.fail(keywordColumn, "unknown keyword '" + k + "'");
        }
        p.headerClause(record);
        p.expectEnd();
        emit(record, keywordColumn);
    }

    Bytes finish() {
        if (const Frame* block = innermostBlock()) {
            Place{sourceName_, block->line}.fail(block->column, "'{' is never closed");
        }
        return std::move(out_);
    }

private:
    // A group being filled: a brace block counts its members, a flat group record waits
    // for the members its count promised.
    struct Frame {
        bool block = false;
        std::int32_t remaining = 0;   // flat group: members still to come
        std::int64_t members = 0;     // block: members so far
        std::size_t countAt = 0;      // block: where its count field sits in the output
        int line = 0;
        int column = 0;
    };

    const Frame* innermostBlock() const { return blocks_.empty() ? nullptr : &frames_[blocks_.back()]; }

    void positionInto(LineParser& p, RecordOut& record, int modeAt, int offsetAt) {
        const auto [mode, offset] = p.position();
        record.data[static_cast<std::size_t>(modeAt)] = mode;
        PutI32(record.data, static_cast<std::size_t>(offsetAt), offset);
    }

    void entry(LineParser& p, RecordOut& record) {
        record.type = record_type::kHead;
        record.data.assign(layout::kHeadSize, 0);
        if (!p.nextIsKind(TokenKind::String)) p.fail("expected the virus name as a string, found " + p.found());
        const Token& name = p.take();
        if (name.text.size() > static_cast<std::size_t>(layout::kHeadNameEnd)) {
            p.failAt(name, "the name is " + std::to_string(name.text.size()) + " bytes long; at most " +
                               std::to_string(layout::kHeadNameEnd) + " fit");
        }
        if (name.text.find('\0') != std::string::npos) p.failAt(name, "the name cannot hold a zero byte");
        std::copy(name.text.begin(), name.text.end(), record.data.begin());
        if (p.accept("skip")) {
            record.data[layout::kHeadSkipFlag] = 1;
            if (p.nextIsKind(TokenKind::Word) && !p.nextIsWord("header")) {
                record.data[layout::kHeadSkipFlag] = p.u8("the skip flag");
            }
        }
    }

    void match(LineParser& p, RecordOut& record, bool search) {
        record.type = record_type::kMatch;
        record.data.assign(layout::kMatchSize, 0);
        positionInto(p, record, layout::kMatchMode, layout::kMatchOffset);
        p.expect("pattern");
        LineParser::FourBytes pattern = p.fourBytes("the pattern", true);
        std::uint8_t flag = search ? 1 : 0;
        bool maskGiven = false;
        bool flagGiven = false;
        for (;;) {
            if (!maskGiven && p.accept("mask")) {
                maskGiven = true;
                pattern.mask = p.fourBytes("the mask", false).bytes;
            } else if (search && !flagGiven && p.nextIsWord("flag")) {
                flagGiven = true;
                p.take();
                const int column = p.column();
                flag = p.u8("the search flag");
                if (flag == 0) place_.fail(column, "a search flag must not be 0 (0 makes a plain match)");
            } else {
                break;
            }
        }
        record.data[layout::kMatchSearch] = flag;
        std::copy(pattern.bytes.begin(), pattern.bytes.end(), record.data.begin() + layout::kMatchPattern);
        std::copy(pattern.mask.begin(), pattern.mask.end(), record.data.begin() + layout::kMatchMask);
    }

    void variable(LineParser& p, RecordOut& record) {
        record.type = record_type::kVariable;
        record.data.assign(layout::kVariableSize, 0);
        const std::int32_t id = p.nextIsVariable() ? p.variable() : p.i32("a variable id");
        PutI32(record.data, layout::kVariableId, id);
        std::uint8_t kind = 0;
        std::uint8_t width = 0;
        std::int32_t offset = 0;
        if (p.accept("value")) {
            const Token& w = p.word("a width ('s8', 'u16' or 's32')");
            if (w.text == "s8") {
                width = variable_width::kSigned8;
            } else if (w.text == "u16") {
                width = variable_width::kUnsigned16;
            } else if (w.text == "s32") {
                width = variable_width::kSigned32;
            } else {
                p.failAt(w, "expected a width ('s8', 'u16' or 's32'), found '" + w.text + "'");
            }
        } else if (p.accept("position")) {
            kind = variable_kind::kPosition;
            if (p.nextIsKind(TokenKind::Word) && !p.nextIsWord("captured") && !p.nextIsWord("header")) {
                offset = p.i32("an offset");
            }
        } else if (p.accept("kind")) {
            kind = p.u8("a kind byte");
            p.expect("width");
            width = p.u8("a width byte");
            if (p.accept("offset")) offset = p.i32("an offset");
        } else {
            p.fail("expected 'value', 'position' or 'kind', found " + p.found());
        }
        record.data[layout::kVariableKind] = kind;
        record.data[layout::kVariableWidth] = width;
        PutI32(record.data, layout::kVariableOffset, offset);
        if (p.accept("captured")) PutI32(record.data, layout::kVariableCaptured, p.i32("a captured value"));
    }

    std::size_t write(const RecordOut& record) {
        const std::int32_t length = record.length.value_or(static_cast<std::int32_t>(
            std::min<std::size_t>(record.data.size(), static_cast<std::size_t>(INT32_MAX))));
        if (!record.length && record.data.size() > static_cast<std::size_t>(INT32_MAX)) {
            place_.fail(1, "a record holds at most 2147483647 bytes of data");
        }
        const std::size_t start = out_.size();
        RecordHeader header = RecordHeader::Make(record.type, length);
        std::copy(record.unread.begin(), record.unread.end(), header.bytes.begin() + 1);
        out_.insert(out_.end(), header.bytes.begin(), header.bytes.end());
        out_.insert(out_.end(), record.data.begin(), record.data.end());
        return start;
    }

    // A record takes a member's place in the innermost open group.
    void takeMemberSlot(int column) {
        if (frames_.empty()) return;
        Frame& top = frames_.back();
        if (!top.block) {
            --top.remaining;
            return;
        }
        if (++top.members > INT32_MAX) place_.fail(column, "too many members in one group");
    }

    void dropFinishedGroups() {
        while (!frames_.empty() && !frames_.back().block && frames_.back().remaining == 0) frames_.pop_back();
    }

    void emit(const RecordOut& record, int column) {
        if (record.type == record_type::kHead) {
            // A head record always opens a new entry, so nothing may still be waiting for
            // members: a block would silently end where the entry does.
            if (const Frame* block = innermostBlock()) {
                place_.fail(column, "a head record cannot stand inside the 'any' block opened on line " +
                                        std::to_string(block->line));
            }
            frames_.clear();
            write(record);
            return;
        }
        write(record);
        takeMemberSlot(column);
        if (record.type == record_type::kGroup) {
            const std::int32_t count = DecodeGroup(record.data).count;
            if (count > 0) frames_.push_back(Frame{false, count, 0, 0, place_.line, column});
        }
        dropFinishedGroups();
    }

    void openBlock(const RecordOut& record, int keywordColumn, int braceColumn) {
        const std::size_t start = write(record);
        takeMemberSlot(keywordColumn);
        Frame frame;
        frame.block = true;
        frame.countAt = start + kRecordHeaderSize + layout::kGroupCount;
        frame.line = place_.line;
        frame.column = braceColumn;
        blocks_.push_back(frames_.size());
        frames_.push_back(frame);
    }

    void closeBlock(int column) {
        if (innermostBlock() == nullptr) place_.fail(column, "'}' without an open 'any' block");
        const Frame& top = frames_.back();
        if (!top.block) {
            place_.fail(column, "the group on line " + std::to_string(top.line) + " still expects " +
                                    std::to_string(top.remaining) + " more member" +
                                    (top.remaining == 1 ? "" : "s") + " before '}'");
        }
        const auto count = static_cast<std::int32_t>(top.members);
        for (std::size_t i = 0; i < 4; ++i) {
            out_[top.countAt + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(count) >> (8 * i));
        }
        frames_.pop_back();
        blocks_.pop_back();
        dropFinishedGroups();
    }

    std::string_view sourceName_;
    Place place_;
    Bytes out_;
    std::vector<Frame> frames_;
    std::vector<std::size_t> blocks_;  // where the open blocks stand in frames_, innermost last
};

}  // namespace

std::vector<std::uint8_t> AssembleSource(std::string_view text, std::string_view sourceName) {
    Assembler assembler(sourceName);
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (number < INT32_MAX) ++number;
        assembler.line(text.substr(start, end - start), number);
        start = end + 1;
    }
    return assembler.finish();
}

}  // namespace korvax
