#pragma once
// Which of many masked four-byte patterns occur anywhere in an image, in one sweep.
//
// "Occurs" means exactly what SearchForward from position 0 finds: some position p in
// [0, size) whose window (the four bytes from p, those past the end read as 0) passes the
// pattern's masked test. The sweep answers for every pattern at once; where a pattern
// occurs is not its business (the pass that needs the first occurrence searches for it).
//
// How: every pattern is keyed on a core of two consecutive window bytes (at window offset
// 0, 1 or 2, the one with the fewest free bits; a free nibble in the core costs 16 keys;
// among equals, the one that adds least to how often the table lets a position pass, given
// the patterns keyed before it).
// A table holds one 32-bit word per core value: four bytes, one for each of the bytes two
// and one before the core and one and two after it, each a set of the eight classes (the
// top two bits and bit 3) that byte may have for some pattern of that core. At every position of
// the image one load of the word of its two bytes, tested against the classes of the four
// bytes around them, says whether the patterns of that core are worth testing in full.
// A pattern whose core would have more than eight free bits, and every pattern of a set
// too small to pay for the table, is searched for on its own.
//
// The key serves every pattern with two exact bytes side by side, whichever byte of its
// window is free, so one probe per position answers for all of them. Only a few positions
// pass by chance (about one in a hundred with 30,000 patterns on real programs), and most of
// those test a single pattern.
//
// Where the processor has AVX2, eight positions are probed at once (their words gathered in
// one instruction); the portable loop does the same one position at a time. Both find the
// same cores, so the answer never depends on the processor.
//
// Thread safety: built once, then read by any number of threads at once.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/pattern_search.h"

namespace korvax {

// How the table is probed.
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
    // A pattern under one value of its core.
    struct Cored {
        std::uint32_t mask = 0;     // the pattern's mask and bytes as window words, kept here
        std::uint32_t bytes = 0;    // so that testing a core touches one array
        std::uint32_t pattern = 0;  // index into patterns_
        std::uint32_t core = 0;     // where the core begins in the pattern's window
    };

    // Probe the cores at positions [from, end) with the portable loop; at every position
    // there, the bytes from two before to three after must lie inside the image.
    void SweepInside(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                     std::span<std::uint8_t> found) const;
    // The vector kernel, from position 2; returns where it stopped.
    std::int64_t SweepInsideAvx2(std::span<const std::uint8_t> image, std::span<std::uint8_t> found) const;
    // Probe cores at positions near the ends, where the bytes around them may lie outside.
    void SweepEdge(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t end,
                   std::span<std::uint8_t> found) const;
    // Tests in full the patterns whose core has the value `core`, found at `at`.
    void TestCore(std::uint32_t core, std::int64_t at, std::span<const std::uint8_t> image,
                  std::span<std::uint8_t> found) const;

    std::vector<MaskedPattern> patterns_;
    std::vector<std::uint32_t> alone_;  // searched for one by one
    std::vector<std::uint32_t> words_;  // per core value, the classes of the bytes around it
    std::vector<std::uint32_t> start_;  // per core value, its patterns: cored_[start_[v], start_[v + 1])
    std::vector<Cored> cored_;
    SweepKernel kernel_ = SweepKernel::Portable;
};

}  // namespace korvax
