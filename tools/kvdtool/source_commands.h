#pragma once
// `kvdtool assemble`, `disassemble` and `verify`: thin wrappers that read files, call the
// signature-source library and report. Each returns the program's exit status.

#include <iosfwd>
#include <string>

namespace korvax::kvdtool {

// Assembles SOURCE into OUTPUT. The output appears whole or not at all: it is written to a
// temporary file beside it and renamed over it. 0 on success; 2 on a source error (printed
// as "SOURCE:LINE:COL: message") or when a file cannot be read or written.
int RunAssembleCommand(const std::string& source, const std::string& output, std::ostream& err);

// Prints the source text of DATABASE. 0, or 2 when it cannot be read.
int RunDisassembleCommand(const std::string& database, std::ostream& out, std::ostream& err);

// Prints every finding, one a line, then "N errors, M warnings". 1 when there is any error,
// 0 otherwise, 2 when the file cannot be read.
int RunVerifyCommand(const std::string& database, std::ostream& out, std::ostream& err);

}  // namespace korvax::kvdtool
