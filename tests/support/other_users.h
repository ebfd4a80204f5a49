#pragma once
// For the tests that act as two users of one POSIX machine: files of "another user" are
// made as root and given away with chown.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace korvax::test {

// Whether the tests run as root, which tests that make files of other users need. CI runs
// as root and must run them all: there, not being root is itself a failure.
inline bool RunningAsRoot() {
    if (::geteuid() == 0) return true;
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string_view(ci) == "true") ADD_FAILURE() << "CI must run these tests as root";
    return false;
}

}  // namespace korvax::test
