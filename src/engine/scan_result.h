#pragma once
// What one pass over the database, or one whole file, came to, and the texts a result row
// shows. The texts are the program's own (UTF-8); virus names are bytes from the database.

#include <cstdint>
#include <string>

namespace korvax {

enum class ResultCode : std::int32_t {
    Clean = 0,      // no entry matched
    ReadError = 1,  // the file could not be loaded, scanned, cured or written back
    Cured = 2,      // an entry matched and its cure changed the image
    Detected = 3,   // an entry matched and has no cure (or the file was not cured)
};

inline constexpr char kReadErrorText[] = "Ошибка чтения";
inline constexpr char kCuredText[] = "Вылечен";
inline constexpr char kSkippedText[] = "Пропущен";
// The action of a row for a file put back as it was before its cure.
inline constexpr char kRestoredText[] = "Восстановлен";

// One row of the result list: the file's path, then the status (virus name or the read
// error text) and the action (cured or skipped), exactly as the worker reported them, and
// the verdict the row stands for (Cured, Detected or ReadError; never Clean). Programs
// decide from `code`, never from the texts.
struct ResultRow {
    std::string path;
    std::string status;
    std::string action;
    ResultCode code = ResultCode::ReadError;
    // A read-error row for a file that was swapped, or a folder above it swapped for a
    // link, during the check: nothing was written (the terminal says so on stderr).
    bool changedDuringCheck = false;
    // A read-error row of a file left unwritten for a reason its user must be told (its
    // owner and group could not be kept): that reason, one line without the path (the
    // terminal tools print it on stderr after the path).
    std::string reason{};
    // A detection row of a report-only check whose entry carries a cure that was not
    // applied.
    bool curable = false;
    friend bool operator==(const ResultRow&, const ResultRow&) = default;
};

// The row of a file that could not be loaded, scanned, cured or written back.
inline ResultRow ReadErrorRow(std::string path) {
    return ResultRow{std::move(path), kReadErrorText, kSkippedText, ResultCode::ReadError};
}

}  // namespace korvax
