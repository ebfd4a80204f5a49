#include "engine/search_sweep.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__)
#include <immintrin.h>
#define KORVAX_SWEEP_AVX2 1
#endif

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
// Every position probes the tables, so their size sets the sweep's pace: a table that
// fits the first-level cache costs a fraction of one fetched from the second. A hashed
// table gives each key two bits of one 32-bit word, has at least 64 bits per key (so about
// one position in a thousand passes by chance, and is looked up for nothing), 2^16 at
// least, and 2^22 bits (512 KiB) at most, which still fits the second-level cache.
constexpr int kMinTableBits = 16;
constexpr int kMaxThreeByteTableBits = 22;
constexpr std::size_t kBitsPerKey = 64;
// The three-byte keys of free-middle patterns the largest table has room for.
constexpr std::size_t kFreeMiddleKeys = (std::size_t{1} << kMaxThreeByteTableBits) / kBitsPerKey;
// Where a hashed key's two bits lie in its word: the top bits of a second product.
constexpr std::uint32_t kBitMultiplier = 0x2545F491u;

bool NeverMatches(const MaskedPattern& m) {
    for (std::size_t i = 0; i < 4; ++i) {
        if ((m.pattern[i] & ~m.mask[i]) != 0) return true;
    }
    return false;
}

// The two key shapes, from the window word at a position.
std::uint32_t ThreeBytes(std::uint32_t window) { return window & 0xFFFFFFu; }
std::uint32_t FirstAndLast(std::uint32_t window) { return (window & 0xFFu) | ((window >> 16) & 0xFF00u); }

// A pattern keyed on its first and last bytes also tells which high nibble one of its
// middle bytes must have: a bit of 16 for byte 2 (bits 0..15) or byte 1 (bits 16..31),
// or every bit where neither high nibble is exact. A window passes where its own two
// middle nibbles meet a bit of its key's word.
std::uint32_t MiddleClassOfPattern(const MaskedPattern& m) {
    if ((m.mask[2] & 0xF0) == 0xF0) return 1u << (m.pattern[2] >> 4);
    if ((m.mask[1] & 0xF0) == 0xF0) return 1u << (16 + (m.pattern[1] >> 4));
    return 0xFFFFFFFFu;
}

}  // namespace

SweepKernel BestSweepKernel() {
#ifdef KORVAX_SWEEP_AVX2
    static const SweepKernel best = __builtin_cpu_supports("avx2") ? SweepKernel::Avx2 : SweepKernel::Portable;
    return best;
#else
    return SweepKernel::Portable;
#endif
}

void SearchSweep::KeyIndex::SortIntoBuckets(std::vector<Keyed> keys) {
    keyed = std::move(keys);
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if ((a.key & 0xFFFF) != (b.key & 0xFFFF)) return (a.key & 0xFFFF) < (b.key & 0xFFFF);
        return a.key < b.key;
    });
    bucket.assign(65536 + 1, 0);
    for (const Keyed& k : keyed) ++bucket[(k.key & 0xFFFF) + 1];
    for (std::size_t b = 1; b < bucket.size(); ++b) bucket[b] += bucket[b - 1];
}

void SearchSweep::KeyIndex::BuildPairs(std::vector<Keyed> keys, std::span<const MaskedPattern> patterns) {
    SortIntoBuckets(std::move(keys));
    if (keyed.empty()) return;
    table.assign(std::size_t{1} << 16, 0);
    for (const Keyed& k : keyed) table[k.key] |= MiddleClassOfPattern(patterns[k.pattern]);
}

