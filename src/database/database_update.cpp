#include "database/database_update.h"

#include "database/read_records.h"
#include "database/record_cursor.h"
#include "platform/file_in_folder.h"
#include "platform/program_language.h"
#include "platform/whole_file.h"

namespace korvax {

void CheckUpdateFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) throw UpdateRefused(Translated("Файл обновления пуст: ") + path);
    RecordCursor cursor(bytes);
    bool first = true;
    while (auto record = cursor.next()) {
        const std::string where = Translated(" (запись по смещению ") + std::to_string(record->offset) + ")";
        if (record->negativeLength) throw UpdateRefused(Translated("Отрицательная длина записи в файле обновления ") + path + where);
        if (record->headerCut || record->dataCut) throw UpdateRefused(Translated("Файл обновления обрезан: ") + path + where);
        if (first && record->header.type() != record_type::kHead) {
            throw UpdateRefused(Translated("Файл обновления не начинается с описания вируса: ") + path);
        }
        first = false;
    }
}

void UpdateDatabase(const std::string& updatePath, const std::string& basePath, VirusDatabase& base,
                    bool checkRunning, FileWriteCalls& calls) {
    if (checkRunning) throw UpdateRefused(Translated("Во время проверки обновление невозможно"));
    const std::vector<std::uint8_t> added = ReadWholeFile(updatePath);
    CheckUpdateFile(updatePath, added);

    VirusDatabase entries;
    ReadRecords(added, entries);  // cannot fail on a checked file

    // The database file is read and replaced through one handle: the joined bytes go to
    // the very file that was read, never through a link swapped in meanwhile.
    FileInFolder database(basePath, LinkPolicy::ResolveOnce);
    std::vector<std::uint8_t> joined = database.ReadAll();
    joined.insert(joined.end(), added.begin(), added.end());
    database.Replace(joined, calls);

    base.insert(base.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
}

}  // namespace korvax
