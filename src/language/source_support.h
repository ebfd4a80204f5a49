#pragma once
// Pieces shared by the assembler, the disassembler and the linter: how bytes are written
// inside a string literal, and which records are members of which group.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvax::source_support {

// Two uppercase hex digits.
std::string HexByte(std::uint8_t byte);

// `bytes` as a string literal of the signature language: printable ASCII as it stands,
// valid UTF-8 (a virus name in Cyrillic, say) kept as UTF-8, every other byte escaped.
// The result assembles back to exactly `bytes`, and contains no control characters, so it
// is also safe to print on a terminal.
std::string QuoteBytes(std::span<const std::uint8_t> bytes);

// Group membership as the interpreter sees it: a group record whose count N is above 0
// takes the next N records of its entry as members, and a member that is itself a group
// brings its own members along. Feed every record of an entry after its head, in order.
class GroupNesting {
public:
    struct OpenGroup {
        std::int64_t offset = 0;     // where the group record begins in the file
        std::int32_t remaining = 0;  // members still to come
    };

    // How many groups the next record belongs to (0: it stands at the entry's top level).
    std::size_t depth() const { return open_.size(); }
    const std::vector<OpenGroup>& open() const { return open_; }

    // Takes the record just placed at depth(); a group record opens a level.
    void add(std::uint8_t type, std::span<const std::uint8_t> data, std::int64_t offset);
    void reset() { open_.clear(); }

private:
    std::vector<OpenGroup> open_;
};

}  // namespace korvax::source_support
