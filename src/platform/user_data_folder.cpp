#include "platform/user_data_folder.h"

#include <filesystem>

namespace korvax {

std::string XdgUserDataFolder(const std::string& dataHome, const std::string& home) {
    const auto under = [](const std::string& folder, const char* name) {
        return (std::filesystem::path(folder) / name).lexically_normal().string();
    };
    if (!dataHome.empty() && dataHome.front() == '/') return under(dataHome, "korvax");
    if (home.empty()) return {};
    return under(home, ".local/share/korvax");
}

}  // namespace korvax
