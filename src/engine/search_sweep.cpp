#include "engine/search_sweep.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvax {
namespace {

// Below this many keyed patterns, searching for each on its own (memchr on an exact byte)
// is cheaper than one pass through the key table.
constexpr std::size_t kKeyedAtLeast = 6;
// A key may stand for at most 2^8 three-byte values (one free byte or two free nibbles).
constexpr int kMaxFreeKeyBits = 8;
constexpr std::uint32_t kKeyBits = 24;

std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::uint32_t AsWord(const std::array<std::uint8_t, 4>& bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The window at p (0 <= p < size): four bytes, those past the end 0, little-endian.
std::uint32_t WindowAt(std::span<const std::uint8_t> image, std::int64_t p) {
    const auto size = static_cast<std::int64_t>(image.size());
    if (p + 4 <= size) return Load32(image.data() + p);
    std::uint32_t w = 0;
    for (std::int64_t i = 0; p + i < size; ++i) w |= static_cast<std::uint32_t>(image[static_cast<std::size_t>(p + i)]) << (8 * i);
    return w;
}

bool NeverMatches(const MaskedPattern& m) {
    for (std::size_t i = 0; i < 4; ++i) {
        if ((m.pattern[i] & ~m.mask[i]) != 0) return true;
    }
    return false;
}

}  // namespace

SearchSweep::SearchSweep(std::span<const MaskedPattern> patterns) : patterns_(patterns.begin(), patterns.end()) {
    std::vector<Keyed> keyed;
    for (std::uint32_t i = 0; i < patterns_.size(); ++i) {
        const MaskedPattern& m = patterns_[i];
        if (NeverMatches(m)) continue;  // found stays false
        const std::uint32_t mask = AsWord(m.mask);
        const std::uint32_t pattern = AsWord(m.pattern);
        // The anchor whose three bytes leave the fewest bits free.
        int bestAnchor = 0;
        int bestFree = 32;
        for (int anchor = 0; anchor <= 1; ++anchor) {
            const std::uint32_t keyMask = (mask >> (8 * anchor)) & 0xFFFFFFu;
            const int free = std::popcount(~keyMask & 0xFFFFFFu);
            if (free < bestFree) {
                bestFree = free;
                bestAnchor = anchor;
            }
        }
        if (bestFree > kMaxFreeKeyBits) {
            alone_.push_back(i);
            continue;
        }
        const std::uint32_t keyMask = (mask >> (8 * bestAnchor)) & 0xFFFFFFu;
        const std::uint32_t keyPattern = (pattern >> (8 * bestAnchor)) & 0xFFFFFFu;
        const std::uint32_t freeBits = ~keyMask & 0xFFFFFFu;
        // Every value of the free bits: the submasks of freeBits.
        std::uint32_t sub = 0;
        do {
            keyed.push_back({keyPattern | sub, i, static_cast<std::uint8_t>(bestAnchor)});
            sub = (sub - freeBits) & freeBits;
        } while (sub != 0);
    }

    if (keyed.size() < kKeyedAtLeast) {
        for (const Keyed& k : keyed) {
            if (alone_.empty() || alone_.back() != k.pattern) alone_.push_back(k.pattern);
        }
        std::sort(alone_.begin(), alone_.end());
        alone_.erase(std::unique(alone_.begin(), alone_.end()), alone_.end());
        return;
    }

    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if ((a.key & 0xFFFF) != (b.key & 0xFFFF)) return (a.key & 0xFFFF) < (b.key & 0xFFFF);
        return a.key < b.key;
    });
    keyed_ = std::move(keyed);
    keyTable_.assign((std::size_t{1} << kKeyBits) / 64, 0);
    bucket_.assign(65536 + 1, 0);
    for (const Keyed& k : keyed_) {
        keyTable_[k.key >> 6] |= std::uint64_t{1} << (k.key & 63);
        ++bucket_[(k.key & 0xFFFF) + 1];
    }
    for (std::size_t b = 1; b < bucket_.size(); ++b) bucket_[b] += bucket_[b - 1];
}

void SearchSweep::TestKey(std::uint32_t key, std::int64_t keyAt, std::span<const std::uint8_t> image,
                          std::span<std::uint8_t> found) const {
    const auto size = static_cast<std::int64_t>(image.size());
    const std::uint32_t low = key & 0xFFFF;
    for (std::uint32_t k = bucket_[low]; k < bucket_[low + 1]; ++k) {
        const Keyed& entry = keyed_[k];
        if (entry.key != key || found[entry.pattern] != 0) continue;
        const std::int64_t p = keyAt - entry.anchor;
        if (p < 0 || p >= size) continue;
        const MaskedPattern& m = patterns_[entry.pattern];
        if ((WindowAt(image, p) & AsWord(m.mask)) == AsWord(m.pattern)) found[entry.pattern] = 1;
    }
}

void SearchSweep::SweepKeys(const std::uint8_t* bytes, std::int64_t from, std::int64_t to,
                            std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const {
    const std::uint64_t* table = keyTable_.data();
    for (std::int64_t q = from; q < to; ++q) {
        const std::uint32_t key = Load32(bytes + q) & 0xFFFFFFu;
        if ((table[key >> 6] >> (key & 63) & 1) != 0) [[unlikely]] {
            TestKey(key, q, image, found);
        }
    }
}

void SearchSweep::Sweep(std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const {
    std::fill(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(patterns_.size()), std::uint8_t{0});
    for (const std::uint32_t i : alone_) found[i] = SearchForward(image, 0, patterns_[i]).found ? 1 : 0;
    if (keyed_.empty() || image.empty()) return;

    const auto size = static_cast<std::int64_t>(image.size());
    // Keys read whole from the image: every position with four bytes after it.
    const std::int64_t wholeEnd = size >= 4 ? size - 3 : 0;
    SweepKeys(image.data(), 0, wholeEnd, image, found);
    // The last keys run past the end, where the window reads 0; the key at `size` itself
    // belongs to a window at size - 1 anchored one byte in.
    for (std::int64_t q = wholeEnd; q <= size; ++q) {
        std::uint32_t key = 0;
        for (std::int64_t i = 0; i < 3 && q + i < size; ++i) key |= static_cast<std::uint32_t>(image[static_cast<std::size_t>(q + i)]) << (8 * i);
        if ((keyTable_[key >> 6] >> (key & 63) & 1) != 0) TestKey(key, q, image, found);
    }
}

}  // namespace korvax
