// kvdtool: the signature author's database tool.
#include <CLI/CLI.hpp>

#include <iostream>

#include "backup/check_store.h"
#include "engine/escaped_text.h"
#include "platform/terminal_process.h"
#include "scan_command.h"
#include "source_commands.h"

int main(int argc, char** argv) {
    korvax::StartTerminalProgram(argc, argv);
    CLI::App app{"kvdtool: assemble, disassemble, verify Korvax databases and scan files against them"};
    // Every argument that is no "--option" is a name: "/x" is a path on Windows too.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("kvdtool ") + KORVAX_VERSION, "print the version and exit");

    std::string database;
    std::vector<std::string> files;
    CLI::App* scan = app.add_subcommand("scan", "Check FILEs against the database DB as the scanner does (cures are written back)");
    scan->footer(
        "Prints one line per result row, path<TAB>status<TAB>action, then the counters. Control characters and "
        "backslashes in paths and virus names, and bytes of paths that are not UTF-8, are escaped (\\\\, \\t, "
        "\\n, \\r, \\xHH), so a row is always one line; other names print unchanged. On Windows a path shows "
        "as Windows shows it, backslashes and all, and what cannot stand on one line as U+FFFD.");
    scan->add_option("DB", database, "database file (.kvd)")->required();
    scan->add_option("FILE", files, "files to check, in this order")->required();
    bool reference = false;
    scan->add_flag("--reference", reference,
                   "check with the literal interpreter, entry by entry, instead of the compiled database "
                   "(slower; the output is the same)");
    korvax::StoreChoice store;
    bool noBackup = false;
    CLI::Option* backup =
        scan->add_option("--backup", store.folder,
                         "keep the original of every file cured in the store DIR (default: your own, as korvax-scan "
                         "and the desktop scanner keep them); a file whose original cannot be kept is not cured")
            ->type_name("DIR");
    scan->add_flag("--no-backup", noBackup, "keep no original of the files cured")->excludes(backup);

    std::string source;
    std::string output;
    CLI::App* assemble = app.add_subcommand("assemble", "Assemble signature source SRC into the database OUT");
    assemble->add_option("SRC", source, "signature source (see docs/signatures.md)")->required();
    assemble->add_option("OUT", output, "database file to write (.kvd)")->required();

    CLI::App* disassemble = app.add_subcommand("disassemble", "Print the database KVD as signature source");
    disassemble->add_option("KVD", database, "database file (.kvd)")->required();

    CLI::App* verify = app.add_subcommand("verify", "Check the database KVD for errors and suspicious records");
    verify->add_option("KVD", database, "database file (.kvd)")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // CLI11 prints help or the usage error; a usage error is exit status 2 in every
        // subcommand, so scripts can tell it from "errors found" (1).
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }
    if (scan->parsed()) {
        // Every cure can be undone, from any of the programs: the originals go to the same store.
        store.keepsOriginals = !noBackup;
        korvax::CheckStore opened;
        try {
            opened = korvax::OpenCheckStore(store, std::cerr, "kvdtool");
        } catch (const korvax::Failure& failure) {
            std::cerr << "kvdtool: " << korvax::ShownPath(failure.what()) << '\n';
            return 2;
        }
        korvax::FileCheckOptions options;
        options.guard = opened.backups.get();
        options.trusted = opened.trusted.get();
        return korvax::kvdtool::RunScanCommand(database, files, std::cout, std::cerr, reference, options);
    }
    if (assemble->parsed()) return korvax::kvdtool::RunAssembleCommand(source, output, std::cerr);
    if (disassemble->parsed()) return korvax::kvdtool::RunDisassembleCommand(database, std::cout, std::cerr);
    if (verify->parsed()) return korvax::kvdtool::RunVerifyCommand(database, std::cout, std::cerr);
    return 2;
}
