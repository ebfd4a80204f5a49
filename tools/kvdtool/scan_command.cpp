#include "scan_command.h"

#include <ostream>

#include "database/database_load.h"
#include "engine/escaped_text.h"
#include "engine/file_check.h"
#include "engine/row_format.h"
#include "platform/program_language.h"

namespace korvax::kvdtool {

int RunScanCommand(const std::string& database, const std::vector<std::string>& files, std::ostream& out,
                   std::ostream& err, bool reference, const FileCheckOptions& options) {
    VirusDatabase base;
    const DatabaseLoad load = LoadStartupDatabase(database, base);
    if (!load.message.empty()) err << ShownPath(load.message) << '\n';
    if (!load.loaded) return 2;

    DetectionCounters counters;
    bool readError = false;
    const ReportRow report = [&](const ResultRow& row) {
        if (row.code == ResultCode::ReadError) readError = true;
        out << FormatRow(row) << '\n';
        out.flush();
        if (row.changedDuringCheck) err << "kvdtool: " << ChangedDuringCheckText(row.path) << '\n';
    };
    // A path named on the command line is resolved once, at open: a link means its target.
    if (reference) {
        for (const std::string& file : files) CheckFile(file, LinkPolicy::ResolveOnce, base, counters, report, options);
    } else {
        const ScanPlan plan(base);
        for (const std::string& file : files) CheckFile(file, LinkPolicy::ResolveOnce, plan, counters, report, options);
    }

    out << FormatCounter(Translated("Проверено"), static_cast<std::int32_t>(files.size())) << '\n'
        << FormatCounter(Translated("Вылечено"), counters.CuredCount.load()) << '\n'
        << FormatCounter(Translated("Тел вирусов"), counters.VirusCount.load()) << '\n';
    out.flush();
    if (counters.VirusCount.load() > 0) return 1;
    return readError ? 2 : 0;
}

}  // namespace korvax::kvdtool
