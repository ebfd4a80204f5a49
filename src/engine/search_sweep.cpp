#include "engine/search_sweep.h"

#include <algorithm>
#include <bit>

#include "engine/window_word.h"

namespace korvax {
namespace {

// Up to this many patterns, searching for each on its own (memchr on an exact byte) costs
// less than one pass through the key tables.
constexpr std::size_t kAloneUpTo = 8;
// A three-byte key may stand for 16 values (a free nibble) before a pattern whose first
// and last bytes are exact is keyed on those two instead, and for 256 at most.
constexpr int kFewFreeKeyBits = 4;
constexpr int kMaxFreeKeyBits = 8;
// 2^22 bits (512 KiB): the three-byte table stays in the second-level cache, and few
// positions hit a bit by chance.
constexpr int kThreeByteTableBits = 22;

bool NeverMatches(const MaskedPattern& m) {
    for (std::size_t i = 0; i < 4; ++i) {
        if ((m.pattern[i] & ~m.mask[i]) != 0) return true;
    }
    return false;
}

// The two key shapes, from the window word at a position.
std::uint32_t ThreeBytes(std::uint32_t window) { return window & 0xFFFFFFu; }
std::uint32_t FirstAndLast(std::uint32_t window) { return (window & 0xFFu) | ((window >> 16) & 0xFF00u); }

}  // namespace

std::uint32_t SearchSweep::KeyIndex::Slot(std::uint32_t key) const {
    return shift == 0 ? key : (key * multiplier) >> shift;
}

void SearchSweep::KeyIndex::Build(std::vector<Keyed> keys, int bits, int keyBits) {
    keyed = std::move(keys);
    if (keyed.empty()) return;
    shift = bits >= keyBits ? 0 : 32 - bits;
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if ((a.key & 0xFFFF) != (b.key & 0xFFFF)) return (a.key & 0xFFFF) < (b.key & 0xFFFF);
        return a.key < b.key;
    });
    bucket.assign(65536 + 1, 0);
    for (const Keyed& k : keyed) ++bucket[(k.key & 0xFFFF) + 1];
    for (std::size_t b = 1; b < bucket.size(); ++b) bucket[b] += bucket[b - 1];
    auto isKey = [&](std::uint32_t key) {
        for (std::uint32_t k = bucket[key & 0xFFFF]; k < bucket[(key & 0xFFFF) + 1]; ++k) {
            if (keyed[k].key == key) return true;
        }
        return false;
    };
    // A hashed table must not let the keys of long byte runs (zero padding, fill bytes),
    // which make up much of a program, share a bit with a pattern's key: each such run
    // would be looked up at every one of its positions. Of a few multipliers, the first
    // that keeps them apart is used.
    static constexpr std::uint32_t kMultipliers[] = {0x9E3779B1u, 0x85EBCA77u, 0xC2B2AE3Du, 0x27D4EB2Fu,
                                                     0x165667B1u, 0xD3A2646Cu, 0xFD7046C5u, 0xB55A4F09u};
    for (const std::uint32_t candidate : kMultipliers) {
        multiplier = candidate | 1u;
        table.assign((std::size_t{1} << bits) / 64, 0);
        for (const Keyed& k : keyed) table[Slot(k.key) >> 6] |= std::uint64_t{1} << (Slot(k.key) & 63);
        if (shift == 0) break;
        bool apart = true;
        for (std::uint32_t b = 0; b < 256 && apart; ++b) {
            const std::uint32_t run = b * 0x010101u;
            const std::uint32_t slot = Slot(run);
            if (!isKey(run) && (table[slot >> 6] >> (slot & 63) & 1) != 0) apart = false;
        }
        if (apart) break;
    }
}

SearchSweep::SearchSweep(std::span<const MaskedPattern> patterns) : patterns_(patterns.begin(), patterns.end()) {
    std::vector<std::uint32_t> matchable;
    for (std::uint32_t i = 0; i < patterns_.size(); ++i) {
        if (!NeverMatches(patterns_[i])) matchable.push_back(i);  // the others are never found
    }
    if (matchable.size() <= kAloneUpTo) {
        alone_ = std::move(matchable);
        return;
    }
    // Patterns with a free middle byte: while few, their 256 three-byte keys each cost less
    // than a second probe at every position.
    std::size_t freeMiddle = 0;
    for (const std::uint32_t i : matchable) {
        const MaskedPattern& m = patterns_[i];
        freeMiddle += m.mask[0] == 0xFF && m.mask[3] == 0xFF && (m.mask[1] == 0 || m.mask[2] == 0);
    }
    const bool useFirstAndLast = freeMiddle * 256 > (std::size_t{1} << kThreeByteTableBits) / 64;
    std::vector<Keyed> threeBytes;
    std::vector<Keyed> firstAndLast;
    for (const std::uint32_t i : matchable) {
        const MaskedPattern& m = patterns_[i];
        const std::uint32_t mask = PatternWord(m.mask);
        const std::uint32_t pattern = PatternWord(m.pattern);
        // The anchor whose three bytes leave the fewest bits free.
        int anchor = 0;
        int free = 32;
        for (int a = 0; a <= 1; ++a) {
            const int f = std::popcount(~(mask >> (8 * a)) & 0xFFFFFFu);
            if (f < free) {
                free = f;
                anchor = a;
            }
        }
        if (free > kFewFreeKeyBits && m.mask[0] == 0xFF && m.mask[3] == 0xFF && useFirstAndLast) {
            firstAndLast.push_back({FirstAndLast(pattern), i, 0});
            continue;
        }
        if (free > kMaxFreeKeyBits) {
            alone_.push_back(i);
            continue;
        }
        const std::uint32_t keyMask = (mask >> (8 * anchor)) & 0xFFFFFFu;
        const std::uint32_t keyPattern = (pattern >> (8 * anchor)) & 0xFFFFFFu;
        const std::uint32_t freeBits = ~keyMask & 0xFFFFFFu;
        std::uint32_t sub = 0;  // every value of the free bits: the submasks of freeBits
        do {
            threeBytes.push_back({keyPattern | sub, i, static_cast<std::uint8_t>(anchor)});
            sub = (sub - freeBits) & freeBits;
        } while (sub != 0);
    }
    threeBytes_.Build(std::move(threeBytes), kThreeByteTableBits, 24);
    firstAndLast_.Build(std::move(firstAndLast), 16, 16);
}

