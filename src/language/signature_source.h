#pragma once
// Signature source: the readable text form of a database file, one record per line.
// docs/signatures.md describes the language for signature authors.
//
// Both directions are pure functions of their input and keep no state, so they may be
// called from any number of threads at once.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvax {

// A mistake in signature source, with the place it was found (lines and columns count
// from 1; columns count bytes). what() reads "NAME:LINE:COL: message".
class SourceError : public std::runtime_error {
public:
    SourceError(std::string sourceName, int line, int column, const std::string& message);
    int line() const { return line_; }
    int column() const { return column_; }

private:
    int line_;
    int column_;
};

// Turns source text into the bytes of a database file. Throws SourceError on the first
// mistake; nothing partial is returned.
std::vector<std::uint8_t> AssembleSource(std::string_view text, std::string_view sourceName = "<source>");

// Turns any bytes into source text that assembles back to exactly those bytes: readable
// lines where a record has its usual shape, `raw` and `bytes` lines for everything else
// (odd lengths, nonzero unread bytes, truncated tails, negative lengths).
std::string DisassembleDatabase(std::span<const std::uint8_t> file);

}  // namespace korvax
