#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "test_system.h"

namespace korvax::test {

void SetEnvironment(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }

void UnsetEnvironment(const std::string& name) { ::unsetenv(name.c_str()); }

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

bool MakeSymbolicLink(const std::string& target, const std::string& link) {
    struct stat info {};
    return ::symlink(target.c_str(), link.c_str()) == 0 && ::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::pair<std::uint64_t, std::uint64_t> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {0, 0};
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::uint32_t KeptModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint32_t>(info.st_mode & 07777) : 0;
}

void SetKeptMode(const std::string& path, std::uint32_t mode) { ::chmod(path.c_str(), static_cast<mode_t>(mode)); }

const std::uint32_t kKeptMode = 0750;
const std::uint32_t kOtherMode = 0644;

std::pair<std::uint32_t, std::uint32_t> UserIds() { return {::geteuid(), ::getegid()}; }

}  // namespace korvax::test
