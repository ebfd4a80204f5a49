#pragma once
// A four-byte window as one 32-bit word, byte i in bits 8i..8i+7, so that a masked test is
// one AND and one compare. Shared by the compiled plan, its pass and the search sweep.

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

namespace korvax {

// Four bytes at `p`, all of which must be readable.
inline std::uint32_t LoadWord(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

// The window at 0 <= p: four bytes, those past the end of `bytes` 0.
inline std::uint32_t WindowWordAt(std::span<const std::uint8_t> bytes, std::int64_t p) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (p + 4 <= size) return LoadWord(bytes.data() + p);
    std::uint32_t word = 0;
    for (std::int64_t i = 0; p + i < size; ++i) word |= static_cast<std::uint32_t>(bytes[static_cast<std::size_t>(p + i)]) << (8 * i);
    return word;
}

// A pattern's or mask's four bytes as a window word.
inline std::uint32_t PatternWord(const std::array<std::uint8_t, 4>& bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace korvax
