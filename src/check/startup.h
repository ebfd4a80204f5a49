#pragma once
// Start-up steps shared by the desktop window and korvax-scan.

#include <string>

#include "check/program_state.h"

namespace korvax {

inline constexpr char kDatabaseFileName[] = "virbase.kvd";

// The database path: the current directory at start-up and "virbase.kvd". It is never
// recomputed, even when the settings window later changes the current directory.
std::string StartupBasePath();

// Twice the physical memory.
std::int64_t ComputeMemoryLimit();

}  // namespace korvax
