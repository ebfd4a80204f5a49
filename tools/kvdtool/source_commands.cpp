#include "source_commands.h"

#include <ostream>

#include "language/database_lint.h"
#include "platform/failure.h"
#include "platform/whole_file.h"
#include "language/signature_source.h"

namespace korvax::kvdtool {

int RunAssembleCommand(const std::string& source, const std::string& output, std::ostream& err) {
    try {
        const std::vector<std::uint8_t> text = ReadWholeFile(source);
        const std::vector<std::uint8_t> database =
            AssembleSource(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), source);
        WriteFileWhole(output, database);
        return 0;
    } catch (const SourceError& error) {
        err << error.what() << '\n';
    } catch (const Failure& failure) {
        err << failure.what() << '\n';
    }
    return 2;
}

int RunDisassembleCommand(const std::string& database, std::ostream& out, std::ostream& err) {
    try {
        out << DisassembleDatabase(ReadWholeFile(database));
        out.flush();
        return 0;
    } catch (const Failure& failure) {
        err << failure.what() << '\n';
        return 2;
    }
}

int RunVerifyCommand(const std::string& database, std::ostream& out, std::ostream& err) {
    std::vector<std::uint8_t> file;
    try {
        file = ReadWholeFile(database);
    } catch (const Failure& failure) {
        err << failure.what() << '\n';
        return 2;
    }
    std::int64_t errors = 0;
    std::int64_t warnings = 0;
    for (const LintFinding& finding : VerifyDatabase(file)) {
        out << FormatFinding(finding) << '\n';
        (finding.severity == LintFinding::Severity::Error ? errors : warnings) += 1;
    }
    out << errors << (errors == 1 ? " error, " : " errors, ") << warnings << (warnings == 1 ? " warning" : " warnings")
        << '\n';
    out.flush();
    return errors > 0 ? 1 : 0;
}

}  // namespace korvax::kvdtool
