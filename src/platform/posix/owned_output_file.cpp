#include "platform/owned_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/file_in_folder.h"
#include "platform/trusted_path.h"

namespace korvax {

OwnedOutputFile::OwnedOutputFile(const std::string& path) : path_(path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name_.empty() || name_ == "." || name_ == "..") throw CannotCreateFile(path);
    // The folder's own links may be followed (under the trust rule); the name's never.
    const std::string resolved = RequireTrusted(folder, TrustRule::OwnedAndGuarded);
    folder_ = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder_ < 0) throw CannotCreateFile(path);
    try {
        requireReplaceable();
    } catch (...) {
        ::close(folder_);
        throw;
    }
}

OwnedOutputFile::~OwnedOutputFile() { ::close(folder_); }

void OwnedOutputFile::requireReplaceable() const {
    struct stat info {};
    if (::fstatat(folder_, name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return;
        throw CannotCreateFile(path_);
    }
    const std::string refused = "Not trusted: " + path_ + ": ";
    if (S_ISLNK(info.st_mode)) throw NotTrusted(refused + "it is a symbolic link, and a report is never written through one");
    if (!S_ISREG(info.st_mode)) throw NotTrusted(refused + "it is no regular file");
    if (info.st_uid != ::geteuid()) {
        throw NotTrusted(refused + "it belongs to user " + std::to_string(info.st_uid) +
                         ", and only a file of your own is replaced");
    }
}

void OwnedOutputFile::Write(std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100) throw CannotCreateFile(path_);
        temporary = "." + name_.substr(0, 200) + ".korvax-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
        if (CreateFileAt(folder_, temporary, bytes, 0666, calls, path_)) break;
    }
    try {
        requireReplaceable();
        if (calls.RenameAt(folder_, temporary.c_str(), folder_, name_.c_str()) != 0) throw CannotCreateFile(path_);
    } catch (...) {
        ::unlinkat(folder_, temporary.c_str(), 0);
        throw;
    }
    ::fsync(folder_);
}

}  // namespace korvax
