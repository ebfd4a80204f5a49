#pragma once
// Which of many masked four-byte patterns occur anywhere in an image, in one sweep.
//
// "Occurs" means exactly what SearchForward from position 0 finds: some position p in
// [0, size) whose window (the four bytes from p, those past the end read as 0) passes the
// pattern's masked test. The sweep answers for every pattern at once; where a pattern
// occurs is not its business (the pass that needs the first occurrence searches for it).
//
// How: most patterns are keyed on three consecutive window bytes (at window offset 0 or 1,
// whichever needs fewer key values for its masked bits). A table of 64 bits or more per
// key, each key hashed to two bits of one word, says whether any pattern may be keyed on
// the three bytes at a position;
// only there are the patterns of that key looked up and tested in full. The hash is
// chosen so that frequent byte runs (zero padding, say) do not hit it by accident.
// A pattern with a free byte in the middle would need 256 three-byte keys; once many, they
// are keyed on their first and last bytes instead, in a second table probed at the same
// positions, whose word per key also says which high nibbles the middle bytes need. A
// pattern with too few exact bits to key, and every pattern of a set too small to pay for
// the tables, is searched for on its own.
//
// Where the processor has AVX2, eight positions are probed at once (their table words
// gathered in one instruction); the portable loop does the same one position at a time.
// Both find the same keys, so the answer never depends on the processor.
//
// Thread safety: built once, then read by any number of threads at once.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/pattern_search.h"

namespace korvax {

// How the tables are probed.
enum class SweepKernel : std::uint8_t {
    Portable,  // one position at a time, any processor
    Avx2,      // eight positions at a time
};

// The fastest kernel this processor runs.
SweepKernel BestSweepKernel();

class SearchSweep {
public:
    SearchSweep() = default;
    explicit SearchSweep(std::span<const MaskedPattern> patterns, SweepKernel kernel = BestSweepKernel());

    SweepKernel kernel() const { return kernel_; }

    std::size_t patternCount() const { return patterns_.size(); }

    // Sets found[i] (which must hold patternCount() flags) to whether pattern i occurs in
    // `image`.
    void Sweep(std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const;

private:
    struct Keyed {
        std::uint32_t key = 0;      // the key's bytes, little-endian
        std::uint32_t pattern = 0;  // index into patterns_
        std::uint8_t anchor = 0;    // where the window begins, before the key's first byte
    };
    // The patterns keyed on one shape of key: a filter that every key passes and few other
    // values do, and the patterns of a key in buckets by its low 16 bits:
    // keyed[bucket[k], bucket[k + 1]). Where the table has a bit for every key value it is
    // exact; else a key sets two bits of one 32-bit word, chosen by hashing, so that one
    // load answers and a value passes by chance only where both bits are taken.
    struct KeyIndex {
        std::vector<std::uint32_t> table;
        std::vector<Keyed> keyed;
        std::vector<std::uint32_t> bucket;
        std::uint32_t wordMultiplier = 1;
        int wordShift = 5;
        std::uint32_t bitMultiplier = 1u << 27;
        int secondBitShift = 27;
        void Build(std::vector<Keyed> keys, int maxBits, int keyBits);
        // The first-and-last table instead: a word per key value, with the middle nibbles
        // its patterns need.
        void BuildPairs(std::vector<Keyed> keys, std::span<const MaskedPattern> patterns);
        void SortIntoBuckets(std::vector<Keyed> keys);
        std::uint32_t BitsOf(std::uint32_t key) const {
            const std::uint32_t hash = key * bitMultiplier;
            return (1u << (hash >> 27)) | (1u << ((hash >> secondBitShift) & 31));
        }
        bool Holds(std::uint32_t key) const {
            const std::uint32_t bits = BitsOf(key);
            return (table[key * wordMultiplier >> wordShift] & bits) == bits;
        }
        bool HoldsPair(std::uint32_t window) const {
            const std::uint32_t classes = (1u << ((window >> 20) & 15)) | (1u << (16 + ((window >> 12) & 15)));
            return (table[(window & 0xFFu) | ((window >> 16) & 0xFF00u)] & classes) != 0;
        }
    };

    // Probe positions [from, end), every window whole; the vector kernel returns where it
    // stopped, the rest is left to the portable one.
    template <bool kThree, bool kFirstAndLast>
    void SweepWhole(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                    std::span<std::uint8_t> found) const;
    template <bool kThree, bool kFirstAndLast>
    std::int64_t SweepWholeAvx2(std::span<const std::uint8_t> image, std::int64_t end,
                                std::span<std::uint8_t> found) const;
    template <bool kThree, bool kFirstAndLast>
    void SweepAll(std::span<const std::uint8_t> image, std::int64_t end, std::span<std::uint8_t> found) const;
    void TestKey(const KeyIndex& index, std::uint32_t key, std::int64_t keyAt, std::span<const std::uint8_t> image,
                 std::span<std::uint8_t> found) const;

    std::vector<MaskedPattern> patterns_;
    std::vector<std::uint32_t> alone_;  // searched for one by one
    KeyIndex threeBytes_;               // three consecutive bytes, at window offset 0 or 1
    KeyIndex firstAndLast_;             // the window's first and last bytes
    SweepKernel kernel_ = SweepKernel::Portable;
};

}  // namespace korvax
