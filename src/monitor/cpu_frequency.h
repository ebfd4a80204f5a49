#pragma once
// The processor's clock rate, measured once at start-up with the cycle counter around a
// 500 ms sleep at the highest priority the OS grants.

#include <cstdint>
#include <string>

namespace korvax {

// Counter ticks over the 500 ms interval to MHz: the difference's low 32 bits, read as an
// unsigned number, times 2e-6.
long double MhzFromTicks(std::uint64_t ticks);

// Measures the clock (blocks the calling thread for about 510 ms).
long double MeasureCpuMhz();

// The text shown for a measured rate: the value stored as a single-precision number, its
// fraction cut off, followed by " Mhz". 1,499,999,999 ticks (2999.999998 MHz) show
// "3000 Mhz": the single-precision step rounds to 3000.0 before the cut.
std::string FrequencyText(long double mhz);

}  // namespace korvax
