#include <gtest/gtest.h>

#include "database/database_load.h"
#include "language/signature_source.h"
#include "test_support.h"

namespace korvax {
namespace {

TEST(LoadStartupDatabase, SaysWhatWasReadAndWhetherACheckCanRun) {
    test::TempFolder folder;
    const test::Bytes whole = AssembleSource("entry \"A\"\nentry \"B\"\nmatch at 0 pattern 01 02 03 04\n");

    VirusDatabase base;
    DatabaseLoad load = LoadStartupDatabase(folder.write("whole.kvd", whole), base);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(load.message, "");
    EXPECT_EQ(base.size(), 2U);

    // Damage after the first entry: the entries before it are kept, and the user is told.
    test::Bytes damaged = AssembleSource("entry \"A\"\nraw 0xFF length -7\n");
    base.clear();
    load = LoadStartupDatabase(folder.write("damaged.kvd", damaged), base);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(load.message, "Negative record length at offset 226");
    EXPECT_EQ(base.size(), 1U);

    base.clear();
    const std::string missing = folder.file("missing.kvd");
    load = LoadStartupDatabase(missing, base);
    EXPECT_FALSE(load.loaded);
    EXPECT_EQ(load.message, "Cannot open file " + missing);
    EXPECT_TRUE(base.empty());
}

}  // namespace
}  // namespace korvax
