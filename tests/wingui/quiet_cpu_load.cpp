// The load library the window tests bind instead of cpudll.dll: it always reports a quiet
// processor, so a check's pool grows the same way on a busy test machine as on an idle one
// (under a load of 60 % or more the pool would not grow at all).
#include <cstdint>

extern "C" __declspec(dllexport) std::int32_t CpuUsage(void) { return 5; }
