#pragma once
// Positions, offsets and lengths are 32-bit signed values whose sums wrap around as
// two's-complement integers do. These helpers wrap without undefined behaviour.

#include <cstdint>

namespace korvax {

constexpr std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

constexpr std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace korvax
