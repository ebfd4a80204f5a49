#pragma once
// Which of many masked four-byte patterns occur anywhere in an image, in one sweep.
//
// "Occurs" means exactly what SearchForward from position 0 finds: some position p in
// [0, size) whose window (the four bytes from p, those past the end read as 0) passes the
// pattern's masked test. The sweep answers for every pattern at once; where a pattern
// occurs is not its business (the pass that needs the first occurrence searches for it).
//
// How: most patterns are keyed on three consecutive window bytes (at window offset 0 or 1,
// whichever needs fewer key values for its masked bits). A table, one bit per
// three-byte value hashed to 2^21 bits, says whether any pattern may be keyed on the three
// bytes at a position;
// only there are the patterns of that key looked up and tested in full. The hash is
// chosen so that frequent byte runs (zero padding, say) do not hit it by accident.
// A pattern with a free byte in the middle would need 256 three-byte keys; it is keyed on
// its first and last bytes instead, in a second, 2^16-bit table probed at the same
// positions. A pattern with too few exact bits to key, and every pattern of a set too
// small to pay for the tables, is searched for on its own.
//
// Thread safety: built once, then read by any number of threads at once.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/pattern_search.h"

namespace korvax {

class SearchSweep {
public:
    SearchSweep() = default;
    explicit SearchSweep(std::span<const MaskedPattern> patterns);

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
    // The patterns keyed on one shape of key: a bit per key value, and the patterns of a
    // key in buckets by its low 16 bits: keyed[bucket[k], bucket[k + 1]).
    struct KeyIndex {
        std::vector<std::uint64_t> table;
        std::vector<Keyed> keyed;
        std::vector<std::uint32_t> bucket;
        std::uint32_t multiplier = 1;
        int shift = 0;  // 0: the key itself is the bit's index; else a multiplicative hash
        void Build(std::vector<Keyed> keys, int bits, int keyBits);
        std::uint32_t Slot(std::uint32_t key) const;
    };

    template <bool kThree, bool kFirstAndLast>
    void SweepWhole(std::span<const std::uint8_t> image, std::int64_t end, std::span<std::uint8_t> found) const;
    void TestKey(const KeyIndex& index, std::uint32_t key, std::int64_t keyAt, std::span<const std::uint8_t> image,
                 std::span<std::uint8_t> found) const;

    std::vector<MaskedPattern> patterns_;
    std::vector<std::uint32_t> alone_;  // searched for one by one
    KeyIndex threeBytes_;               // three consecutive bytes, at window offset 0 or 1
    KeyIndex firstAndLast_;             // the window's first and last bytes
};

}  // namespace korvax
