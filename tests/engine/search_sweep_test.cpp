#include <gtest/gtest.h>

#include <random>

#include "engine/search_sweep.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;

MaskedPattern RandomPattern(std::mt19937& random, const Bytes& file, bool freeMiddles = false) {
    // The last two have no core of two bytes with at most eight free bits: searched alone.
    static constexpr std::array<std::array<std::uint8_t, 4>, 9> kMasks{{
        {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0x0F, 0xFF, 0xFF},
        {0xFF, 0xFF, 0x00, 0xFF}, {0xF0, 0xFF, 0x0F, 0xFF}, {0xFF, 0x00, 0x00, 0xFF}, {0x0F, 0x00, 0xF0, 0x00},
        {0x00, 0x00, 0x00, 0x00},
    }};
    // Free middle bytes, beside middle nibbles of each kind.
    static constexpr std::array<std::array<std::uint8_t, 4>, 6> kFreeMiddleMasks{{
        {0xFF, 0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00, 0xFF}, {0xFF, 0xF0, 0x00, 0xFF}, {0xFF, 0x00, 0x0F, 0xFF},
        {0xFF, 0x0F, 0x00, 0xFF}, {0xFF, 0x00, 0x00, 0xFF},
    }};
    MaskedPattern m;
    m.mask = freeMiddles && random() % 4 != 0 ? kFreeMiddleMasks[random() % kFreeMiddleMasks.size()]
                                               : kMasks[random() % kMasks.size()];
    // Mostly a window of the file (near its end too, where zeros pad it), masked.
    const std::size_t at = file.empty() ? 0 : random() % (file.size() + 2);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t b = at + i < file.size() ? file[at + i] : 0;
        m.pattern[i] = static_cast<std::uint8_t>((random() % 4 == 0 ? random() : b) & m.mask[i]);
    }
    if (random() % 30 == 0) m.pattern[0] |= static_cast<std::uint8_t>(~m.mask[0] & 1);  // a bit outside the mask
    return m;
}

// Each test runs with every kernel, so the vector one is held to the portable answer.
class SearchSweepKernel : public testing::TestWithParam<SweepKernel> {
protected:
    void SetUp() override {
        if (GetParam() == SweepKernel::Avx2 && BestSweepKernel() != SweepKernel::Avx2) {
            GTEST_SKIP() << "this processor has no AVX2";
        }
    }
};

TEST_P(SearchSweepKernel, FindsExactlyWhatASearchFromTheStartFinds) {
    std::mt19937 random(77);
    for (int round = 0; round < 600; ++round) {
        // Files shorter than one vector step, and long ones, which hold many steps and a tail.
        Bytes file(random() % 4 == 0 ? random() % 20 : random() % 400);
        const std::uint32_t alphabet = round % 2 == 0 ? 3 : 256;
        for (auto& b : file) b = static_cast<std::uint8_t>(random() % alphabet);
        // Every third set is mostly free middle bytes, so many patterns are keyed on a core at
        // the start or the end of their window and tested by the bytes beyond it.
        const bool freeMiddles = round % 3 == 2;
        std::vector<MaskedPattern> patterns(freeMiddles ? 400 + random() % 300 : 1 + random() % 150);
        for (auto& p : patterns) p = RandomPattern(random, file, freeMiddles);
        const SearchSweep sweep(patterns, GetParam());
        ASSERT_EQ(sweep.kernel(), GetParam());
        std::vector<std::uint8_t> found(patterns.size(), 7);
        sweep.Sweep(file, found);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            ASSERT_EQ(found[i] != 0, SearchForward(file, 0, patterns[i]).found)
                << "round " << round << " pattern " << i << " of " << patterns.size() << " in " << file.size() << " bytes";
        }
    }
}

