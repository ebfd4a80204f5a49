// libFuzzer target: the fast pass against the literal interpreter. The input is a file
// and a recipe from which a database of up to a few hundred entries is built (see
// random_database.h); both passes run on it from the same stream position, pass after
// pass, and both whole per-file checks run on it. Any difference in results, texts,
// positions, failures, rows, counters or bytes saved aborts.
//
// Input layout: two bytes (little-endian) give the file's length (at most 4,095), one byte
// picks the stream position the first pass starts from; the file follows, then the recipe.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "differential_check.h"
#include "random_database.h"

namespace {

constexpr std::int64_t kFuzzMaxImage = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t fileSize = std::min<std::size_t>((data[0] | (data[1] << 8)) & 0xFFF, size - 3);
    const std::uint8_t startPick = data[2];
    const std::span<const std::uint8_t> file(data + 3, fileSize);
    korvax::test::Draw draw(std::span<const std::uint8_t>(data + 3 + fileSize, size - 3 - fileSize));
    const korvax::VirusDatabase base = korvax::test::RandomDatabase(draw, file);

    // Where a previous file's pass or cure could have left the stream: 0, inside, at the
    // end, past it, below 0.
    const auto fileEnd = static_cast<std::int32_t>(fileSize);
    const std::int32_t starts[] = {0, startPick % (fileEnd + 1), fileEnd, fileEnd + 7, -3, INT32_MAX - 1};
    const std::int32_t start = starts[startPick % 6];

    const std::string difference = korvax::test::Differential(base, file, start, kFuzzMaxImage);
    if (!difference.empty()) {
        std::fprintf(stderr, "fast pass and literal interpreter differ: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
