#include "desktop/desktop_restore.h"

#include "backup/restore.h"
#include "engine/display_text.h"
#include "engine/escaped_text.h"
#include "platform/failure.h"
#include "platform/program_language.h"

namespace korvax {
namespace {

// What one restore came to, gathered so that the user is told once, not once per file.
class RestoreOutcome : public RestoreListener {
public:
    explicit RestoreOutcome(const std::function<void(const ResultRow&)>& addRow) : addRow_(addRow) {}

    void Restored(const BackupRecord& record) override {
        if (addRow_) addRow_(ResultRow{record.path, record.entry, kRestoredText, ResultCode::Clean});
        ++restored;
    }
    void AlreadyOriginal(const BackupRecord& record) override { alreadyOriginal.push_back(record.path); }
    void Refused(const std::string& /*path*/, const std::string& reason) override { refused.push_back(reason); }
    void Note(const std::string& message) override { notes.push_back(message); }

    int restored = 0;
    std::vector<std::string> alreadyOriginal;
    std::vector<std::string> refused;
    std::vector<std::string> notes;

private:
    const std::function<void(const ResultRow&)>& addRow_;
};

void AddLine(std::string& text, const std::string& line) {
    if (!text.empty()) text += '\n';
    text += line;
}

}  // namespace

DesktopRestore RestoreChosenFiles(const ProgramState& state, const std::string& folder,
                                  const std::vector<std::string>& paths,
                                  const std::function<void(const ResultRow&)>& addRow, FileWriteCalls& calls) {
    // The windows keep their restore buttons and menus off during a check; this makes sure.
    if (state.CheckRunning) throw Failure(Translated("Во время проверки восстановление невозможно"));
    RestoreOutcome outcome(addRow);
    RestoreBackups(folder, paths, false, outcome, calls);
    DesktopRestore result;
    result.restored = outcome.restored;
    result.refused = static_cast<int>(outcome.refused.size());
    // The restore's reasons and notes name their files escaped already.
    for (const std::string& reason : outcome.refused) AddLine(result.message, Translated("Не восстановлен: ") + DisplayText(reason));
    for (const std::string& path : outcome.alreadyOriginal) {
        AddLine(result.message, Translated("Уже такой, как до лечения: ") + ShownPath(path));
    }
    for (const std::string& note : outcome.notes) AddLine(result.message, DisplayText(note));
    return result;
}

}  // namespace korvax