void SearchSweep::KeyIndex::Build(std::vector<Keyed> keys, int maxBits, int keyBits) {
    SortIntoBuckets(std::move(keys));
    if (keyed.empty()) return;
    int bits = std::min(kMinTableBits, maxBits);
    while (bits < maxBits && (std::size_t{1} << bits) < keyed.size() * kBitsPerKey) ++bits;
    auto fill = [&] {
        table.assign(std::size_t{1} << (bits - 5), 0);
        for (const Keyed& k : keyed) table[k.key * wordMultiplier >> wordShift] |= BitsOf(k.key);
    };
    if (bits >= keyBits) {
        // A bit for every key value: the table is exact.
        wordMultiplier = 1;
        wordShift = 5;
        bitMultiplier = 1u << 27;
        secondBitShift = 27;
        fill();
        return;
    }
    auto isKey = [&](std::uint32_t key) {
        for (std::uint32_t k = bucket[key & 0xFFFF]; k < bucket[(key & 0xFFFF) + 1]; ++k) {
            if (keyed[k].key == key) return true;
        }
        return false;
    };
    // A hashed table must not let the keys of long byte runs (zero padding, fill bytes),
    // which make up much of a program, pass with a pattern's key: each such run would be
    // looked up at every one of its positions. Of a few multipliers, the first that keeps
    // them apart is used.
    static constexpr std::uint32_t kMultipliers[] = {0x9E3779B1u, 0x85EBCA77u, 0xC2B2AE3Du, 0x27D4EB2Fu,
                                                     0x165667B1u, 0xD3A2646Cu, 0xFD7046C5u, 0xB55A4F09u};
    wordShift = 32 - (bits - 5);
    bitMultiplier = kBitMultiplier;
    secondBitShift = 22;
    for (const std::uint32_t candidate : kMultipliers) {
        wordMultiplier = candidate | 1u;
        fill();
        bool apart = true;
        for (std::uint32_t b = 0; b < 256 && apart; ++b) {
            const std::uint32_t run = b * 0x010101u;
            if (!isKey(run) && Holds(run)) apart = false;
        }
        if (apart) break;
    }
}

SearchSweep::SearchSweep(std::span<const MaskedPattern> patterns, SweepKernel kernel)
    : patterns_(patterns.begin(), patterns.end()),
      // A kernel the processor cannot run would stop the program at its first instruction.
      kernel_(kernel == SweepKernel::Avx2 && BestSweepKernel() == SweepKernel::Avx2 ? SweepKernel::Avx2
                                                                                    : SweepKernel::Portable) {
    std::vector<std::uint32_t> matchable;
    for (std::uint32_t i = 0; i < patterns_.size(); ++i) {
        if (!NeverMatches(patterns_[i])) matchable.push_back(i);  // the others are never found
    }
    if (matchable.size() <= kAloneUpTo) {
        alone_ = std::move(matchable);
        return;
    }
    // Patterns with a free middle byte: while few, their 256 three-byte keys each cost less
    // than a second probe at every position (measured on real programs: a larger table
    // probed once beats a small one probed twice); past that, a second, small table of
    // first and last bytes.
    std::size_t freeMiddle = 0;
    for (const std::uint32_t i : matchable) {
        const MaskedPattern& m = patterns_[i];
        freeMiddle += m.mask[0] == 0xFF && m.mask[3] == 0xFF && (m.mask[1] == 0 || m.mask[2] == 0);
    }
    const bool useFirstAndLast = freeMiddle * 256 > kFreeMiddleKeys;
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
    threeBytes_.Build(std::move(threeBytes), kMaxThreeByteTableBits, 24);
    firstAndLast_.BuildPairs(std::move(firstAndLast), patterns_);
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
void SearchSweep::SweepWhole(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                             std::span<std::uint8_t> found) const {
    const std::uint8_t* bytes = image.data();
    for (std::int64_t q = from; q < end; ++q) {
        const std::uint32_t window = LoadWord(bytes + q);
        if constexpr (kThree) {
            const std::uint32_t key = ThreeBytes(window);
            if (threeBytes_.Holds(key)) [[unlikely]] TestKey(threeBytes_, key, q, image, found);
        }
        if constexpr (kFirstAndLast) {
            if (firstAndLast_.HoldsPair(window)) [[unlikely]] TestKey(firstAndLast_, FirstAndLast(window), q, image, found);
        }
    }
}

#ifdef KORVAX_SWEEP_AVX2
namespace {

// Whether each of eight keys passes a table (see KeyIndex::Holds): bit i of the result for
// lane i.
__attribute__((target("avx2"))) inline unsigned KeysHeld(const std::vector<std::uint32_t>& table,
                                                         std::uint32_t wordMultiplier, int wordShift,
                                                         std::uint32_t bitMultiplier, int secondBitShift,
                                                         __m256i keys) {
    const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(keys, _mm256_set1_epi32(static_cast<int>(wordMultiplier))),
                                          _mm_cvtsi32_si128(wordShift));
    const __m256i bitHash = _mm256_mullo_epi32(keys, _mm256_set1_epi32(static_cast<int>(bitMultiplier)));
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i first = _mm256_sllv_epi32(one, _mm256_srli_epi32(bitHash, 27));
    const __m256i second = _mm256_sllv_epi32(
        one, _mm256_and_si256(_mm256_srl_epi32(bitHash, _mm_cvtsi32_si128(secondBitShift)), _mm256_set1_epi32(31)));
    const __m256i bits = _mm256_or_si256(first, second);
    const __m256i words = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table.data()), word, 4);
    const __m256i held = _mm256_cmpeq_epi32(_mm256_and_si256(words, bits), bits);
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(held)));
}

