// korvax-scan: the whole check from a terminal, through the same scheduler, workers and
// refresh as the desktop window.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <iostream>

#include "check/pooled_check.h"
#include "check/scan_scheduler.h"
#include "check/startup.h"
#include "cli/run_clock.h"
#include "cli/terminal_check.h"
#include "cli/terminal_output.h"
#include "database/database_update.h"
#include "database/database_load.h"
#include "engine/escaped_text.h"
#include "engine/row_format.h"
#include "monitor/cpu_load.h"

namespace {

constexpr char kDescription[] = R"(korvax-scan: check folders for viruses from a terminal.

Walks every FOLDER (and the folders below it) for .EXE and .COM files under 5 MB, in any
letter case, and checks them against the database. Where a database entry carries a cure,
the file is repaired and written back (atomically: a failure never leaves it half-written)
and checked again.

Two ways to run the check, with the same files, rows and counters:
  by default  a fixed pool of --jobs workers, fed while the walk goes on: as fast as the
              machine allows; rows come in the order files finish (--sort for a fixed order)
  --paced     the desktop scanner's own scheduler: the pool grows by one worker at a time,
              and only while the processor load is below 60 %, so the check stays out of
              the way of other work

Output: one line per result row on stdout, as it is reported:
  path<TAB>status<TAB>action
status is the virus name or "Ошибка чтения" (read error), action "Вылечен" (cured) or
"Пропущен" (skipped); clean files give no row. A row is one line whatever a name holds:
in paths and virus names a backslash is written \\, a tab \t, a newline \n, a carriage
return \r, any other control character (C1 controls too) as \xHH per byte, and in paths
every byte that is not UTF-8 as \xHH (virus names that are not UTF-8 are read as
Windows-1251). Other names print unchanged; paths in messages on stderr are escaped alike.
At the end:
  Всего: N  Проверено: N  Вылечено: N  Тел вирусов: N   (one per line)
While it runs, and only when stderr is a terminal, a progress line on stderr shows the
processor load, the pool (files in hand/workers) and checked/total.

Ctrl-C (SIGINT or SIGTERM) stops the check: files in progress are finished and written
whole, the workers end, and the summary is printed. A second one ends the program.

With --update FILE, FILE is first appended to the database file and its entries added;
without FOLDERs, that is all that is done.

Exit status: 1 when anything was detected, else 2 when a file could not be read or the
check could not run (database or libcpudll.so missing), else 0.)";

int ProcessorsOnline() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvax;
    CLI::App app{kDescription, "korvax-scan"};
    std::string database;
    std::string update;
    std::vector<std::string> folders;
    app.add_option("--db", database, "database file (default: virbase.kvd in the current directory)");
    app.add_option("--update", update,
                   "append the database file FILE to the database (on disk and in memory) before the check; "
                   "refused, with nothing changed, unless FILE is a whole database beginning with a virus entry")
        ->type_name("FILE");
    app.add_option("FOLDER", folders, "folders to check (none: only the update is done)");
    int jobs = ProcessorsOnline();
    bool paced = false;
    bool sorted = false;
    CLI::Option* jobsOption =
        app.add_option("--jobs", jobs, "workers of the default check (default: the processors online)")
            ->check(CLI::Range(1, 1024));
    app.add_flag("--paced", paced,
                 "the desktop scanner's scheduler: one worker added at a time while the load is below 60 %")
        ->excludes(jobsOption);
    app.add_flag("--sort", sorted, "print the rows at the end, sorted by path, instead of as they come");
    bool stats = false;
    app.add_flag("--stats", stats,
                 "at the end, print on stderr the wall time, the CPU time of the main (user-interface) thread, "
                 "the process's CPU time, its peak memory and the number of workers created");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    ProgramState state;
    std::unique_ptr<CpuLoadLibrary> loadLibrary;
    try {
        loadLibrary = std::make_unique<CpuLoadLibrary>();
    } catch (const LoadLibraryError& error) {
        std::cerr << "korvax-scan: " << EscapeText(error.what()) << '\n';
        return 2;
    }
    state.MemoryLimit = ComputeMemoryLimit();
    state.BasePath = database.empty() ? StartupBasePath() : database;
    const DatabaseLoad load = LoadStartupDatabase(state.BasePath, state.pool.VirusBase);
    if (!load.message.empty()) std::cerr << EscapeText(load.message) << '\n';
    if (!load.loaded) return 2;

    if (!update.empty()) {
        try {
            UpdateDatabase(update, state.BasePath, state.pool.VirusBase, state.CheckRunning);
        } catch (const Failure& error) {
            std::cerr << EscapeText(error.what()) << '\n';
            return 2;
        }
        if (folders.empty()) return 0;
    } else if (folders.empty()) {
        std::cerr << app.help() << '\n';
        return 2;
    }

    const cli::RunClock runClock;
    cli::InstallStopSignals();
    cli::TerminalOutput output(loadLibrary->CpuUsage(), std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, sorted);
    std::int32_t total = 0;
    std::int32_t checked = 0;
    std::int32_t workers = 0;
    try {
        if (paced) {
            cli::TerminalCheck terminal(state, output, folders);
            SpeedButton3Click(state, terminal, terminal);
            total = state.files.TotalFiles;
            checked = state.pool.CheckedCount;
            workers = state.NextThreadId;
        } else {
            PooledCheckOptions options;
            options.jobs = jobs;
            const CheckCounts counts =
                RunPooledCheck(folders, state.pool.VirusBase, state.pool.counters, output, cli::StopSignalled, options);
            total = counts.total;
            checked = counts.checked;
            workers = jobs;
        }
    } catch (const std::exception& error) {
        output.finish();
        std::cerr << EscapeText(error.what()) << '\n';
        return 2;
    }
    output.finish();

    if (stats) std::cerr << runClock.report(workers) << '\n';

    const std::int32_t viruses = state.pool.counters.VirusCount.load();
    std::cout << FormatCounter("Всего", total) << '\n'
              << FormatCounter("Проверено", checked) << '\n'
              << FormatCounter("Вылечено", state.pool.counters.CuredCount.load()) << '\n'
              << FormatCounter("Тел вирусов", viruses) << '\n';
    std::cout.flush();
    if (viruses > 0) return 1;
    return output.sawReadError() ? 2 : 0;
}
