#include "monitor/cpu_frequency.h"

#include "platform/system_info.h"

namespace korvax {

long double MhzFromTicks(std::uint64_t ticks) {
    const auto low = static_cast<std::uint32_t>(ticks);
    return static_cast<long double>(low) * 2e-6L;
}

long double MeasureCpuMhz() {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    {
        RealTimePriority raised;
        SleepMilliseconds(10);
        first = ReadCycleCounter();
        SleepMilliseconds(500);
        second = ReadCycleCounter();
    }
    return MhzFromTicks(second - first);
}

std::string FrequencyText(long double mhz) {
    const float single = static_cast<float>(mhz);
    const auto whole = static_cast<std::int64_t>(single);  // truncation toward zero
    return std::to_string(whole) + " Mhz";
}

}  // namespace korvax
