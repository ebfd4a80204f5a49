#include "cli/arguments.h"

#include <CLI/CLI.hpp>

#include "collection/path_glob.h"
#include "platform/terminal_process.h"

namespace korvax::cli {
namespace {

constexpr char kDescription[] = R"(korvax-scan: check folders and files for viruses from a terminal.

Walks every FOLDER (and the folders below it) for .EXE and .COM files under 5 MB, in any
letter case, and checks them against the database. A FILE named is checked whatever its
name (one of 5 MB or more, a FIFO or a device is refused, never opened). Where a database entry carries a cure,
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

Every cure can be undone: before the first write-back of a file its original is kept in
the backup store, by default your own ($XDG_DATA_HOME/korvax/backups, by default
~/.local/share/korvax/backups; --backup DIR names another), transformed so that nobody runs
it by mistake and no scanner takes the store for infected, listed in index.jsonl under its
absolute path with its owner and mode and which file the cures left. A file whose original
cannot be kept is not cured; --no-backup keeps none, and the summary says so. The store
prunes its oldest backups past 1 GiB or 90 days (--backup-max-mb, --backup-max-days), never
the newest backup of a file. --restore DIR puts the originals back (of every file, or of
the PATHs named, relative ones taken from the current folder) with the recorded owner and
mode, only over the very file the cures left: anything put in its place since is refused;
a file changed since its cure, or that an index of an earlier version cannot identify, is
refused unless --force. "Already as it was" is said only of a file that holds its original.
A file put back is trusted: checks find it clean while its path and bytes stay as they
were (the summary names the trusted files met). --trust FILE and --untrust FILE change that
list, kept in the store.

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

}  // namespace

std::optional<int> ParseArguments(int argc, char** argv, Arguments& arguments, std::string& help) {
    arguments.jobs = OnlineProcessorCount();
    CLI::App app{kDescription, "korvax-scan"};
    // Every argument that is no "--option" is a path: "/x" is a name on Windows too, where
    // CLI11 would otherwise take it for an option.
    app.allow_windows_style_options(false);
    std::int64_t megabytes = kDefaultStoreBytes >> 20;
    app.add_option("--db", arguments.database,
                   "database file (default: ./virbase.kvd, else the user's copy, else the installed default)");
    app.add_option("--update", arguments.update,
                   "append the database file FILE to the database (on disk and in memory) before the check; "
                   "refused, with nothing changed, unless FILE is a whole database beginning with a virus entry "
                   "and the database file is not damaged")
        ->type_name("FILE");
    app.add_option("PATH", arguments.paths,
                   "folders and files to check (none: only the update is done); with --restore, the files to put "
                   "back");
    CLI::Option* jobs = app.add_option("--jobs", arguments.jobs, "workers of the default check (default: the processors online)")
                            ->check(CLI::Range(1, 1024));
    app.add_flag("--paced", arguments.paced,
                 "the desktop scanner's scheduler: one worker added at a time while the load is below 60 %")
        ->excludes(jobs);
    app.add_flag("--sort", arguments.sorted, "print the rows at the end, sorted by path, instead of as they come");
    app.add_flag("--no-cure", arguments.noCure,
                 "report only: write nothing; a detection whose entry carries a cure is reported as skipped "
                 "(result curable in JSON) and counted as a detection");
    CLI::Option* backup =
        app.add_option("--backup", arguments.backup,
                       "keep the originals in the store DIR instead of your own (see above); a file whose original "
                       "cannot be kept is not cured")
            ->type_name("DIR");
    CLI::Option* noBackup =
        app.add_flag("--no-backup", arguments.noBackup, "keep no original of the files cured (the summary says so)")
            ->excludes(backup);
    app.add_option("--backup-max-mb", megabytes,
                   "prune the store's oldest backups past this many MiB (default 1024; never the newest of a file)")
        ->type_name("MB")
        ->check(CLI::Range(std::int64_t{1}, std::int64_t{1} << 30))
        ->excludes(noBackup);
    app.add_option("--backup-max-days", arguments.storeLimits.maxDays,
                   "prune the store's backups older than this many days (default 90; never the newest of a file)")
        ->type_name("DAYS")
        ->check(CLI::Range(1, 100000))
        ->excludes(noBackup);
    CLI::Option* trust =
        app.add_option("--trust", arguments.trust,
                       "instead of a check: trust FILE as it is now (checks find it clean while its path and bytes "
                       "stay so); the list is kept in the store")
            ->type_name("FILE");
    CLI::Option* untrust =
        app.add_option("--untrust", arguments.untrust, "instead of a check: take FILE off the trusted list")
            ->type_name("FILE");
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
    restore->excludes(app.get_option("--update"))->excludes(backup)->excludes(noBackup)->excludes(trust)->excludes(untrust);
    trust->excludes(untrust)->excludes(app.get_option("--update"));
    untrust->excludes(app.get_option("--update"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    arguments.storeLimits.maxBytes = megabytes << 20;
    help = app.help();
    return std::nullopt;
}

}  // namespace korvax::cli
