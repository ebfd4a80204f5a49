#include "desktop/check_backups.h"

#include "backup/backup_store.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"

namespace korvax {
namespace {

// The name the store's notes and warnings are told under, for a terminal: it does not
// belong in a window.
constexpr char kProgram[] = "korvax";

// `text`'s lines without `prefix` where they begin with it, and without the last line end.
std::string WithoutPrefix(const std::string& text, std::string_view prefix) {
    std::istringstream lines(text);
    std::string result;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(prefix)) line.erase(0, prefix.size());
        if (!result.empty()) result += '\n';
        result += line;
    }
    return result;
}

}  // namespace

CheckBackups::CheckBackups(FileWriteCalls& calls, const std::string& folder) {
    // Checked here, since the store's own message is worded for the terminal's options.
    if (folder.empty() && DefaultBackupFolder().empty()) {
        unavailable_ = "there is no folder of your own to keep the originals of cured files in ($HOME is not set)";
        return;
    }
    try {
        StoreChoice choice;
        choice.folder = folder;
        store_ = OpenCheckStore(choice, storeWarnings_, kProgram, calls);
    } catch (const std::exception& failure) {
        unavailable_ = failure.what();
        return;
    }
    // Until the check starts, what the store told is the prune's note; what it tells later
    // is about the cures.
    pruneNote_ = WithoutPrefix(storeWarnings_.str(), std::string(kProgram) + ": ");
    storeWarnings_.str({});
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

std::string CheckBackups::warnings() const { return WithoutPrefix(storeWarnings_.str(), std::string(kProgram) + ": "); }

void CheckBackups::Refused(const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (refused_++ == 0) firstRefusal_ = reason;
}

void CheckBackups::CountingGuard::BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                                       const std::optional<FileFacts>& facts,
                                                       const std::string& entryName) {
    if (!owner_.store_.backups) {
        owner_.Refused(owner_.unavailable_);
        throw Failure("Cannot keep the original of " + EscapeText(path) + ": the backup store cannot be used (" +
                      owner_.unavailable_ + "): not cured");
    }
    try {
        owner_.store_.backups->BeforeFirstWriteBack(path, original, facts, entryName);
    } catch (const std::exception& failure) {
        owner_.Refused(failure.what());
        throw;
    }
}

void CheckBackups::CountingGuard::AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                                                     const std::optional<FileIdentity>& left) noexcept {
    if (owner_.store_.backups) owner_.store_.backups->AfterLastWriteBack(path, written, left);
}

void CheckBackups::CountingGuard::FirstWriteBackFailed(const std::string& path) noexcept {
    if (owner_.store_.backups) owner_.store_.backups->FirstWriteBackFailed(path);
}

}  // namespace korvax
