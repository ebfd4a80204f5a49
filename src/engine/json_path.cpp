#include "engine/json_path.h"

#include "engine/display_text.h"
#include "engine/escaped_text.h"

namespace korvax {

void PutJsonPath(nlohmann::json& line, std::string_view path, const std::string& key) {
    if (IsValidUtf8(path)) {
        line[key] = path;
    } else {
        line[key] = EscapeText(path);
        line[key + "_escaped"] = true;
    }
}

std::optional<std::string> JsonPathOf(const nlohmann::json& line, const std::string& key) {
    const auto found = line.find(key);
    if (found == line.end() || !found->is_string()) return std::nullopt;
    const std::string text = found->get<std::string>();
    if (!line.value(key + "_escaped", false)) return text;
    return UnescapeText(text);
}

std::string JsonLineText(const nlohmann::json& line) {
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace korvax
