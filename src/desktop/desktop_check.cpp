#include "desktop/desktop_check.h"

#include "check/scan_scheduler.h"
#include "desktop/check_backups.h"
#include "engine/display_text.h"
#include "platform/program_language.h"

namespace korvax {
namespace {

// What the user must hear once the check has ended: the cures refused for want of a
// backup, and what went wrong with the store after a cure was written.
void TellBackupProblems(const CheckBackups& backups, std::string& told) {
    if (backups.refused() > 0) {
        const std::string reason =
            backups.unavailable().empty()
                ? DisplayText(backups.firstRefusal())
                : Translated("хранилище резервных копий недоступно: ") + DisplayText(backups.unavailable());
        told += Translated("Не вылечено файлов: ") + std::to_string(backups.refused()) +
                Translated(". Оригинал файла сохраняется до лечения, чтобы лечение можно было отменить, а "
                           "сохранить его не удалось:") +
                "\n" + reason;
    }
    const std::string warnings = backups.warnings();
    if (!warnings.empty()) {
        if (!told.empty()) told += '\n';
        told += DisplayText(warnings);
    }
}

}  // namespace

DesktopCheck::DesktopCheck(ProgramState& state, FileWriteCalls& backupCalls, std::string backupFolder, Hooks hooks)
    : state_(state), backupCalls_(backupCalls), backupFolder_(std::move(backupFolder)), hooks_(std::move(hooks)) {}

std::string DesktopCheck::Start(CheckDisplay& display, MessagePump& pump) {
    // The button is disabled for the whole check; this only makes sure of it.
    if (running_) return {};
    // Opened (and pruned) afresh for every check, before any worker runs: the store may
    // have been repaired, or filled, since the last one.
    CheckBackups backups(backupCalls_, backupFolder_);
    if (hooks_.storeOpened) hooks_.storeOpened(DisplayText(backups.pruneNote()));
    CheckOptions options;
    options.fileCheck.guard = &backups.guard();
    options.fileCheck.trusted = backups.trusted();
    running_ = true;
    if (hooks_.running) hooks_.running(true);
    const auto finished = [this] {
        running_ = false;
        if (hooks_.running) hooks_.running(false);
    };
    try {
        SpeedButton3Click(state_, display, pump, options);
    } catch (...) {
        finished();
        throw;
    }
    finished();
    std::string told;
    TellBackupProblems(backups, told);
    return told;
}

bool DesktopCheck::CloseRequested() {
    if (!running_) return true;
    // The check runs inside the start button's handler, further down this very stack.
    closeAfterCheck_ = true;
    SpeedButton4Click(state_);
    return false;
}

}  // namespace korvax
