#include "source_commands.h"

#include <cerrno>
#include <fcntl.h>
#include <ostream>
#include <span>
#include <unistd.h>

#include "database_lint.h"
#include "platform/failure.h"
#include "platform/whole_file.h"
#include "signature_source.h"

namespace korvax::kvdtool {
namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes `bytes` to `path` so that `path` either keeps what it held or holds all of
// `bytes`: a half-written database would load as a truncated one. The new file gets the
// usual permissions for a new file (0666 less the umask).
void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string stem = FolderOf(path) + "/." + NameOf(path) + ".kvdtool-" + std::to_string(::getpid()) + "-";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = stem + std::to_string(attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw CannotCreateFile(path);
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw CannotCreateFile(path);
    }
}

}  // namespace

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
