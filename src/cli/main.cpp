// korvax-scan: the whole check from a terminal: the desktop's collection, per-file check
// and cures, on a fixed pool at full speed or on the desktop's own scheduler; and the
// undoing of cures from their backups.
#include <CLI/CLI.hpp>

#include <chrono>
#include <span>
#include <sstream>
#include <iostream>
#include <memory>

#include "backup/backup_store.h"
#include "backup/restore.h"
#include "check/database_search.h"
#include "check/pooled_check.h"
#include "check/scan_scheduler.h"
#include "check/startup.h"
#include "cli/run_clock.h"
#include "cli/terminal_check.h"
#include "cli/terminal_output.h"
#include "collection/collect_files.h"
#include "collection/path_glob.h"
#include "database/database_load.h"
#include "database/database_update.h"
#include "engine/escaped_text.h"
#include "monitor/cpu_load.h"
#include "platform/owned_output_file.h"
#include "platform/private_folder.h"
#include "platform/terminal_process.h"

namespace {

constexpr char kDescription[] = R"(korvax-scan: check folders for viruses from a terminal.

Walks every FOLDER (and the folders below it) for .EXE and .COM files under 5 MB, in any
letter case, and checks them against the database. Where a database entry carries a cure,
the file is repaired and written back (atomically: a failure never leaves it half-written)
and checked again. A cure never changes who owns a file: one whose owner and group the cured
file cannot be given (a user checking another user's files) is not cured, and stderr says why.

Two ways to run the check, with the same files, rows and counters:
  by default  a fixed pool of --jobs workers, fed while the walk goes on: as fast as the
              machine allows; rows come in the order files finish (--sort for a fixed order)
  --paced     the desktop scanner's own scheduler: the pool grows by one worker at a time,
              and only while the processor load is below 60 %, so the check stays out of
              the way of other work

Output: one line per result row on stdout, as it is reported:
  path<TAB>status<TAB>action
status is the virus name or "Ошибка чтения" (read error), action "Вылечен" (cured) or
"Пропущен" (skipped); clean files give no row. Control characters, backslashes and bytes
that are not UTF-8 in names are written as C-style escapes (\\ \t \n \r \xHH). At the end:
  Всего: N  Проверено: N  Вылечено: N  Тел вирусов: N   (one per line)
With --json, one JSON object per row and a summary object instead (JSON Lines; "result" is
cured, detected, curable, read-error or restored). While it runs, and only when stderr is a
terminal, a progress line on stderr shows the processor load, the pool (files in
hand/workers) and checked/total.

--backup DIR keeps the original of every file before its first write-back in DIR (made
with mode 0700; a folder other users can write to is refused), listed in DIR/index.jsonl
under its absolute path, with its owner and mode and which file the cures left; a file whose
original cannot be kept is not cured. --restore DIR puts the originals back (of every file,
or of the PATHs named, relative ones taken from the current folder) with the recorded owner
and mode, only over the very file the cures left: anything put in its place since is
refused; a file changed since its cure, or that an index of an earlier version cannot
identify, is refused unless --force. "Already as it was" is said only of a file that holds
its original.

Ctrl-C (SIGINT or SIGTERM) stops the check: files in progress are finished and written
whole, the workers end, and the summary is printed. A second one ends the program.

Without --db, the database is virbase.kvd in the current folder when there is one, else the
user's own copy ($XDG_DATA_HOME/korvax/virbase.kvd, by default
~/.local/share/korvax/virbase.kvd, which the desktop launcher makes), else the default
database installed with the program; --verbose says which on stderr. A database found so,
a database to update, a backup folder and a report's folder are used only when they and
every folder above them belong to you or root and nobody else may write to them, and a
link on the way only when it is yours or root's: anything else is refused (status 2), never
passed over. --db names a database to read as it is, but never through another user's link.

With KORVAX_LANG=en the counters, the progress line and the messages are in English; rows
keep their texts.

With --update FILE, FILE is first appended to the database file and its entries added;
without FOLDERs, that is all that is done.

Exit status: 1 when anything was detected, else 2 when a file could not be read, a folder
named does not exist or a folder cannot be read, a path is longer than 1024 bytes, or the
check could not run (database or libcpudll.so missing or refused, a refused backup folder or
report); 0 when all is clean. A restore: 0 when every file asked for is as it was before its cure, else 2.)";

int ProcessorsOnline() { return korvax::OnlineProcessorCount(); }

struct Arguments {
    std::string database;
    std::string update;
    std::vector<std::string> folders;  // the PATHs of a restore
    int jobs = ProcessorsOnline();
    bool paced = false;
    bool sorted = false;
    bool stats = false;
    bool verbose = false;
    bool quiet = false;
    bool json = false;
    std::string report;
    std::string backup;
    std::string restore;
    bool force = false;
    bool noCure = false;
    std::vector<std::string> exclude;
    std::int64_t maxSize = korvax::kMaxScannedFileSize;
};

