// libFuzzer target: the one-sweep search for many patterns against a search for each
// pattern on its own, under every kernel this processor runs. Any pattern reported as
// occurring that SearchForward from 0 does not find, or the reverse, aborts.
//
// Large sets fill the sweep's table the way a real database does, many patterns to a core:
// so besides the patterns the input spells out one by one, a flag adds a few hundred with
// free middle bytes (keyed on a core at an end of their window) derived from a seed, some
// cut from the file (found) and some drawn at random (mostly not).
//
// Input layout: one flag byte, two bytes (little-endian) of file length (at most 2,047),
// the file, then three bytes per spelled-out pattern: a mask pick and a 16-bit place in the
// file (past its end: the pattern's bytes come from the input itself).
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/pattern_search.h"
#include "engine/search_sweep.h"

namespace {

using korvax::MaskedPattern;

constexpr std::array<std::array<std::uint8_t, 4>, 12> kMasks{{
    {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0x00, 0xFF, 0xFF},
    {0xFF, 0xFF, 0x00, 0xFF}, {0xFF, 0x0F, 0xFF, 0xFF}, {0xF0, 0xFF, 0x0F, 0xFF}, {0xFF, 0x00, 0x00, 0xFF},
    {0xFF, 0xF0, 0x00, 0xFF}, {0xFF, 0x00, 0x0F, 0xFF}, {0x00, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0x00, 0x00},
}};
constexpr std::array<std::array<std::uint8_t, 4>, 6> kFreeMiddleMasks{{
    {0xFF, 0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00, 0xFF}, {0xFF, 0xF0, 0x00, 0xFF},
    {0xFF, 0x00, 0x0F, 0xFF}, {0xFF, 0x0F, 0x00, 0xFF}, {0xFF, 0x00, 0x00, 0xFF},
}};

// The window at `at` (zeros past the end), masked; bits outside the mask kept when asked.
MaskedPattern CutFrom(std::span<const std::uint8_t> file, std::size_t at, std::array<std::uint8_t, 4> mask,
                      std::uint8_t outside) {
    MaskedPattern m;
    m.mask = mask;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t b = at + i < file.size() ? file[at + i] : 0;
        m.pattern[i] = static_cast<std::uint8_t>((b & mask[i]) | (i == 0 ? outside & ~mask[0] : 0));
    }
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t flags = data[0];
    const std::size_t fileSize = std::min<std::size_t>((data[1] | (data[2] << 8)) & 0x7FF, size - 3);
    const std::span<const std::uint8_t> file(data + 3, fileSize);
    const std::span<const std::uint8_t> recipe(data + 3 + fileSize, size - 3 - fileSize);

    std::vector<MaskedPattern> patterns;
    for (std::size_t r = 0; r + 3 <= recipe.size() && patterns.size() < 400; r += 3) {
        const std::array<std::uint8_t, 4> mask = kMasks[recipe[r] % kMasks.size()];
        const std::size_t at = recipe[r + 1] | (recipe[r + 2] << 8);
        if (at < fileSize + 4) {
            // A bit outside the mask now and then: such a pattern never matches.
            patterns.push_back(CutFrom(file, at, mask, recipe[r] >= 0xF0 ? recipe[r] : 0));
        } else {
            patterns.push_back(CutFrom(recipe, r, mask, 0));
        }
    }
    if ((flags & 1) != 0) {
        std::uint32_t seed = 0x9E3779B9u ^ flags ^ static_cast<std::uint32_t>(fileSize) << 8;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        const std::uint32_t extra = 260 + (flags >> 1) * 3;
        for (std::uint32_t i = 0; i < extra; ++i) {
            const std::array<std::uint8_t, 4> mask = kFreeMiddleMasks[next() % kFreeMiddleMasks.size()];
            if (fileSize > 0 && next() % 3 == 0) {
                patterns.push_back(CutFrom(file, next() % (fileSize + 3), mask, 0));
            } else {
                MaskedPattern m;
                m.mask = mask;
                for (std::size_t b = 0; b < 4; ++b) m.pattern[b] = static_cast<std::uint8_t>(next() & mask[b]);
                patterns.push_back(m);
            }
        }
    }

    std::vector<bool> expected(patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i) expected[i] = korvax::SearchForward(file, 0, patterns[i]).found;
    for (const korvax::SweepKernel kernel : {korvax::SweepKernel::Portable, korvax::SweepKernel::Avx2}) {
        const korvax::SearchSweep sweep(patterns, kernel);
        if (sweep.kernel() != kernel) continue;  // this processor cannot run it
        std::vector<std::uint8_t> found(patterns.size(), 0xAA);
        sweep.Sweep(file, found);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if ((found[i] != 0) != expected[i]) {
                std::fprintf(stderr, "sweep (kernel %d) and search differ on pattern %zu of %zu in %zu bytes\n",
                             static_cast<int>(kernel), i, patterns.size(), fileSize);
                std::abort();
            }
        }
    }
    return 0;
}
