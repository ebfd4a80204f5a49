#include "gui/check_backups.h"

#include "backup/store_pruning.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"

namespace korvax {
namespace {

// The store words its warnings for the terminal, after the terminal program's name.
constexpr std::string_view kTerminalPrefix = "korvax-scan: ";

}  // namespace

CheckBackups::CheckBackups(const std::string& folder, std::int64_t now, FileWriteCalls& calls) {
    if (folder.empty()) {
        unavailable_ = "there is no folder for it: neither XDG_DATA_HOME nor HOME names the user's data folder";
        return;
    }
    try {
        MakeFoldersAbove(folder);
        store_ = std::make_unique<BackupStore>(folder, storeWarnings_, calls);
    } catch (const std::exception& failure) {
        unavailable_ = failure.what();
        return;
    }
    try {
        const StoreLimits limits;
        pruneNote_ = PruneMessage(PruneStore(store_->folder(), limits, now, calls), limits, folder);
    } catch (const std::exception& failure) {
        // Only the limits are missed: every backup kept so far stays.
        pruneNote_ = "the backup store " + folder + " could not be pruned: " + failure.what();
    }
    try {
        trust_ = std::make_unique<TrustList>(store_->folder(), calls);
    } catch (const std::exception& failure) {
        trustWarning_ = "the list of trusted files in " + folder + " cannot be read (" + failure.what() +
                        "): the files put back from the store were checked, and cured, like any other";
    }
}

CheckBackups::~CheckBackups() = default;

int CheckBackups::refused() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

std::string CheckBackups::firstRefusal() const {
    std::lock_guard lock(mutex_);
    return firstRefusal_;
}

std::string CheckBackups::warnings() const {
    std::string lines = trustWarning_.empty() ? "" : trustWarning_ + "\n";
    std::istringstream stored(storeWarnings_.str());
    for (std::string line; std::getline(stored, line);) {
        if (line.starts_with(kTerminalPrefix)) line.erase(0, kTerminalPrefix.size());
        lines += line + "\n";
    }
    if (!lines.empty()) lines.pop_back();
    return lines;
}

void CheckBackups::Refused(const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (refused_++ == 0) firstRefusal_ = reason;
}

void CheckBackups::CountingGuard::BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                                       const std::optional<FileFacts>& facts,
                                                       const std::string& entryName) {
    if (!owner_.store_) {
        owner_.Refused(owner_.unavailable_);
        throw Failure("Cannot keep the original of " + EscapeText(path) + ": the backup store cannot be used (" +
                      owner_.unavailable_ + "): not cured");
    }
    try {
        owner_.store_->BeforeFirstWriteBack(path, original, facts, entryName);
    } catch (const std::exception& failure) {
        owner_.Refused(failure.what());
        throw;
    }
}

void CheckBackups::CountingGuard::AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                                                     const std::optional<FileIdentity>& left) noexcept {
    if (owner_.store_) owner_.store_->AfterLastWriteBack(path, written, left);
}

void CheckBackups::CountingGuard::FirstWriteBackFailed(const std::string& path) noexcept {
    if (owner_.store_) owner_.store_->FirstWriteBackFailed(path);
}

}  // namespace korvax
