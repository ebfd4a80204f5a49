#pragma once
// How every JSON line the programs write holds a path: the rows of `--json` and
// `--report`, the backup index, the trust list. A path is whatever bytes the file system
// holds, and JSON text must be UTF-8: a path whose bytes are UTF-8 stands as it is; any
// other is written in the escaped form of the rows (engine/escaped_text.h) and flagged
// with "<key>_escaped": true, so that every path comes back to its exact bytes.
//
// Pure functions; safe from any thread.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace korvax {

void PutJsonPath(nlohmann::json& line, std::string_view path, const std::string& key = "path");

// The bytes PutJsonPath was given; empty when `line` has no such path or a flagged one that
// is not escaped text.
std::optional<std::string> JsonPathOf(const nlohmann::json& line, const std::string& key = "path");

// `line` as one line of text. Texts the programs put in (a virus name, say) may hold any
// byte: the library never refuses one, it writes U+FFFD for what is not UTF-8.
std::string JsonLineText(const nlohmann::json& line);

}  // namespace korvax
