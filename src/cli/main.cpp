// korvax-scan: the whole check from a terminal: the desktop's collection, per-file check
// and cures, on a fixed pool at full speed or on the desktop's own scheduler; and the
// undoing of cures from their backups. main() is the list of steps; each step says what
// ends the run early.
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "backup/restore.h"
#include "check/database_search.h"
#include "check/pooled_check.h"
#include "check/scan_scheduler.h"
#include "check/startup.h"
#include "cli/arguments.h"
#include "cli/check_store.h"
#include "cli/report_sink.h"
#include "cli/run_clock.h"
#include "cli/terminal_check.h"
#include "cli/terminal_output.h"
#include "database/database_load.h"
#include "database/database_update.h"
#include "engine/escaped_text.h"
#include "monitor/cpu_load.h"
#include "platform/terminal_process.h"

namespace {

using namespace korvax;
using cli::Arguments;

void Tell(const std::exception& error) { std::cerr << "korvax-scan: " << EscapeText(error.what()) << '\n'; }

cli::OutputOptions OutputFor(const Arguments& arguments, std::ostream* report) {
    cli::OutputOptions options;
    options.showProgress = StandardErrorIsTerminal();
    options.sorted = arguments.sorted;
    options.json = arguments.json;
    options.quiet = arguments.quiet;
    options.verbose = arguments.verbose;
    options.report = report;
    return options;
}

// Rows of a restore, through the same output as a check's.
class RestoreRows : public RestoreListener {
public:
    explicit RestoreRows(cli::TerminalOutput& output) : output_(output) {}
    void Restored(const BackupRecord& record) override { output_.AddRestored(record.path, record.entry); }
    void AlreadyOriginal(const BackupRecord& record) override {
        output_.Warn("korvax-scan: " + EscapeText(record.path) + ": already as it was before its cure");
    }
    void Refused(const std::string& /*path*/, const std::string& reason) override {
        output_.Warn("korvax-scan: not restored: " + reason);
    }
    void Note(const std::string& message) override { output_.Warn("korvax-scan: " + message); }

private:
    cli::TerminalOutput& output_;
};

int RunRestore(const Arguments& arguments, cli::TerminalOutput& output) {
    RestoreRows rows(output);
    try {
        const RestoreCounts counts = RestoreBackups(arguments.restore, arguments.paths, arguments.force, rows);
        output.finish();
        output.printRestoreSummary(counts.restored, counts.refused);
        return counts.refused > 0 ? 2 : 0;
    } catch (const std::exception& error) {
        output.finish();
        Tell(error);
        return 2;
    }
}

// The database the check runs with, loaded into `state`; false (the reason told) when there
// is none to run with.
bool LoadDatabase(const Arguments& arguments, ProgramState& state) {
    try {
        const DatabasePlace place = ChooseDatabase(arguments.database, DatabaseSearch::FromEnvironment());
        state.BasePath = place.path;
        if (arguments.verbose) {
            std::cerr << "korvax-scan: database " << EscapeText(place.path) << " (" << OriginText(place.origin) << ")\n";
        }
    } catch (const Failure& error) {
        Tell(error);
        return false;
    }
    const DatabaseLoad load = LoadStartupDatabase(state.BasePath, state.pool.VirusBase);
    if (!load.message.empty()) std::cerr << EscapeText(load.message) << '\n';
    return load.loaded;
}

bool Update(const Arguments& arguments, ProgramState& state) {
    try {
        UpdateDatabase(arguments.update, state.BasePath, state.pool.VirusBase, state.CheckRunning);
        return true;
    } catch (const Failure& error) {
        std::cerr << EscapeText(error.what()) << '\n';
        return false;
    }
}

// Runs the check of every path with the chosen scheduler; the figures it ends with.
cli::RunSummary RunCheck(const Arguments& arguments, ProgramState& state, const CheckStore& store,
                         cli::TerminalOutput& output, std::int32_t& workers) {
    FileCheckOptions fileCheck;
    fileCheck.noCure = arguments.noCure;
    fileCheck.guard = store.backups.get();
    fileCheck.trusted = store.trusted.get();
    CollectOptions collect;
    collect.exclude = arguments.exclude;
    collect.maxSize = arguments.maxSize;
    cli::RunSummary summary;
    if (arguments.paced) {
        cli::TerminalCheck terminal(state, output, arguments.paths);
        CheckOptions options;
        options.fileCheck = fileCheck;
        options.collect = collect;
        options.collect.onFolderEntered = [&](const std::string& folder) { output.FolderEntered(folder); };
        SpeedButton3Click(state, terminal, terminal, options);
        summary.total = state.files.TotalFiles;
        summary.checked = state.pool.CheckedCount;
        workers = state.NextThreadId;
    } else {
        PooledCheckOptions options;
        options.jobs = arguments.jobs;
        options.fileCheck = fileCheck;
        options.collect = collect;
        const CheckCounts counts = RunPooledCheck(arguments.paths, RefreshPlan(state.pool), state.pool.counters, output,
                                                  StopRequested, options);
        summary.total = counts.total;
        summary.checked = counts.checked;
        workers = arguments.jobs;
    }
    return summary;
}

// The summary's figures beside what the check counted itself, and the exit status.
int Summarize(cli::RunSummary summary, const Arguments& arguments, const ProgramState& state,
              const CheckStore& store, cli::TerminalOutput& output, std::chrono::steady_clock::time_point started) {
    summary.cured = state.pool.counters.CuredCount.load();
    summary.viruses = state.pool.counters.VirusCount.load();
    summary.readErrors = output.readErrors();
    summary.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.databaseEntries = static_cast<std::int64_t>(state.pool.VirusBase.size());
    summary.passedOver = output.passedOver();
    if (store.trusted) summary.trusted = store.trusted->Met();
    summary.backupStore = store.backups ? store.folder : "";
    summary.noBackup = arguments.noBackup && !arguments.noCure;
    output.printSummary(summary);
    if (summary.viruses > 0) return 1;
    return output.sawReadError() || output.missedSomething() ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    korvax::StartTerminalProgram(argc, argv);
    Arguments arguments;
    std::string help;
    if (const std::optional<int> status = cli::ParseArguments(argc, argv, arguments, help)) return *status;

    // The report's place is looked at before anything else is done.
    std::unique_ptr<cli::ReportSink> report;
    try {
        report = std::make_unique<cli::ReportSink>(arguments.report);
    } catch (const Failure& error) {
        Tell(error);
        return 2;
    }
    const cli::OutputOptions outputOptions = OutputFor(arguments, report->stream());

    if (!arguments.restore.empty()) {
        cli::TerminalOutput output(nullptr, std::cout, std::cerr, outputOptions);
        return report->Finish(RunRestore(arguments, output), std::cerr);
    }
    if (!arguments.trust.empty() || !arguments.untrust.empty()) {
        return report->Finish(cli::ChangeTrust(arguments, std::cout, std::cerr), std::cerr);
    }

    ProgramState state;
    std::unique_ptr<CpuLoadLibrary> loadLibrary;
    try {
        loadLibrary = std::make_unique<CpuLoadLibrary>();
    } catch (const LoadLibraryError& error) {
        Tell(error);
        return 2;
    }
    state.MemoryLimit = ComputeMemoryLimit();
    if (!LoadDatabase(arguments, state)) return 2;
    if (!arguments.update.empty()) {
        if (!Update(arguments, state)) return 2;
        if (arguments.paths.empty()) return 0;
    } else if (arguments.paths.empty()) {
        std::cerr << help << '\n';
        return 2;
    }
    if (arguments.verbose) std::cerr << "korvax-scan: " << state.pool.VirusBase.size() << " database entries\n";

    CheckStore store;
    try {
        store = cli::OpenCheckStore(arguments, std::cerr);
    } catch (const Failure& error) {
        Tell(error);
        return 2;
    }

    const cli::RunClock runClock;
    const auto started = std::chrono::steady_clock::now();
    InstallStopRequests();
    cli::TerminalOutput output(loadLibrary->CpuUsage(), std::cout, std::cerr, outputOptions);
    std::int32_t workers = 0;
    cli::RunSummary summary;
    try {
        summary = RunCheck(arguments, state, store, output, workers);
    } catch (const std::exception& error) {
        output.finish();
        std::cerr << EscapeText(error.what()) << '\n';
        return report->Finish(2, std::cerr);
    }
    output.finish();
    if (arguments.stats) std::cerr << runClock.report(workers) << '\n';
    return report->Finish(Summarize(summary, arguments, state, store, output, started), std::cerr);
}
