#pragma once
// An installed tree, a user's data folder and a current folder: where korvax-scan looks
// for its database.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "check/database_search.h"
#include "test_support.h"

namespace korvax {
namespace {

class DatabaseChoice : public ::testing::Test {
protected:
    // An installed tree under folder/usr (programs in bin/, the default database in
    // share/korvax/), a home, and an unrelated current folder.
    void SetUp() override {
        search.currentDirectory = folder.file("work");
        search.userData = folder.file("home/.local/share/korvax");
        search.programDirectory = folder.file("usr/bin");
        std::filesystem::create_directories(search.currentDirectory);
    }

    std::string chosen() { return ChooseDatabase("", search).path; }

    test::TempFolder folder;
    DatabaseSearch search;
};

}  // namespace
}  // namespace korvax
