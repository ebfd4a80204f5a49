#include "database/database_update.h"

#include <algorithm>
#include <iterator>

#include "database/read_records.h"
#include "database/record_cursor.h"
#include "platform/file_in_folder.h"
#include "platform/program_language.h"
#include "platform/trusted_path.h"
#include "platform/whole_file.h"

namespace korvax {
namespace {

// Appended after a record that runs past the end of the database file, an update's first
// bytes would be read as that record's data; after a negative length nothing is read at all.
[[noreturn]] void RefuseDamagedDatabase(const std::string& path, const RecordAt& record) {
    const std::string where = Translated(" (запись по смещению ") + std::to_string(record.offset) + ")";
    if (record.negativeLength) {
        throw UpdateRefused(Translated("Файл базы повреждён (отрицательная длина записи), обновление не выполнено: ") +
                            path + where);
    }
    throw UpdateRefused(Translated("Файл базы повреждён (обрывается внутри записи), обновление не выполнено: ") + path +
                        where);
}

// The entries the reader makes of the whole records of `bytes`: the first record opens
// one whatever its type, and every later head record another. An empty file counts none
// (the reader's one empty entry for it disappears once anything follows).
std::size_t EntriesOfDatabaseFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    RecordCursor cursor(bytes);
    std::size_t entries = 0;
    bool first = true;
    while (auto record = cursor.next()) {
        if (record->negativeLength || record->headerCut || record->dataCut) RefuseDamagedDatabase(path, *record);
        if (first || record->header.type() == record_type::kHead) ++entries;
        first = false;
    }
    return entries;
}

}  // namespace

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

void CheckJoinedDatabase(const std::string& path, std::span<const std::uint8_t> joined, std::size_t baseEntries,
                         const VirusDatabase& added) {
    VirusDatabase readBack;
    bool whole = true;
    try {
        ReadRecords(joined, readBack);
    } catch (const DatabaseFormatError&) {
        whole = false;
    }
    whole = whole && readBack.size() == baseEntries + added.size() &&
            std::equal(added.begin(), added.end(), readBack.end() - static_cast<std::ptrdiff_t>(added.size()));
    if (!whole) {
        throw UpdateRefused(Translated("Файл базы с обновлением не читается полностью, обновление не выполнено: ") +
                            path);
    }
}

void UpdateDatabase(const std::string& updatePath, const std::string& basePath, VirusDatabase& base,
                    bool checkRunning, FileWriteCalls& calls) {
    if (checkRunning) throw UpdateRefused(Translated("Во время проверки обновление невозможно"));
    const std::vector<std::uint8_t> added = ReadWholeFile(updatePath);
    CheckUpdateFile(updatePath, added);

    VirusDatabase entries;
    ReadRecords(added, entries);  // cannot fail on a checked file

    // The file rewritten must be one only the user and root control (another user's link
    // would have root rewrite whatever it points at). It is then read and replaced through
    // one handle: the joined bytes go to the very file that was read.
    std::string trusted;
    try {
        trusted = RequireTrusted(basePath, TrustRule::OwnedAndGuarded);
    } catch (const NotTrusted& failure) {
        throw NotTrusted(Translated("Обновление невозможно: файл базы не защищён. ") + std::string(failure.what()));
    }
    FileInFolder database(trusted, LinkPolicy::RefuseLinks, calls);
    std::vector<std::uint8_t> joined = database.ReadAll();
    const std::size_t baseEntries = EntriesOfDatabaseFile(basePath, joined);
    joined.insert(joined.end(), added.begin(), added.end());
    // What the next start will read: every entry of both files, the update's last.
    CheckJoinedDatabase(basePath, joined, baseEntries, entries);
    database.Replace(joined);

    base.insert(base.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
}

}  // namespace korvax