TEST_P(SearchSweepKernel, PatternsThatEndInZerosAreFoundInTheLastPositions) {
    // The windows at the last three positions run past the end and read zeros there.
    const Bytes file{1, 2, 3, 4, 5, 6};
    std::vector<MaskedPattern> patterns;
    for (std::uint8_t tail = 0; tail < 8; ++tail) {
        patterns.push_back({{6, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}});           // at 5
        patterns.push_back({{5, 6, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}});           // at 4
        patterns.push_back({{0x40, 6, 0, 0}, {0xF0, 0xFF, 0xFF, 0xFF}});        // nowhere
        patterns.push_back({{static_cast<std::uint8_t>(tail), 0, 0, 0}, {0x00, 0xFF, 0xFF, 0xFF}});  // at 5 only for 0
    }
    const SearchSweep sweep(patterns, GetParam());
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

TEST_P(SearchSweepKernel, EveryPositionOfALongFileIsProbed) {
    // A window planted at each position in turn of a file many vector steps long; a lane
    // skipped or read from the wrong position would lose some of them.
    Bytes file(97);
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(0x11 + i % 5);
    std::vector<MaskedPattern> patterns;
    for (std::size_t at = 0; at + 4 <= file.size(); at += 1) {
        Bytes planted = file;
        planted[at] = 0xA0;
        planted[at + 3] = static_cast<std::uint8_t>(at);
        // The planted window exact, and with its middle free (keyed on a core of 256 values);
        // then decoys of both kinds, many sharing its core, none of which occurs.
        patterns.assign(2, {{0xA0, planted[at + 1], planted[at + 2], static_cast<std::uint8_t>(at)},
                            {0xFF, 0xFF, 0xFF, 0xFF}});
        patterns[1] = {{0xA0, 0, 0, static_cast<std::uint8_t>(at)}, {0xFF, 0x00, 0x00, 0xFF}};
        for (std::uint32_t d = 0; d < 600; ++d) {
            MaskedPattern decoy = patterns[d % 2];
            decoy.pattern[0] = static_cast<std::uint8_t>(0xB0 + d % 64);  // a byte the file does not hold
            decoy.pattern[3] = static_cast<std::uint8_t>(d / 64);
            patterns.push_back(decoy);
        }
        const SearchSweep sweep(patterns, GetParam());
        std::vector<std::uint8_t> found(patterns.size());
        sweep.Sweep(planted, found);
        EXPECT_EQ(found[0], 1) << at;
        EXPECT_EQ(found[1], 1) << at;
        EXPECT_EQ(std::count(found.begin() + 2, found.end(), 1), 0) << at;
    }
}

TEST_P(SearchSweepKernel, EveryPositionOfAFileOfManyStretchesIsProbed) {
    // The vector kernel probes long runs of positions before it tests any that passed; a
    // window planted at every position in turn, over a file several such runs long and not
    // a whole number of them, finds a lost or misplaced position anywhere in a run.
    constexpr std::size_t kSize = 9001;
    constexpr std::size_t kSpacing = 7;  // planted windows do not touch one another
    for (std::size_t shift = 0; shift < kSpacing; ++shift) {
        Bytes file(kSize);
        for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(0x11 + i % 5);
        std::vector<MaskedPattern> patterns;
        for (std::size_t at = shift; at + 4 <= file.size(); at += kSpacing) {
            const auto k = static_cast<std::uint32_t>(patterns.size() / 2);
            const std::array<std::uint8_t, 4> window{0xA5, static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8), 0x5A};
            std::copy(window.begin(), window.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
            patterns.push_back({window, {0xFF, 0xFF, 0xFF, 0xFF}});                   // keyed on its middle
            patterns.push_back({{0xA5, window[1], 0, 0x5A}, {0xFF, 0xFF, 0x00, 0xFF}});  // keyed on its start
        }
        const std::size_t planted = patterns.size();
        for (std::size_t i = 0; i < planted; ++i) {
            MaskedPattern decoy = patterns[i];
            decoy.pattern[3] = 0x5B;  // a byte the file does not hold
            patterns.push_back(decoy);
        }
        const SearchSweep sweep(patterns, GetParam());
        std::vector<std::uint8_t> found(patterns.size());
        sweep.Sweep(file, found);
        for (std::size_t i = 0; i < planted; ++i) ASSERT_EQ(found[i], 1) << "shift " << shift << " pattern " << i;
        EXPECT_EQ(std::count(found.begin() + static_cast<std::ptrdiff_t>(planted), found.end(), 1), 0) << shift;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, SearchSweepKernel, testing::Values(SweepKernel::Portable, SweepKernel::Avx2),
                         [](const testing::TestParamInfo<SweepKernel>& info) {
                             return info.param == SweepKernel::Avx2 ? std::string("Avx2") : std::string("Portable");
                         });

// The search itself, against trying each position in turn: at every length around the
// widths the candidates are looked for in (16, 32, 64 and 128 bytes a turn), with the one
// match, and decoys of its exact byte, anywhere.
TEST(SearchForward, FindsTheFirstWindowWhateverTheLengthAndPlace) {
    const auto reference = [](const Bytes& image, std::int32_t start, const MaskedPattern& m) {
        const auto size = static_cast<std::int32_t>(image.size());
        if (start >= size) return SearchOutcome{false, start};
        for (std::int32_t p = std::max(start, -1); p < size; ++p) {
            std::uint8_t window[4] = {0, 0, 0, 0};
            for (std::int32_t i = 0; i < 4; ++i) {
                if (p + i >= 0 && p + i < size) window[i] = image[static_cast<std::size_t>(p + i)];
            }
            if (m.test(window)) return SearchOutcome{true, p + 1};
        }
        return SearchOutcome{false, size};
    };
    std::mt19937 random(1234);
    MaskedPattern anchoredFirst{{'K', 'V', 'X', '!'}, {0xFF, 0xFF, 0xFF, 0xFF}};
    MaskedPattern anchoredThird{{0x00, 0x50, 'X', 0x20}, {0x00, 0xF0, 0xFF, 0xF0}};
    int found = 0;
    for (std::size_t length = 0; length <= 300; ++length) {
        for (const MaskedPattern& m : {anchoredFirst, anchoredThird}) {
            for (int trial = 0; trial < 4; ++trial) {
                Bytes image(length);
                for (auto& byte : image) byte = static_cast<std::uint8_t>(random() % 7);  // no letters
                // Decoys: the exact byte alone, then the match somewhere (or nowhere).
                for (int decoy = 0; decoy < 3 && length > 0; ++decoy) image[random() % length] = 'X';
                if (length >= 4 && trial != 0) {
                    const std::size_t at = random() % (length - 3);
                    for (std::size_t i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(m.pattern[i] | 0x05 * (m.mask[i] == 0));
                }
                // From the start, from anywhere, and from before it.
                const std::int32_t start = trial == 0 ? static_cast<std::int32_t>(random() % (length + 1))
                                         : trial == 3 ? -1
                                                      : 0;
                const SearchOutcome got = SearchForward(image, start, m);
                const SearchOutcome want = reference(image, start, m);
                ASSERT_EQ(got.found, want.found) << length << " " << trial;
                ASSERT_EQ(got.position, want.position) << length << " " << trial;
                found += got.found;
            }
        }
    }
    EXPECT_GT(found, 1000);  // the matches were there to be found
}

}  // namespace
}  // namespace korvax