// Rows of a restore, through the same output as a check's.
class RestoreRows : public korvax::RestoreListener {
public:
    explicit RestoreRows(korvax::cli::TerminalOutput& output) : output_(output) {}
    void Restored(const korvax::BackupRecord& record) override { output_.AddRestored(record.path, record.entry); }
    void AlreadyOriginal(const korvax::BackupRecord& record) override {
        output_.Warn("korvax-scan: " + korvax::EscapeText(record.path) + ": already as it was before its cure");
    }
    void Refused(const std::string& /*path*/, const std::string& reason) override {
        output_.Warn("korvax-scan: not restored: " + reason);
    }

private:
    korvax::cli::TerminalOutput& output_;
};

int RunRestore(const Arguments& arguments, korvax::cli::TerminalOutput& output) {
    RestoreRows rows(output);
    try {
        const korvax::RestoreCounts counts =
            korvax::RestoreBackups(arguments.restore, arguments.folders, arguments.force, rows);
        output.finish();
        output.printRestoreSummary(counts.restored, counts.refused);
        return counts.refused > 0 ? 2 : 0;
    } catch (const std::exception& error) {
        output.finish();
        std::cerr << "korvax-scan: " << korvax::EscapeText(error.what()) << '\n';
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    korvax::StartTerminalProgram(argc, argv);
    using namespace korvax;
    CLI::App app{kDescription, "korvax-scan"};
    Arguments arguments;
    app.add_option("--db", arguments.database,
                   "database file (default: ./virbase.kvd, else the user's copy, else the installed default)");
    app.add_option("--update", arguments.update,
                   "append the database file FILE to the database (on disk and in memory) before the check; "
                   "refused, with nothing changed, unless FILE is a whole database beginning with a virus entry "
                   "and the database file is not damaged")
        ->type_name("FILE");
    app.add_option("FOLDER", arguments.folders,
                   "folders to check (none: only the update is done); with --restore, the files to put back");
    CLI::Option* jobs = app.add_option("--jobs", arguments.jobs, "workers of the default check (default: the processors online)")
                            ->check(CLI::Range(1, 1024));
    app.add_flag("--paced", arguments.paced,
                 "the desktop scanner's scheduler: one worker added at a time while the load is below 60 %")
        ->excludes(jobs);
    app.add_flag("--sort", arguments.sorted, "print the rows at the end, sorted by path, instead of as they come");
    app.add_flag("--no-cure", arguments.noCure,
                 "report only: write nothing; a detection whose entry carries a cure is reported as skipped "
                 "(result curable in JSON) and counted as a detection");
    app.add_option("--backup", arguments.backup,
                   "keep the original of every file in DIR before its first write-back (see above); a file whose "
                   "original cannot be kept is not cured")
        ->type_name("DIR");
    CLI::Option* restore =
        app.add_option("--restore", arguments.restore,
                       "put back the originals kept in DIR (of every file, or of the PATHs given) instead of checking")
            ->type_name("DIR");
    app.add_flag("--force", arguments.force,
                 "with --restore: also put back files changed since their cure (and those an index of an earlier "
                 "version cannot identify)")
        ->needs(restore);
    // One pattern per --exclude: taking every word up to the next option would swallow the
    // FOLDERs after it ("--exclude '*.tmp' /srv" would check nothing).
    app.add_option("--exclude", arguments.exclude,
                   "pass over paths matching GLOB (shell-style against the full path; * stays within a folder, "
                   "** spans folders; a matching folder is not entered); one GLOB each, repeat for more; "
                   "at most " + std::to_string(kMaxGlobPatternSize) + " bytes")
        ->type_name("GLOB")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Validator(
            [](const std::string& pattern) {
                return pattern.size() > kMaxGlobPatternSize
                           ? "GLOB longer than " + std::to_string(kMaxGlobPatternSize) + " bytes (" +
                                 std::to_string(pattern.size()) + ")"
                           : std::string();
            },
            "", ""));
    app.add_option("--max-size", arguments.maxSize,
                   "collect only files smaller than BYTES (at most 5242880, the scanner's own limit)")
        ->type_name("BYTES")
        ->check(CLI::Range(std::int64_t{1}, kMaxScannedFileSize));
    app.add_flag("--json", arguments.json, "JSON Lines on stdout instead of the rows and counters");
    app.add_option("--report", arguments.report,
                   "also write the rows and the summary as JSON Lines to FILE, whole, at the end (never through a "
                   "link; an existing FILE only when it is a regular file of yours)")
        ->type_name("FILE");
    CLI::Option* quiet = app.add_flag("--quiet", arguments.quiet, "print the summary only");
    app.add_flag("--verbose", arguments.verbose,
                 "say on stderr which database is used, how many entries it holds, and every folder entered")
        ->excludes(quiet);
    app.add_flag("--stats", arguments.stats,
                 "at the end, print on stderr the wall time, the CPU time of the main (user-interface) thread, "
                 "the process's CPU time, its peak memory and the number of workers created");
    app.set_version_flag("--version", std::string("korvax-scan ") + KORVAX_VERSION, "print the version and exit");
    restore->excludes(app.get_option("--update"))->excludes(app.get_option("--backup"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    // The report is looked at now and written whole at the end: a file that is there stays
    // as it was until the new one replaces it.
    std::unique_ptr<OwnedOutputFile> reportFile;
    std::ostringstream report;
    if (!arguments.report.empty()) {
        try {
            reportFile = std::make_unique<OwnedOutputFile>(arguments.report);
        } catch (const Failure& error) {
            std::cerr << "korvax-scan: " << EscapeText(error.what()) << '\n';
            return 2;
        }
    }
    // The exit status, once the report is in place (a report that cannot be written makes it 2).
    const auto finish = [&](int status) {
        if (!reportFile) return status;
        try {
            const std::string text = report.str();
            reportFile->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        } catch (const Failure& error) {
            std::cerr << "korvax-scan: the report was not written: " << EscapeText(error.what()) << '\n';
            return status == 1 ? 1 : 2;
        }
        return status;
    };
    cli::OutputOptions outputOptions;
    outputOptions.showProgress = StandardErrorIsTerminal();
    outputOptions.sorted = arguments.sorted;
    outputOptions.json = arguments.json;
    outputOptions.quiet = arguments.quiet;
    outputOptions.verbose = arguments.verbose;
    outputOptions.report = reportFile ? &report : nullptr;

    if (!arguments.restore.empty()) {
        cli::TerminalOutput output(nullptr, std::cout, std::cerr, outputOptions);
        return finish(RunRestore(arguments, output));
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
    try {
        const DatabasePlace place = ChooseDatabase(arguments.database, DatabaseSearch::FromEnvironment());
        state.BasePath = place.path;
        if (arguments.verbose) {
            std::cerr << "korvax-scan: database " << EscapeText(place.path) << " (" << OriginText(place.origin) << ")\n";
        }
    } catch (const Failure& error) {
        std::cerr << "korvax-scan: " << EscapeText(error.what()) << '\n';
        return 2;
    }
    const DatabaseLoad load = LoadStartupDatabase(state.BasePath, state.pool.VirusBase);
    if (!load.message.empty()) std::cerr << EscapeText(load.message) << '\n';
    if (!load.loaded) return 2;

    if (!arguments.update.empty()) {
        try {
            UpdateDatabase(arguments.update, state.BasePath, state.pool.VirusBase, state.CheckRunning);
        } catch (const Failure& error) {
            std::cerr << EscapeText(error.what()) << '\n';
            return 2;
        }
        if (arguments.folders.empty()) return 0;
    } else if (arguments.folders.empty()) {
        std::cerr << app.help() << '\n';
        return 2;
    }
    if (arguments.verbose) std::cerr << "korvax-scan: " << state.pool.VirusBase.size() << " database entries\n";

    std::unique_ptr<BackupStore> backups;
    if (!arguments.backup.empty()) {
        try {
            backups = std::make_unique<BackupStore>(arguments.backup, std::cerr);
        } catch (const Failure& error) {
            std::cerr << "korvax-scan: " << EscapeText(error.what()) << '\n';
            return 2;
        }
    }
    FileCheckOptions fileCheck;
    fileCheck.noCure = arguments.noCure;
    fileCheck.guard = backups.get();
    CollectOptions collect;
    collect.exclude = arguments.exclude;
    collect.maxSize = arguments.maxSize;

    const cli::RunClock runClock;
    const auto started = std::chrono::steady_clock::now();
    cli::InstallStopSignals();
    cli::TerminalOutput output(loadLibrary->CpuUsage(), std::cout, std::cerr, outputOptions);
    cli::RunSummary summary;
    std::int32_t workers = 0;
    try {
        if (arguments.paced) {
            cli::TerminalCheck terminal(state, output, arguments.folders);
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
            const CheckCounts counts = RunPooledCheck(arguments.folders, RefreshPlan(state.pool), state.pool.counters,
                                                      output, cli::StopSignalled, options);
            summary.total = counts.total;
            summary.checked = counts.checked;
            workers = arguments.jobs;
        }
    } catch (const std::exception& error) {
        output.finish();
        std::cerr << EscapeText(error.what()) << '\n';
        return finish(2);
    }
    output.finish();
    if (arguments.stats) std::cerr << runClock.report(workers) << '\n';

    summary.cured = state.pool.counters.CuredCount.load();
    summary.viruses = state.pool.counters.VirusCount.load();
    summary.readErrors = output.readErrors();
    summary.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.databaseEntries = static_cast<std::int64_t>(state.pool.VirusBase.size());
    output.printSummary(summary);
    if (summary.viruses > 0) return finish(1);
    return finish(output.sawReadError() || output.missedSomething() ? 2 : 0);
}
