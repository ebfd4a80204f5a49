#include "platform/file_name.h"

#include "platform/wide_text.h"

namespace korvax {

std::size_t PathLength(std::string_view path) {
#ifdef _WIN32
    if (const auto units = WideLength(path)) return *units;
#endif
    return path.size();
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && !IsPathSeparator(joined.back())) joined += kPathSeparator;
    joined += name;
    return joined;
}

}  // namespace korvax
