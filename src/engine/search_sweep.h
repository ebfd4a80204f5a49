#pragma once
// Which of many masked four-byte patterns occur anywhere in an image, in one sweep.
//
// "Occurs" means exactly what SearchForward from position 0 finds: some position p in
// [0, size) whose window (the four bytes from p, those past the end read as 0) passes the
// pattern's masked test. The sweep answers for every pattern at once; where a pattern
// occurs is not its business (the pass that needs the first occurrence searches for it).
//
// How: each pattern is keyed on three consecutive window bytes (at window offset 0 or 1,
// whichever needs fewer key values for its masked bits). A 2^24-bit table, one bit per
// three-byte value, says whether any pattern is keyed on the three bytes at a position;
// only there are the patterns of that key looked up and tested in full. The table is
// direct, not hashed, so frequent byte runs (zero padding, say) never hit it by accident.
// A pattern with too few exact bits to key, and every pattern of a set too small to pay
// for the table, is searched for on its own instead.
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
        std::uint32_t key = 0;      // three bytes, little-endian
        std::uint32_t pattern = 0;  // index into patterns_
        std::uint8_t anchor = 0;    // the key's offset in the window
    };

    void SweepKeys(const std::uint8_t* bytes, std::int64_t from, std::int64_t to,
                   std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const;
    void TestKey(std::uint32_t key, std::int64_t keyAt, std::span<const std::uint8_t> image,
                 std::span<std::uint8_t> found) const;

    std::vector<MaskedPattern> patterns_;
    std::vector<std::uint32_t> alone_;      // searched for one by one
    std::vector<std::uint64_t> keyTable_;   // 2^24 bits, empty when nothing is keyed
    std::vector<Keyed> keyed_;              // sorted by key
    // Buckets of keyed_ by the key's low 16 bits: keyed_[bucket_[k], bucket_[k + 1]).
    std::vector<std::uint32_t> bucket_;
};

}  // namespace korvax
