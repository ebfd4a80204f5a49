#include <gtest/gtest.h>

#include <chrono>

#include "monitor/cpu_frequency.h"
#include "monitor/cpu_load.h"
#include "monitor/status_refresh.h"
#include "platform/load_library.h"

namespace korvax {
namespace {

TEST(CpuFrequency, TicksOverHalfASecondShownAsWholeMhz) {
    EXPECT_EQ(FrequencyText(MhzFromTicks(1197350000)), "2394 Mhz");
    EXPECT_EQ(FrequencyText(MhzFromTicks(1200000000)), "2400 Mhz");
    // 2999.999998 MHz: the single-precision step rounds to 3000 before the cut.
    EXPECT_EQ(FrequencyText(MhzFromTicks(1499999999)), "3000 Mhz");
    // Only the low 32 bits of the difference count.
    EXPECT_EQ(FrequencyText(MhzFromTicks((std::uint64_t{1} << 32) + 1200000000)), "2400 Mhz");
}

std::int32_t gLoad = 0;
std::int32_t FakeUsage() { return gLoad; }

TEST(RefreshStatus, FiguresFromTheCounters) {
    CheckCounts counts;
    counts.workers = 5;
    counts.pending = 3;
    counts.checked = 2;
    counts.cured = 4;
    counts.viruses = -1;
    counts.total = 3;
    std::int32_t CpuLoad = 0;

    gLoad = 37;
    StatusFigures figures = RefreshStatus(FakeUsage, CpuLoad, counts);
    EXPECT_EQ(CpuLoad, 37);
    EXPECT_EQ(figures.load, "37%");
    EXPECT_EQ(figures.pool, "3/5");
    EXPECT_EQ(figures.gauge, 66);
    EXPECT_EQ(figures.checked, "2");
    EXPECT_EQ(figures.cured, "4");
    EXPECT_EQ(figures.viruses, "-1");

    gLoad = -5;  // shown without its sign, kept with it
    counts.total = 0;
    figures = RefreshStatus(FakeUsage, CpuLoad, counts);
    EXPECT_EQ(CpuLoad, -5);
    EXPECT_EQ(figures.load, "5%");
    EXPECT_FALSE(figures.gauge.has_value());  // nothing collected: the gauge keeps its value

    gLoad = INT32_MIN;
    counts.total = 1;
    figures = RefreshStatus(FakeUsage, CpuLoad, counts);
    EXPECT_EQ(figures.load, "2147483648%");
    EXPECT_EQ(figures.gauge, 100);  // 200% is clamped to the gauge's range
}

TEST(CpuLoadLibrary, BindsCpuUsageAndExplainsAFailure) {
    // The library the programs bind, by the name this system gives it, from beside the
    // program (this test sits beside it).
    EXPECT_EQ(CpuLoadLibraryName(), SharedLibraryName("cpudll"));
    CpuLoadLibrary library;
    const std::int32_t load = library.CpuUsage()();
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 100);

    const std::string absent = SharedLibraryName("korvax-no-such-library");
    try {
        CpuLoadLibrary missing(absent);
        FAIL() << "loaded";
    } catch (const LoadLibraryError& error) {
        EXPECT_NE(std::string(error.what()).find(absent), std::string::npos);
    }
    // A library that loads but has no CpuUsage is treated like a missing one.
    try {
        CpuLoadLibrary(SharedLibraryName(KORVAX_NO_CPU_USAGE_LIBRARY));
        FAIL() << "bound a library without CpuUsage";
    } catch (const LoadLibraryError& error) {
        EXPECT_NE(std::string(error.what()).find("CpuUsage"), std::string::npos) << error.what();
    }
}

// The load is measured over the time between two calls: a processor kept busy by this
// test shows a load above nothing (the library must not report a constant).
TEST(CpuLoadLibrary, ReportsABusyProcessorAsBusy) {
    CpuLoadLibrary library;
    library.CpuUsage()();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    volatile std::uint64_t spin = 0;
    while (std::chrono::steady_clock::now() < until) spin = spin + 1;
    const std::int32_t load = library.CpuUsage()();
    EXPECT_GT(load, 0);
    EXPECT_LE(load, 100);
}

}  // namespace
}  // namespace korvax
