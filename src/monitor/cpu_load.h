#pragma once
// The processor-load library: `cpudll.dll` on Windows, `libcpudll.so` on Linux, bound once
// at start-up, exporting `extern "C" int32_t CpuUsage(void)`, the load in percent.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/failure.h"
#include "platform/load_library.h"

namespace korvax {

using CpuUsageFunction = std::int32_t (*)();

// The library's file name on this system.
std::string CpuLoadLibraryName();

// A library that is missing, cannot be loaded or lacks CpuUsage. The message names the
// library and gives the loader's reason.
class LoadLibraryError : public Failure {
public:
    using Failure::Failure;
};

class CpuLoadLibrary {
public:
    // Binds `name`: beside the program, else in the private folder an installed program
    // keeps it in (see LoadProgramLibrary).
    explicit CpuLoadLibrary(const std::string& name = CpuLoadLibraryName());
    CpuUsageFunction CpuUsage() const { return usage_; }

private:
    std::unique_ptr<LoadedLibrary> library_;
    CpuUsageFunction usage_ = nullptr;
};

}  // namespace korvax