void SearchSweep::TestKey(const KeyIndex& index, std::uint32_t key, std::int64_t keyAt,
                          std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const {
    const auto size = static_cast<std::int64_t>(image.size());
    const std::uint32_t low = key & 0xFFFF;
    for (std::uint32_t k = index.bucket[low]; k < index.bucket[low + 1]; ++k) {
        const Keyed& entry = index.keyed[k];
        if (entry.key != key || found[entry.pattern] != 0) continue;
        const std::int64_t p = keyAt - entry.anchor;
        if (p < 0 || p >= size) continue;
        const MaskedPattern& m = patterns_[entry.pattern];
        if ((WindowWordAt(image, p) & PatternWord(m.mask)) == PatternWord(m.pattern)) found[entry.pattern] = 1;
    }
}

template <bool kThree, bool kFirstAndLast>
void SearchSweep::SweepWhole(std::span<const std::uint8_t> image, std::int64_t end, std::span<std::uint8_t> found) const {
    const std::uint8_t* bytes = image.data();
    const std::uint64_t* three = threeBytes_.table.data();
    const std::uint64_t* firstLast = firstAndLast_.table.data();
    const std::uint32_t multiplier = threeBytes_.multiplier;
    const int shift = threeBytes_.shift;
    for (std::int64_t q = 0; q < end; ++q) {
        const std::uint32_t window = LoadWord(bytes + q);
        if constexpr (kThree) {
            const std::uint32_t key = ThreeBytes(window);
            const std::uint32_t slot = (key * multiplier) >> shift;
            if ((three[slot >> 6] >> (slot & 63) & 1) != 0) [[unlikely]] TestKey(threeBytes_, key, q, image, found);
        }
        if constexpr (kFirstAndLast) {
            const std::uint32_t key = FirstAndLast(window);
            if ((firstLast[key >> 6] >> (key & 63) & 1) != 0) [[unlikely]] TestKey(firstAndLast_, key, q, image, found);
        }
    }
}

void SearchSweep::Sweep(std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const {
    std::fill(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(patterns_.size()), std::uint8_t{0});
    for (const std::uint32_t i : alone_) found[i] = SearchForward(image, 0, patterns_[i]).found ? 1 : 0;
    if (image.empty()) return;

    const auto size = static_cast<std::int64_t>(image.size());
    // Windows read whole from the image: every position with four bytes after it.
    const std::int64_t wholeEnd = size >= 4 ? size - 3 : 0;
    const bool three = !threeBytes_.keyed.empty();
    const bool firstAndLast = !firstAndLast_.keyed.empty();
    if (three && firstAndLast) SweepWhole<true, true>(image, wholeEnd, found);
    else if (three) SweepWhole<true, false>(image, wholeEnd, found);
    else if (firstAndLast) SweepWhole<false, true>(image, wholeEnd, found);
    else return;
    // The last windows run past the end, where they read 0; the three-byte key at `size`
    // itself belongs to a window at size - 1 anchored one byte in.
    for (std::int64_t q = wholeEnd; q <= size; ++q) {
        const std::uint32_t window = q < size ? WindowWordAt(image, q) : 0;
        const std::uint32_t key = ThreeBytes(window);
        const std::uint32_t slot = threeBytes_.Slot(key);
        if (three && (threeBytes_.table[slot >> 6] >> (slot & 63) & 1) != 0) TestKey(threeBytes_, key, q, image, found);
        const std::uint32_t pair = FirstAndLast(window);
        if (firstAndLast && q < size && (firstAndLast_.table[pair >> 6] >> (pair & 63) & 1) != 0) {
            TestKey(firstAndLast_, pair, q, image, found);
        }
    }
}

}  // namespace korvax
