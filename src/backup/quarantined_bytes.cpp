#include "backup/quarantined_bytes.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace korvax {
namespace {

// Text at the start, so that a user who opens a kept file sees what it is.
constexpr std::string_view kHeader = "KORVAX QUARANTINE 1: an infected original, kept transformed; restore it with Korvax\n";

// Any fixed key does: the point is that no byte run of the original stands in the file.
// Its length is odd and its bytes all differ, so that no short pattern of the original
// comes out the same in two places.
constexpr std::array<std::uint8_t, 31> kKey = {0x5B, 0xC1, 0x2E, 0x97, 0x08, 0xF3, 0x6A, 0xD4, 0x31, 0x8C, 0x75,
                                              0xEE, 0x13, 0xA9, 0x40, 0xB6, 0x1F, 0x62, 0xDB, 0x87, 0x3C, 0xF0,
                                              0x25, 0x99, 0x4E, 0xC8, 0x07, 0x71, 0xAD, 0x56, 0xE2};

void Mix(std::span<const std::uint8_t> from, std::uint8_t* to) {
    for (std::size_t i = 0; i < from.size(); ++i) to[i] = static_cast<std::uint8_t>(from[i] ^ kKey[i % kKey.size()]);
}

}  // namespace

std::vector<std::uint8_t> Quarantined(std::span<const std::uint8_t> original) {
    std::vector<std::uint8_t> kept(kHeader.size() + original.size());
    std::copy(kHeader.begin(), kHeader.end(), kept.begin());
    Mix(original, kept.data() + kHeader.size());
    return kept;
}

std::vector<std::uint8_t> Released(std::span<const std::uint8_t> kept) {
    const bool transformed =
        kept.size() >= kHeader.size() && std::equal(kHeader.begin(), kHeader.end(), kept.begin());
    if (!transformed) return std::vector<std::uint8_t>(kept.begin(), kept.end());
    std::vector<std::uint8_t> original(kept.size() - kHeader.size());
    Mix(kept.subspan(kHeader.size()), original.data());
    return original;
}

}  // namespace korvax
