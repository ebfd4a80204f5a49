#include "engine/row_format.h"

#include "engine/display_text.h"
#include "engine/escaped_text.h"

namespace korvax {

std::string FormatRow(const ResultRow& row) {
    return ShownPath(row.path) + '\t' + DisplayLine(row.status) + '\t' + DisplayLine(row.action);
}

std::string FormatCounter(std::string_view caption, std::int64_t value) {
    return std::string(caption) + ": " + std::to_string(value);
}

std::string ChangedDuringCheckText(const std::string& path) {
    return ShownPath(path) + ": changed during the check (the file, or a folder above it, was swapped): nothing was written";
}

}  // namespace korvax
