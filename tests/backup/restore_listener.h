#pragma once
// What the backup suites share: a listener that writes down what a restore did with each
// file, and the names a folder holds.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "backup/restore.h"
#include "test_support.h"

namespace korvax::test {

class Listener : public RestoreListener {
public:
    void Restored(const BackupRecord& record) override { restored.push_back(record.path); }
    void AlreadyOriginal(const BackupRecord& record) override { already.push_back(record.path); }
    void Refused(const std::string& path, const std::string& reason) override { refused.push_back(path + " | " + reason); }
    std::vector<std::string> restored;
    std::vector<std::string> already;
    std::vector<std::string> refused;
};

inline std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder))) {
        names.insert(TextOf(entry.path().filename()));
    }
    return names;
}

}  // namespace korvax::test
