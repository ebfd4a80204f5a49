// kvdtool: the signature author's database tool.
#include <CLI/CLI.hpp>

#include <iostream>

#include "scan_command.h"

int main(int argc, char** argv) {
    CLI::App app{"kvdtool: assemble, disassemble, verify Korvax databases and scan files against them"};
    app.require_subcommand(1);

    std::string database;
    std::vector<std::string> files;
    CLI::App* scan = app.add_subcommand("scan", "Check FILEs against the database DB as the scanner does (cures are written back)");
    scan->add_option("DB", database, "database file (.kvd)")->required();
    scan->add_option("FILE", files, "files to check, in this order")->required();

    CLI11_PARSE(app, argc, argv);
    if (scan->parsed()) return korvax::kvdtool::RunScanCommand(database, files, std::cout, std::cerr);
    return 2;
}
