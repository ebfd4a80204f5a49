#pragma once
// The database load at start-up, as every program does it (the desktop scanner,
// korvax-scan, kvdtool scan): what was read, and what the user is told.
//
// A database that ends in a record of negative length still gives the entries completed
// before it, and the program goes on with them; one that cannot be read gives none. Each
// program shows the message its own way (an error box, a line on stderr).

#include <string>

#include "database/virus_database.h"

namespace korvax {

struct DatabaseLoad {
    // The file was read (wholly or up to a damaged record): a check can run with `base`.
    bool loaded = false;
    // The failure's message ("Cannot open file %s", or where reading stopped); empty when
    // the whole file was read.
    std::string message;
};

// Appends the entries of the database file at `path` to `base`. Never throws a Failure.
DatabaseLoad LoadStartupDatabase(const std::string& path, VirusDatabase& base);

}  // namespace korvax
