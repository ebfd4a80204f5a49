#include "scan_command.h"

#include <ostream>

#include "database/read_records.h"
#include "kernel/display_text.h"
#include "kernel/file_check.h"
#include "kernel/row_format.h"

namespace korvax::kvdtool {

int RunScanCommand(const std::string& database, const std::vector<std::string>& files, std::ostream& out,
                   std::ostream& err) {
    VirusBase base;
    try {
        LoadDatabase(database, base);
    } catch (const DatabaseFormatError& failure) {
        // As the program's start-up does: say so, and go on with the entries read before.
        err << failure.what() << '\n';
    } catch (const Failure& failure) {
        err << failure.what() << '\n';
        return 2;
    }

    DetectionCounters counters;
    bool readError = false;
    const ReportRow report = [&](const ResultRow& row) {
        if (row.status == kReadErrorText) readError = true;
        out << FormatRow(row) << '\n';
        out.flush();
    };
    for (const std::string& file : files) CheckFile(file, base, counters, report);

    out << FormatCounter("Проверено", static_cast<std::int32_t>(files.size())) << '\n'
        << FormatCounter("Вылечено", counters.CuredCount.load()) << '\n'
        << FormatCounter("Тел вирусов", counters.VirusCount.load()) << '\n';
    out.flush();
    if (counters.VirusCount.load() > 0) return 1;
    return readError ? 2 : 0;
}

}  // namespace korvax::kvdtool
