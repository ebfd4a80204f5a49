#include <gtest/gtest.h>

#include <random>

#include "differential_check.h"
#include "random_database.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;
using test::BytesOf;

// Random files of the kinds that make tests hold and fail near each other: short ones,
// runs of few byte values, zero padding, and plain noise.
Bytes RandomFile(std::mt19937& random) {
    const std::size_t size = random() % 5 == 0 ? random() % 5 : random() % 700;
    Bytes file(size);
    const std::uint32_t alphabet = std::array<std::uint32_t, 4>{2, 4, 16, 256}[random() % 4];
    for (auto& b : file) b = static_cast<std::uint8_t>(random() % alphabet);
    if (size > 40 && random() % 3 == 0) std::fill(file.begin() + 10, file.begin() + 30, 0);
    return file;
}

TEST(FastPass, AgreesWithTheLiteralInterpreterOnRandomDatabasesAndFiles) {
    std::mt19937 random(20261209);
    int detections = 0;
    int cures = 0;
    int failures = 0;
    for (int round = 0; round < 1500; ++round) {
        const Bytes file = RandomFile(random);
        Bytes recipe(4000);
        for (auto& b : recipe) b = static_cast<std::uint8_t>(random());
        test::Draw draw(recipe);
        const VirusDatabase base = test::RandomDatabase(draw, file);
        const auto size = static_cast<std::int32_t>(file.size());
        const std::int32_t starts[] = {0, size, size + 3, -2, static_cast<std::int32_t>(random() % (size + 1))};
        const std::int32_t start = starts[random() % 5];
        ASSERT_EQ(test::Differential(base, file, start, 1 << 16), "") << "round " << round;

        const test::CheckResult check = test::RunCheck(base, file, 1 << 16);
        detections += check.outcome.resultCode == ResultCode::Detected;
        cures += check.outcome.cures > 0;
        failures += check.outcome.resultCode == ResultCode::ReadError;
    }
    // The generator must reach every kind of outcome, or the comparison proves little.
    EXPECT_GT(detections, 100);
    EXPECT_GT(cures, 50);
    EXPECT_GT(failures, 20);
}

TEST(FastPass, SkipsFailingEntriesAndHandsTheNextOneTheirExitPosition) {
    // Many entries fail at a fixed place or in a search; the entries that depend on the
    // stream come right after them and find their marker only from the exit position the
    // skipped entry left: 12 after a comparison at 8, the file size after a search.
    const Bytes file = BytesOf("MZ......EVIL....GOOD....BAD!");
    std::string source;
    for (int i = 0; i < 50; ++i) source += "entry \"Fixed" + std::to_string(i) + "\"\nmatch at 8 pattern \"NOPE\"\n";
    source += "entry \"FromTwelve\"\nmatch mode 3 0 pattern \"....\"\nmatch mode 3 0 pattern \"GOOD\"\n";
    source += "entry \"Search\"\nsearch rel 0 pattern \"ZZZZ\"\n";
    source += "entry \"AtTheEnd\"\nsearch at 0 pattern \"BAD!\"\n";
    source += "entry \"FromZero\"\nsearch rel 0 pattern \"BAD!\"\n";
    const VirusDatabase base = BaseFromSource(source);
    for (const std::int32_t start : {0, 5, 100}) {
        ASSERT_EQ(test::Differential(base, file, start, 1 << 16), "") << start;
    }
    const test::CheckResult check = test::RunCheck(ScanPlan(base), file, 1 << 16);
    ASSERT_EQ(check.rows.size(), 1u);
    EXPECT_EQ(check.rows[0].status, "FromTwelve");

    // Without the first marker the search entries decide: "AtTheEnd" searches from where
    // the failed search left the stream (the end) and fails; "FromZero" finds it.
    const Bytes other = BytesOf("MZ......EVIL....XXXX....BAD!");
    const test::CheckResult second = test::RunCheck(ScanPlan(base), other, 1 << 16);
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(second.rows[0].status, "FromZero");
}

TEST(ScanPlan, KnowsTheDatabaseItWasBuiltFrom) {
    VirusDatabase base = BaseFromSource("entry \"A\"\nmatch at 0 pattern \"MZ\" ?? ??\n");
    const ScanPlan plan(base);
    EXPECT_TRUE(plan.BuiltFrom(base));
    const VirusDatabase copy = base;
    EXPECT_FALSE(plan.BuiltFrom(copy));
    const VirusDatabase more = BaseFromSource("entry \"B\"\n");
    base.insert(base.end(), more.begin(), more.end());
    EXPECT_FALSE(plan.BuiltFrom(base));  // an update adds entries: the plan must be built again
}

}  // namespace
}  // namespace korvax