// Whether each of eight windows passes the first-and-last table (see MiddleClassOfPattern).
__attribute__((target("avx2"))) inline unsigned PairsHeld(const std::vector<std::uint32_t>& table, __m256i windows) {
    const __m256i nibble = _mm256_set1_epi32(15);
    const __m256i keys = _mm256_or_si256(_mm256_and_si256(windows, _mm256_set1_epi32(0xFF)),
                                         _mm256_and_si256(_mm256_srli_epi32(windows, 16), _mm256_set1_epi32(0xFF00)));
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i classes = _mm256_or_si256(
        _mm256_sllv_epi32(one, _mm256_and_si256(_mm256_srli_epi32(windows, 20), nibble)),
        _mm256_sllv_epi32(one, _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(windows, 12), nibble),
                                                _mm256_set1_epi32(16))));
    const __m256i words = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table.data()), keys, 4);
    const __m256i missed = _mm256_cmpeq_epi32(_mm256_and_si256(words, classes), _mm256_setzero_si256());
    return ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(missed))) & 0xFFu;
}

}  // namespace

template <bool kThree, bool kFirstAndLast>
__attribute__((target("avx2"))) std::int64_t SearchSweep::SweepWholeAvx2(std::span<const std::uint8_t> image,
                                                                          std::int64_t end,
                                                                          std::span<std::uint8_t> found) const {
    const std::uint8_t* bytes = image.data();
    const auto size = static_cast<std::int64_t>(image.size());
    // Lane i of the shuffled sixteen bytes is the window at position i.
    const __m256i lanes = _mm256_setr_epi8(0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 3, 4, 5, 6,  //
                                           4, 5, 6, 7, 5, 6, 7, 8, 6, 7, 8, 9, 7, 8, 9, 10);
    const KeyIndex& three = threeBytes_;
    const KeyIndex& pair = firstAndLast_;
    std::int64_t q = 0;
    for (; q + 8 <= end && q + 16 <= size; q += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + q));
        const __m256i windows = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(chunk), lanes);
        unsigned threeHits = 0;
        unsigned pairHits = 0;
        if constexpr (kThree) {
            const __m256i keys = _mm256_and_si256(windows, _mm256_set1_epi32(0xFFFFFF));
            threeHits = KeysHeld(three.table, three.wordMultiplier, three.wordShift, three.bitMultiplier,
                                 three.secondBitShift, keys);
        }
        if constexpr (kFirstAndLast) pairHits = PairsHeld(pair.table, windows);
        for (; threeHits != 0; threeHits &= threeHits - 1) {
            const std::int64_t at = q + std::countr_zero(threeHits);
            TestKey(three, ThreeBytes(LoadWord(bytes + at)), at, image, found);
        }
        for (; pairHits != 0; pairHits &= pairHits - 1) {
            const std::int64_t at = q + std::countr_zero(pairHits);
            TestKey(pair, FirstAndLast(LoadWord(bytes + at)), at, image, found);
        }
    }
    return q;
}
#endif

template <bool kThree, bool kFirstAndLast>
void SearchSweep::SweepAll(std::span<const std::uint8_t> image, std::int64_t end, std::span<std::uint8_t> found) const {
    std::int64_t from = 0;
#ifdef KORVAX_SWEEP_AVX2
    if (kernel_ == SweepKernel::Avx2) from = SweepWholeAvx2<kThree, kFirstAndLast>(image, end, found);
#endif
    SweepWhole<kThree, kFirstAndLast>(image, from, end, found);
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
    if (three && firstAndLast) SweepAll<true, true>(image, wholeEnd, found);
    else if (three) SweepAll<true, false>(image, wholeEnd, found);
    else if (firstAndLast) SweepAll<false, true>(image, wholeEnd, found);
    else return;
    // The last windows run past the end, where they read 0; the three-byte key at `size`
    // itself belongs to a window at size - 1 anchored one byte in.
    for (std::int64_t q = wholeEnd; q <= size; ++q) {
        const std::uint32_t window = q < size ? WindowWordAt(image, q) : 0;
        const std::uint32_t key = ThreeBytes(window);
        if (three && threeBytes_.Holds(key)) TestKey(threeBytes_, key, q, image, found);
        const std::uint32_t pair = FirstAndLast(window);
        if (firstAndLast && q < size && firstAndLast_.HoldsPair(window)) TestKey(firstAndLast_, pair, q, image, found);
    }
}

}  // namespace korvax
