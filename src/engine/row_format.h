#pragma once
// The line format the terminal tools print, shared so that `kvdtool scan` and
// `korvax-scan` stay identical: `path<TAB>status<TAB>action`, and `Caption: N` counters.
// Every row is exactly one line whatever a file or virus name holds: the path is escaped
// as EscapeText does (engine/escaped_text.h; an ordinary UTF-8 name prints unchanged),
// the status and action are decoded as DisplayText does and then escaped the same way.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/scan_result.h"

namespace korvax {

std::string FormatRow(const ResultRow& row);
std::string FormatCounter(std::string_view caption, std::int64_t value);

// What the terminal tools say on stderr of a file whose row is a read error because it
// was swapped during the check.
std::string ChangedDuringCheckText(const std::string& path);

}  // namespace korvax
