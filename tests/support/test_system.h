#pragma once
// What the tests need of the system they run on, asked the same way on both: paths spelled
// the system's way, environment variables, the special files and links only one system
// can make, a file's identity. test_system_posix.cpp and test_system_win32.cpp answer.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_name.h"
#include "test_support.h"

namespace korvax::test {

// `path`, written with '/' between its folders, as the system spells it.
inline std::string Native(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '/') c = kPathSeparator;
    }
    return native;
}

// Takes the write permission away from everyone: the read-only attribute on Windows.
inline void MakeReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    fs::permissions(PathOf(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// Sets (or, with nothing, removes) an environment variable of the test's own process; the
// programs a test starts inherit it.
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);

// A FIFO at `path`. False on Windows, whose folders hold none.
bool MakeFifo(const std::string& path);

// A symbolic link at `link` to `target`. True only when one stands there afterwards: Wine
// says it made one and makes nothing.
bool MakeSymbolicLink(const std::string& target, const std::string& link);

// What a file's replacement must keep besides its owner, as the platform reads it
// (FileOwnership::mode): the permission bits on Linux, the attributes on Windows. Two
// values of it that a test can give a file and tell apart: kKeptMode, kOtherMode.
std::uint32_t KeptModeOf(const std::string& path);
void SetKeptMode(const std::string& path, std::uint32_t mode);
extern const std::uint32_t kKeptMode;
extern const std::uint32_t kOtherMode;

// The user and group ids the process acts as (0 on Windows, whose owners are SIDs).
std::pair<std::uint32_t, std::uint32_t> UserIds();

// The identity of the file at `path`: device and inode; volume serial number and file
// index on Windows.
std::pair<std::uint64_t, std::uint64_t> IdentityOf(const std::string& path);

}  // namespace korvax::test
