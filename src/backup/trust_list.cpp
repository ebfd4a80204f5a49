#include "backup/trust_list.h"

#include <sstream>

#include "backup/backup_index.h"
#include "backup/sha256.h"
#include "engine/json_path.h"
#include "platform/file_in_folder.h"

namespace korvax {

using nlohmann::json;

TrustList::TrustList(PrivateFolder& folder, FileWriteCalls& calls) : folder_(folder), calls_(calls) {
    const std::vector<std::uint8_t> text = folder_.Read(kTrustListName, true);
    std::istringstream lines(std::string(text.begin(), text.end()));
    std::string line;
    while (std::getline(lines, line)) {
        const json object = json::parse(line, nullptr, false);
        if (!object.is_object()) continue;  // a line cut by a crash, say
        const std::optional<std::string> path = JsonPathOf(object);
        const std::string kind = object.value("kind", "");
        if (!path) continue;
        if (kind == "trust" && object.contains("sha256") && object["sha256"].is_string()) {
            trusted_[*path] = object["sha256"].get<std::string>();
        } else if (kind == "untrust") {
            trusted_.erase(*path);
        }
    }
}

bool TrustList::Trusts(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string absolute;
    try {
        absolute = AbsolutePath(path);
    } catch (const Failure&) {
        return false;
    }
    std::string sha256;
    {
        std::lock_guard lock(mutex_);
        const auto found = trusted_.find(absolute);
        if (found == trusted_.end()) return false;
        sha256 = found->second;
    }
    // Hashed only for a listed path: a check of thousands of files pays nothing for it.
    if (Sha256Hex(bytes) != sha256) return false;
    std::lock_guard lock(mutex_);
    met_.insert(absolute);
    return true;
}

void TrustList::Trust(const std::string& path, const std::string& sha256) {
    const std::string absolute = AbsolutePath(path);
    json line{{"kind", "trust"}, {"time", IndexTime()}};
    PutJsonPath(line, absolute);
    line["sha256"] = sha256;
    std::lock_guard lock(mutex_);
    folder_.AppendLine(kTrustListName, JsonLineText(line), calls_);
    trusted_[absolute] = sha256;
}

bool TrustList::Untrust(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    std::lock_guard lock(mutex_);
    if (trusted_.count(absolute) == 0) return false;
    json line{{"kind", "untrust"}, {"time", IndexTime()}};
    PutJsonPath(line, absolute);
    folder_.AppendLine(kTrustListName, JsonLineText(line), calls_);
    trusted_.erase(absolute);
    return true;
}

std::vector<std::string> TrustList::Met() const {
    std::lock_guard lock(mutex_);
    return {met_.begin(), met_.end()};
}

std::map<std::string, std::string> TrustList::Entries() const {
    std::lock_guard lock(mutex_);
    return trusted_;
}

}  // namespace korvax
