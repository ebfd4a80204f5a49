#pragma once
// The desktop scanner's start-up, the same under every window toolkit, in this order: the
// processor clock is measured (for the frequency figure), the load library is bound, the
// memory limit and the database path are fixed, and the database is loaded. Then, every
// 500 ms for the whole run, the refresh reads the load and gives the figures the windows
// show.
//
// A database that someone else could have written is not loaded at all: a check would
// cure by that user's entries. The program then runs without one, as when the file is
// missing, and the user is told why.
//
// Use on the user-interface thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/program_state.h"
#include "monitor/cpu_load.h"
#include "monitor/status_refresh.h"

namespace korvax {

struct StartupSteps {
    std::string loadLibrary = CpuLoadLibraryName();
    // Measures the processor clock in MHz (about half a second); empty: the real measurement.
    std::function<long double()> measureMhz;
};

class DesktopStartup {
public:
    // Runs the start-up into `state`. Never throws: what goes wrong is kept for Messages()
    // and LibraryFailure().
    DesktopStartup(ProgramState& state, const StartupSteps& steps);

    // The processor clock as the main window shows it ("2394 Mhz").
    const std::string& Frequency() const { return frequency_; }
    // Without the load library the program cannot run and must end; the rest of the
    // start-up was not done then.
    bool LibraryBound() const { return library_ != nullptr; }
    // Why the load library could not be bound (the loader's reason).
    const std::string& LibraryFailure() const { return libraryFailure_; }
    // What the standard error display shows once the windows exist, in order, each as
    // the user reads it (UTF-8, file names decoded and escaped).
    const std::vector<std::string>& Messages() const { return messages_; }

    // The periodic refresh: reads the load into state.CpuLoad and gives every figure the
    // windows show. Only while the library is bound.
    StatusFigures Refresh(ProgramState& state) const;

private:
    std::string frequency_;
    std::unique_ptr<CpuLoadLibrary> library_;
    std::string libraryFailure_;
    std::vector<std::string> messages_;
};

}  // namespace korvax
