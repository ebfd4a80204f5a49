#include <gtest/gtest.h>

#include <random>

#include "engine/search_sweep.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;

MaskedPattern RandomPattern(std::mt19937& random, const Bytes& file) {
    static constexpr std::array<std::array<std::uint8_t, 4>, 8> kMasks{{
        {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0x0F, 0xFF, 0xFF},
        {0xFF, 0xFF, 0x00, 0xFF}, {0xF0, 0xFF, 0x0F, 0xFF}, {0xFF, 0x00, 0x00, 0xFF}, {0x00, 0x00, 0x00, 0x00},
    }};
    MaskedPattern m;
    m.mask = kMasks[random() % kMasks.size()];
    // Mostly a window of the file (near its end too, where zeros pad it), masked.
    const std::size_t at = file.empty() ? 0 : random() % (file.size() + 2);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t b = at + i < file.size() ? file[at + i] : 0;
        m.pattern[i] = static_cast<std::uint8_t>((random() % 4 == 0 ? random() : b) & m.mask[i]);
    }
    if (random() % 30 == 0) m.pattern[0] |= static_cast<std::uint8_t>(~m.mask[0] & 1);  // a bit outside the mask
    return m;
}

TEST(SearchSweep, FindsExactlyWhatASearchFromTheStartFinds) {
    std::mt19937 random(77);
    for (int round = 0; round < 600; ++round) {
        Bytes file(random() % 4 == 0 ? random() % 6 : random() % 400);
        const std::uint32_t alphabet = round % 2 == 0 ? 3 : 256;
        for (auto& b : file) b = static_cast<std::uint8_t>(random() % alphabet);
        std::vector<MaskedPattern> patterns(1 + random() % 150);
        for (auto& p : patterns) p = RandomPattern(random, file);
        const SearchSweep sweep(patterns);
        std::vector<std::uint8_t> found(patterns.size(), 7);
        sweep.Sweep(file, found);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            ASSERT_EQ(found[i] != 0, SearchForward(file, 0, patterns[i]).found)
                << "round " << round << " pattern " << i << " of " << patterns.size() << " in " << file.size() << " bytes";
        }
    }
}

TEST(SearchSweep, PatternsThatEndInZerosAreFoundInTheLastPositions) {
    // The windows at the last three positions run past the end and read zeros there.
    const Bytes file{1, 2, 3, 4, 5, 6};
    std::vector<MaskedPattern> patterns;
    for (std::uint8_t tail = 0; tail < 8; ++tail) {
        patterns.push_back({{6, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}});           // at 5
        patterns.push_back({{5, 6, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}});           // at 4
        patterns.push_back({{0x40, 6, 0, 0}, {0xF0, 0xFF, 0xFF, 0xFF}});        // nowhere
        patterns.push_back({{static_cast<std::uint8_t>(tail), 0, 0, 0}, {0x00, 0xFF, 0xFF, 0xFF}});  // at 5 only for 0
    }
    const SearchSweep sweep(patterns);
    std::vector<std::uint8_t> found(patterns.size());
    sweep.Sweep(file, found);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        EXPECT_EQ(found[i] != 0, SearchForward(file, 0, patterns[i]).found) << i;
    }
    EXPECT_EQ(found[0], 1);
    EXPECT_EQ(found[1], 1);
    EXPECT_EQ(found[2], 0);
    const Bytes empty;
    sweep.Sweep(empty, found);
    EXPECT_EQ(std::count(found.begin(), found.end(), 1), 0);  // an empty image holds no window
}

}  // namespace
}  // namespace korvax
