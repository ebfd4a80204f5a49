#include "desktop/desktop_startup.h"

#include "check/database_search.h"
#include "check/startup.h"
#include "database/database_load.h"
#include "engine/display_text.h"
#include "monitor/cpu_frequency.h"

namespace korvax {

DesktopStartup::DesktopStartup(ProgramState& state, const StartupSteps& steps) {
    frequency_ = FrequencyText(steps.measureMhz ? steps.measureMhz() : MeasureCpuMhz());
    try {
        library_ = std::make_unique<CpuLoadLibrary>(steps.loadLibrary);
    } catch (const LoadLibraryError& failure) {
        // Nothing else of the start-up is needed: the program ends.
        libraryFailure_ = failure.what();
        return;
    }
    try {
        state.MemoryLimit = ComputeMemoryLimit();
        state.BasePath = StartupBasePath();
        try {
            RequireTrustedDatabase({state.BasePath, DatabaseOrigin::CurrentFolder});
        } catch (const NotTrusted&) {
            throw;
        } catch (const Failure&) {
            // Nothing there, or it cannot be looked at: the load says so in its own words.
        }
        const DatabaseLoad load = LoadStartupDatabase(state.BasePath, state.pool.VirusBase);
        if (!load.message.empty()) messages_.push_back(DisplayText(load.message));
    } catch (const std::exception& failure) {
        // The start-up ends here; the windows run all the same, without a database.
        messages_.push_back(DisplayText(failure.what()));
    }
}

StatusFigures DesktopStartup::Refresh(ProgramState& state) const {
    return RefreshStatus(library_->CpuUsage(), state.CpuLoad, CountsOf(state));
}

}  // namespace korvax
