// A library that loads but does not export CpuUsage: the monitor must refuse it as it
// refuses a missing one. (Built with the default visibility, and on Windows without an
// export list, so its one function is exported on both.)
#include <cstdint>

extern "C" std::int32_t CpuUsageElsewhere(void) { return 1; }
