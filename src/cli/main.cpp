// korvax-scan: the whole check from a terminal, through the same scheduler, workers and
// refresh as the desktop window.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <iostream>

#include "check/database_search.h"
#include "check/scan_scheduler.h"
#include "check/startup.h"
#include "cli/run_clock.h"
#include "cli/terminal_check.h"
#include "database/database_update.h"
#include "database/database_load.h"
#include "monitor/cpu_load.h"

namespace {

constexpr char kDescription[] = R"(korvax-scan: check folders for viruses from a terminal.

Walks every FOLDER (and the folders below it) for .EXE and .COM files under 5 MB, in any
letter case, and checks them against the database on a pool of worker threads that grows
while the processor has room. Where a database entry carries a cure, the file is repaired
and written back (atomically: a failure never leaves it half-written) and checked again.

Output: one line per result row on stdout, as it is reported:
  path<TAB>status<TAB>action
status is the virus name or "Ошибка чтения" (read error), action "Вылечен" (cured) or
"Пропущен" (skipped); clean files give no row. At the end:
  Всего: N  Проверено: N  Вылечено: N  Тел вирусов: N   (one per line)
While it runs, and only when stderr is a terminal, a progress line on stderr shows the
processor load, the pool (files in hand/workers) and checked/total.

Ctrl-C (SIGINT or SIGTERM) stops the check: files in progress are finished and written
whole, the workers end, and the summary is printed. A second one ends the program.

Without --db, the database is virbase.kvd in the current folder when there is one, else the
user's own copy ($XDG_DATA_HOME/korvax/virbase.kvd, by default
~/.local/share/korvax/virbase.kvd, which the desktop launcher makes), else the default
database installed with the program; --verbose says which on stderr.

With KORVAX_LANG=en the counters, the progress line and the messages are in English; rows
keep their texts.

With --update FILE, FILE is first appended to the database file and its entries added;
without FOLDERs, that is all that is done.

Exit status: 1 when anything was detected, else 2 when a file could not be read or the
check could not run (database or libcpudll.so missing), else 0.)";

}  // namespace

int main(int argc, char** argv) {
    using namespace korvax;
    CLI::App app{kDescription, "korvax-scan"};
    std::string database;
    std::string update;
    std::vector<std::string> folders;
    app.add_option("--db", database,
                   "database file (default: ./virbase.kvd, else the user's copy, else the installed default)");
    app.add_option("--update", update,
                   "append the database file FILE to the database (on disk and in memory) before the check; "
                   "refused, with nothing changed, unless FILE is a whole database beginning with a virus entry")
        ->type_name("FILE");
    app.add_option("FOLDER", folders, "folders to check (none: only the update is done)");
    bool stats = false;
    app.add_flag("--stats", stats,
                 "at the end, print on stderr the wall time, the CPU time of the main (user-interface) thread, "
                 "the process's CPU time, its peak memory and the number of workers created");
    bool verbose = false;
    app.add_flag("--verbose", verbose, "say on stderr which database is used");
    app.set_version_flag("--version", std::string("korvax-scan ") + KORVAX_VERSION, "print the version and exit");
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
        std::cerr << "korvax-scan: " << error.what() << '\n';
        return 2;
    }
    state.MemoryLimit = ComputeMemoryLimit();
    try {
        const DatabasePlace place = ChooseDatabase(database, DatabaseSearch::FromEnvironment());
        state.BasePath = place.path;
        if (verbose) std::cerr << "korvax-scan: database " << place.path << " (" << OriginText(place.origin) << ")\n";
    } catch (const Failure& error) {
        std::cerr << "korvax-scan: " << error.what() << '\n';
        return 2;
    }
    const DatabaseLoad load = LoadStartupDatabase(state.BasePath, state.pool.VirusBase);
    if (!load.message.empty()) std::cerr << load.message << '\n';
    if (!load.loaded) return 2;

    if (!update.empty()) {
        try {
            UpdateDatabase(update, state.BasePath, state.pool.VirusBase, state.CheckRunning);
        } catch (const Failure& error) {
            std::cerr << error.what() << '\n';
            return 2;
        }
        if (folders.empty()) return 0;
    } else if (folders.empty()) {
        std::cerr << app.help() << '\n';
        return 2;
    }

    const cli::RunClock runClock;
    cli::TerminalCheck::InstallStopSignals();
    cli::TerminalCheck terminal(state, loadLibrary->CpuUsage(), folders, std::cout, std::cerr,
                                ::isatty(STDERR_FILENO) == 1);
    try {
        SpeedButton3Click(state, terminal, terminal);
    } catch (const std::exception& error) {
        terminal.finishProgress();
        std::cerr << error.what() << '\n';
        return 2;
    }
    terminal.finishProgress();

    if (stats) std::cerr << runClock.report(state.NextThreadId) << '\n';

    terminal.printSummary();
    if (state.pool.counters.VirusCount.load() > 0) return 1;
    return terminal.sawReadError() ? 2 : 0;
}
