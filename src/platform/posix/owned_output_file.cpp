#include "platform/owned_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/file_in_folder.h"
#include "platform/posix/file_write_calls.h"
#include "platform/posix/folder_files.h"
#include "platform/trusted_path.h"

namespace korvax {

struct OwnedOutputFile::Opened {
    Opened(int fd, std::string fileName) : folder(fd), name(std::move(fileName)) {}
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() { ::close(folder); }
    int folder;
    std::string name;
};

namespace {

// What stands at the name may be replaced: nothing, or a regular file of the user's.
void RequireReplaceable(int folder, const std::string& name, const std::string& path) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return;
        throw CannotCreateFile(path);
    }
    const std::string refused = "Not trusted: " + path + ": ";
    if (S_ISLNK(info.st_mode)) throw NotTrusted(refused + "it is a symbolic link, and a report is never written through one");
    if (!S_ISREG(info.st_mode)) throw NotTrusted(refused + "it is no regular file");
    if (info.st_uid != ::geteuid()) {
        throw NotTrusted(refused + "it belongs to user " + std::to_string(info.st_uid) +
                         ", and only a file of your own is replaced");
    }
}

}  // namespace

OwnedOutputFile::OwnedOutputFile(const std::string& path) : path_(path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") throw CannotCreateFile(path);
    // The folder's own links may be followed (under the trust rule); the name's never.
    const std::string resolved = RequireTrusted(folder, TrustRule::OwnedAndGuarded);
    const int fd = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw CannotCreateFile(path);
    folder_ = std::make_unique<Opened>(fd, std::move(name));
    RequireReplaceable(folder_->folder, folder_->name, path_);
}

OwnedOutputFile::~OwnedOutputFile() = default;

void OwnedOutputFile::Write(std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    const int folder = folder_->folder;
    const std::string& name = folder_->name;
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100) throw CannotCreateFile(path_);
        temporary = "." + name.substr(0, 200) + ".korvax-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
        if (CreateFileAt(folder, temporary, bytes, 0666, calls, path_)) break;
    }
    try {
        RequireReplaceable(folder, name, path_);
        if (calls.RenameAt(folder, temporary.c_str(), folder, name.c_str()) != 0) throw CannotCreateFile(path_);
    } catch (...) {
        ::unlinkat(folder, temporary.c_str(), 0);
        throw;
    }
    ::fsync(folder);
}

}  // namespace korvax
