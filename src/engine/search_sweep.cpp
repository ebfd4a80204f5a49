#include "engine/search_sweep.h"

#include <algorithm>
#include <array>
#include <bit>

// The kernel needs AVX2 only, which 32-bit code may use too (the i686 Windows build).
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KORVAX_SWEEP_AVX2 1
#endif

#include "engine/window_word.h"

namespace korvax {
namespace {

// Up to this many patterns, searching for each on its own (the candidates for an exact byte
// found 16 bytes at a time, engine/pattern_search.cpp) costs less than one pass through the
// table.
constexpr std::size_t kAloneUpTo = 8;
// A core may stand for 256 values at most (a free byte); a pattern with no better core is
// searched for on its own.
constexpr int kMaxFreeCoreBits = 8;
constexpr std::size_t kCoreValues = 1u << 16;
// Where the four bytes around a core lie, from the core's first byte.
constexpr std::array<int, 4> kAround{-2, -1, 2, 3};
constexpr std::uint32_t kAllClasses = 0xFF;

bool NeverMatches(const MaskedPattern& m) {
    for (std::size_t i = 0; i < 4; ++i) {
        if ((m.pattern[i] & ~m.mask[i]) != 0) return true;
    }
    return false;
}

// A byte's class is its top two bits and bit 3, one from each nibble, so that a byte with
// only one nibble exact still has few classes (two or four of eight).
constexpr std::uint32_t kClassBits = 0xC8;
std::uint32_t ClassOf(std::uint32_t b) { return (b >> 6) << 1 | ((b >> 3) & 1); }
std::uint32_t ClassBit(std::uint8_t b) { return 1u << ClassOf(b); }

// The classes a byte of the pattern's window may have, where `offset` lies in the window;
// every class where it does not.
std::uint32_t ClassesAt(const MaskedPattern& m, int offset) {
    if (offset < 0 || offset > 3) return kAllClasses;
    const auto i = static_cast<std::size_t>(offset);
    std::uint32_t classes = 0;
    const std::uint32_t known = m.mask[i] & kClassBits;
    for (std::uint32_t c = 0; c < 8; ++c) {
        const std::uint32_t bits = (c >> 1) << 6 | (c & 1) << 3;  // the bits of class c
        if ((bits & known) == (m.pattern[i] & known)) classes |= 1u << c;
    }
    return classes;
}

// The word a pattern with its core at `core` adds to its core values.
std::uint32_t AroundWord(const MaskedPattern& m, int core) {
    std::uint32_t word = 0;
    for (std::size_t j = 0; j < kAround.size(); ++j) word |= ClassesAt(m, core + kAround[j]) << (8 * j);
    return word;
}

// Whether a word tested against the classes of the four bytes around a position lets it
// pass: every one of its bytes has a class of its own byte.
bool Passes(std::uint32_t word, std::uint32_t classes) {
    const std::uint32_t both = word & classes;
    return ((both - 0x01010101u) & ~both & 0x80808080u) == 0;  // no byte is zero
}

std::uint32_t ClassesAround(std::uint8_t beforeTwo, std::uint8_t beforeOne, std::uint8_t afterOne,
                            std::uint8_t afterTwo) {
    return ClassBit(beforeTwo) | ClassBit(beforeOne) << 8 | ClassBit(afterOne) << 16 | ClassBit(afterTwo) << 24;
}

// The value of a pattern's core at window offset k, with its free bits clear, and those bits.
std::uint32_t CoreValue(const MaskedPattern& m, std::size_t k) {
    return m.pattern[k] | static_cast<std::uint32_t>(m.pattern[k + 1]) << 8;
}
std::uint32_t CoreFreeBits(const MaskedPattern& m, std::size_t k) {
    return ~(m.mask[k] | static_cast<std::uint32_t>(m.mask[k + 1]) << 8) & 0xFFFFu;
}

// How often a word lets a position pass, taking every class as equally common: the product
// of the classes it allows for each of the four bytes (0 for a core no pattern has).
int PassWeight(std::uint32_t word) {
    if (word == 0) return 0;
    int weight = 1;
    for (int j = 0; j < 4; ++j) weight *= std::popcount((word >> (8 * j)) & 0xFFu);
    return weight;
}

// Of the cores with the fewest free bits, the one that adds least to how often the words
// of its values let a position pass (so that patterns spread over the table rather than
// pile onto one core value), then one that is not a run or made of 0x00 or 0xFF (bytes that
// fill much of a program), then the middle one. -1: no core has few enough free bits.
int ChooseCore(const MaskedPattern& m, std::span<const std::uint32_t> words) {
    int fewest = kMaxFreeCoreBits;
    for (std::size_t k = 0; k <= 2; ++k) fewest = std::min(fewest, std::popcount(CoreFreeBits(m, k)));
    int best = -1;
    std::array<long, 3> bestCost{};
    for (int core = 0; core <= 2; ++core) {
        const auto k = static_cast<std::size_t>(core);
        const std::uint32_t value = CoreValue(m, k);
        const std::uint32_t freeBits = CoreFreeBits(m, k);
        const int free = std::popcount(freeBits);
        if (free > fewest) continue;  // only the cores with the fewest free bits are weighed
        const std::uint32_t around = AroundWord(m, core);
        long added = 0;
        std::uint32_t sub = 0;  // every value of the free bits
        do {
            const std::uint32_t word = words[value | sub];
            added += PassWeight(word | around) - PassWeight(word);
            sub = (sub - freeBits) & freeBits;
        } while (sub != 0);
        auto filler = [](std::uint8_t b) { return b == 0x00 || b == 0xFF ? 1 : 0; };
        const int common = (m.pattern[k] == m.pattern[k + 1] ? 4 : 0) + filler(m.pattern[k]) + filler(m.pattern[k + 1]);
        const std::array<long, 3> cost{free, added, common * 2 + (core != 1 ? 1 : 0)};
        if (best < 0 || cost < bestCost) {
            best = core;
            bestCost = cost;
        }
    }
    return best;
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
    struct Keyed {
        std::uint32_t value;
        Cored cored;
    };
    std::vector<Keyed> keyed;
    // Each pattern's core is chosen knowing where the patterns before it went.
    words_.assign(kCoreValues, 0);
    start_.assign(kCoreValues + 1, 0);
    for (const std::uint32_t i : matchable) {
        const MaskedPattern& m = patterns_[i];
        const int core = ChooseCore(m, words_);
        if (core < 0) {
            alone_.push_back(i);
            continue;
        }
        const auto k = static_cast<std::size_t>(core);
        const std::uint32_t value = CoreValue(m, k);
        const std::uint32_t freeBits = CoreFreeBits(m, k);
        const std::uint32_t around = AroundWord(m, core);
        std::uint32_t sub = 0;  // every value of the free bits: the submasks of freeBits
        do {
            keyed.push_back({value | sub, {PatternWord(m.mask), PatternWord(m.pattern), i, static_cast<std::uint32_t>(core)}});
            words_[value | sub] |= around;
            ++start_[(value | sub) + 1];
            sub = (sub - freeBits) & freeBits;
        } while (sub != 0);
    }
    if (keyed.empty()) {
        words_.clear();
        start_.clear();
        return;
    }
    for (std::size_t v = 1; v < start_.size(); ++v) start_[v] += start_[v - 1];
    cored_.resize(keyed.size());
    std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
    for (const Keyed& k : keyed) cored_[next[k.value]++] = k.cored;
}

void SearchSweep::TestCore(std::uint32_t core, std::int64_t at, std::span<const std::uint8_t> image,
                           std::span<std::uint8_t> found) const {
    const auto size = static_cast<std::int64_t>(image.size());
    for (std::uint32_t k = start_[core]; k < start_[core + 1]; ++k) {
        const Cored& entry = cored_[k];
        if (found[entry.pattern] != 0) continue;
        const std::int64_t p = at - entry.core;
        if (p < 0 || p >= size) continue;
        if ((WindowWordAt(image, p) & entry.mask) == entry.bytes) found[entry.pattern] = 1;
    }
}

void SearchSweep::SweepInside(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                              std::span<std::uint8_t> found) const {
    const std::uint8_t* bytes = image.data();
    for (std::int64_t c = from; c < end; ++c) {
        const std::uint32_t core = bytes[c] | static_cast<std::uint32_t>(bytes[c + 1]) << 8;
        const std::uint32_t word = words_[core];
        if (word == 0) continue;
        if (Passes(word, ClassesAround(bytes[c - 2], bytes[c - 1], bytes[c + 2], bytes[c + 3]))) [[unlikely]] {
            TestCore(core, c, image, found);
        }
    }
}

void SearchSweep::SweepEdge(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                            std::span<std::uint8_t> found) const {
    const auto size = static_cast<std::int64_t>(image.size());
    // Bytes past the end read as 0, as a window does there; bytes below 0 belong to no
    // window a search tries, so any value will do.
    auto at = [&](std::int64_t i) -> std::uint8_t { return i >= 0 && i < size ? image[static_cast<std::size_t>(i)] : 0; };
    for (std::int64_t c = from; c < end; ++c) {
        const std::uint32_t core = at(c) | static_cast<std::uint32_t>(at(c + 1)) << 8;
        if (Passes(words_[core], ClassesAround(at(c - 2), at(c - 1), at(c + 2), at(c + 3)))) TestCore(core, c, image, found);
    }
}

#ifdef KORVAX_SWEEP_AVX2
__attribute__((target("avx2"))) std::int64_t SearchSweep::SweepInsideAvx2(std::span<const std::uint8_t> image,
                                                                           std::span<std::uint8_t> found) const {
    const std::uint8_t* bytes = image.data();
    const auto size = static_cast<std::int64_t>(image.size());
    // Sixteen bytes from two before the first of eight positions; lane i takes its core
    // (bytes i + 2 and i + 3 of them) and the four bytes around it (i, i + 1, i + 4, i + 5).
    constexpr char kNone = static_cast<char>(0x80);  // a shuffle writes 0 there
    const __m256i coreLanes = _mm256_setr_epi8(2, 3, kNone, kNone, 3, 4, kNone, kNone, 4, 5, kNone, kNone, 5, 6, kNone,
                                               kNone, 6, 7, kNone, kNone, 7, 8, kNone, kNone, 8, 9, kNone, kNone, 9, 10,
                                               kNone, kNone);
    const __m256i aroundLanes = _mm256_setr_epi8(0, 1, 4, 5, 1, 2, 5, 6, 2, 3, 6, 7, 3, 4, 7, 8,  //
                                                 4, 5, 8, 9, 5, 6, 9, 10, 6, 7, 10, 11, 7, 8, 11, 12);
    // ClassBit in two steps: the top two bits (the high nibble's) pick one of four even
    // classes, 1 << 2 * (nibble >> 2); bit 3 moves it to the odd class above.
    const __m256i evenClassOfNibble = _mm256_setr_epi8(1, 1, 1, 1, 4, 4, 4, 4, 16, 16, 16, 16, 64, 64, 64, 64,  //
                                                       1, 1, 1, 1, 4, 4, 4, 4, 16, 16, 16, 16, 64, 64, 64, 64);
    const __m256i lowNibble = _mm256_set1_epi8(0x0F);
    const __m256i bitThree = _mm256_set1_epi8(0x08);
    const __m256i zero = _mm256_setzero_si256();
    const int* words = reinterpret_cast<const int*>(words_.data());
    // The gathers run through a stretch of positions without a branch on their outcome
    // (a chance pass is not predictable, and each misprediction would throw away the
    // gathers queued behind it); the positions that passed are tested after the stretch.
    constexpr std::int64_t kGroup = 64;      // positions whose outcomes share one mask word
    constexpr std::size_t kStretch = 64;     // mask words per stretch
    std::array<std::uint64_t, kStretch> passing{};
    std::int64_t c = 2;
    while (c + kGroup + 6 <= size) {
        const std::int64_t stretchStart = c;
        std::size_t groups = 0;
        for (; groups < kStretch && c + kGroup + 6 <= size; ++groups, c += kGroup) {
            std::uint64_t lanes = 0;
            for (int eight = 0; eight < kGroup / 8; ++eight) {
                const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + c + 8 * eight - 2));
                const __m256i both = _mm256_broadcastsi128_si256(chunk);
                const __m256i cores = _mm256_shuffle_epi8(both, coreLanes);
                const __m256i even =
                    _mm256_shuffle_epi8(evenClassOfNibble, _mm256_and_si256(_mm256_srli_epi16(both, 4), lowNibble));
                const __m256i odd = _mm256_cmpeq_epi8(_mm256_and_si256(both, bitThree), bitThree);
                const __m256i classes = _mm256_add_epi8(even, _mm256_and_si256(even, odd));  // doubled where bit 3 is set
                const __m256i around = _mm256_shuffle_epi8(classes, aroundLanes);
                const __m256i held = _mm256_i32gather_epi32(words, cores, 4);
                const __m256i emptyBytes = _mm256_cmpeq_epi8(_mm256_and_si256(held, around), zero);
                const __m256i passed = _mm256_cmpeq_epi32(emptyBytes, zero);
                lanes |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(passed))) << (8 * eight);
            }
            passing[groups] = lanes;
        }
        for (std::size_t g = 0; g < groups; ++g) {
            for (std::uint64_t hits = passing[g]; hits != 0; hits &= hits - 1) {
                const std::int64_t at = stretchStart + static_cast<std::int64_t>(g) * kGroup + std::countr_zero(hits);
                TestCore(bytes[at] | static_cast<std::uint32_t>(bytes[at + 1]) << 8, at, image, found);
            }
        }
    }
    return c;
}
#endif

void SearchSweep::Sweep(std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const {
    std::fill(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(patterns_.size()), std::uint8_t{0});
    for (const std::uint32_t i : alone_) found[i] = SearchForward(image, 0, patterns_[i]).found ? 1 : 0;
    if (image.empty() || words_.empty()) return;

    // A window at p in [0, size) has its core at p, p + 1 or p + 2: cores from 0 to size + 1.
    // Inside, the bytes around a core lie in the image: from 2 to size - 4.
    const auto size = static_cast<std::int64_t>(image.size());
    const std::int64_t insideEnd = std::max<std::int64_t>(2, size - 3);
    SweepEdge(image, 0, std::min<std::int64_t>(2, size + 2), found);
    std::int64_t from = 2;
#ifdef KORVAX_SWEEP_AVX2
    if (kernel_ == SweepKernel::Avx2) from = SweepInsideAvx2(image, found);
#endif
    SweepInside(image, from, insideEnd, found);
    SweepEdge(image, std::max<std::int64_t>(insideEnd, std::min<std::int64_t>(2, size + 2)), size + 2, found);
}

}  // namespace korvax
