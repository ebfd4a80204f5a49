#include "platform/os_thread.h"

#include <windows.h>

#include <algorithm>

namespace korvax {

void LowerCurrentThreadPriority(int steps) {
    const HANDLE self = ::GetCurrentThread();
    const int current = ::GetThreadPriority(self);
    if (current == THREAD_PRIORITY_ERROR_RETURN) return;
    // The idle level would starve the workers whenever anything else runs.
    ::SetThreadPriority(self, std::max(current - steps, static_cast<int>(THREAD_PRIORITY_LOWEST)));
}

}  // namespace korvax
