#pragma once
// The masked four-byte test and the forward search built on it.
//
// A window is the four bytes read at a position; bytes the image does not have (past its
// end, or any position below 0, where a read copies nothing) are 0. The test holds when
// (byte[i] & mask[i]) == pattern[i] for all four bytes.

#include <array>
#include <cstdint>
#include <span>

namespace korvax {

struct MaskedPattern {
    std::array<std::uint8_t, 4> pattern{};
    std::array<std::uint8_t, 4> mask{};

    bool test(const std::uint8_t window[4]) const {
        for (int i = 0; i < 4; ++i) {
            if ((window[i] & mask[static_cast<std::size_t>(i)]) != pattern[static_cast<std::size_t>(i)]) return false;
        }
        return true;
    }
};

struct SearchOutcome {
    bool found = false;
    std::int32_t position = 0;  // where the stream stands afterwards
};

// Searches `image` from position `start` for a window that passes the test: tries every
// position p from `start` while p is below the image size. Found at p: the stream stands at
// p + 1. Not found: at the image size, or at `start` when it was already at or past the
// end. The result is exactly that of trying each position in turn; it is only faster.
SearchOutcome SearchForward(std::span<const std::uint8_t> image, std::int32_t start, const MaskedPattern& pattern);

}  // namespace korvax
