#pragma once
// The processor-load library: `libcpudll.so`, bound once at start-up, exporting
// `extern "C" int32_t CpuUsage(void)`, the load in percent.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/failure.h"
#include "platform/load_library.h"

namespace korvax {

using CpuUsageFunction = std::int32_t (*)();

inline constexpr char kCpuLoadLibrary[] = "libcpudll.so";

// A library that is missing, cannot be loaded or lacks CpuUsage. The message names the
// library and gives the loader's reason.
class LoadLibraryError : public Failure {
public:
    using Failure::Failure;
};

class CpuLoadLibrary {
public:
    // Binds `name` (a bare file name): beside the program, else in the private folder an
    // installed program keeps it in; never from anywhere else. A name with a '/' is loaded
    // as it is.
    explicit CpuLoadLibrary(const std::string& name = kCpuLoadLibrary);
    CpuUsageFunction CpuUsage() const { return usage_; }

private:
    std::unique_ptr<LoadedLibrary> library_;
    CpuUsageFunction usage_ = nullptr;
};

}  // namespace korvax
