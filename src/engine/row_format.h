#pragma once
// The line format the terminal tools print, shared so that `kvdtool scan` and
// `korvax-scan` stay identical: `path<TAB>status<TAB>action`, and `Caption: N` counters.
// Every row is exactly one line whatever a file or virus name holds: the path is shown as
// ShownPath does (engine/escaped_text.h: escaped on Linux, as Windows shows it on Windows;
// an ordinary name prints unchanged), the status and action are decoded as DisplayText
// does and then escaped as EscapeText does.

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
