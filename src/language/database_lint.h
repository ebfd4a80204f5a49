#pragma once
// Checking a database file the way the scanner will read and run it, before it ships.
//
// Errors are what makes a scan fail or a signature silently do something other than its
// author meant (a truncated file, a negative length, a cure naming a variable nobody
// collects); warnings are legal but suspicious (a group that can never hold, an unknown
// record type the scanner passes over).
//
// Pure function of its input; safe to call from any number of threads at once.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvax {

struct LintFinding {
    enum class Severity { Warning, Error };
    std::int64_t offset = 0;  // where the record concerned begins in the file
    Severity severity = Severity::Error;
    std::string message;
};

// Every finding, in file order (by offset; findings about one record in the order they
// were made). Never throws on any input.
std::vector<LintFinding> VerifyDatabase(std::span<const std::uint8_t> file);

// "OFFSET: error: message" or "OFFSET: warning: message", the offset in decimal.
std::string FormatFinding(const LintFinding& finding);

}  // namespace korvax
