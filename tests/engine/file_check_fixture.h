#pragma once
// What the tests of the per-file check on disk share: the database, the fixture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/disk_file.h"
#include "engine/file_check.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;
using test::BytesOf;
using test::ReadBytes;
using test::SampleProgram;
using test::WithMarkers;
using test::TempFolder;

// Infections used here append markers to a program; the cures cut them off again.
const char* const kDatabase = R"(
    entry "Layer.B"
    search rel 0 pattern "BBBB"
    size cut 4
    entry "Layer.A"
    search rel 0 pattern "AAAA"
    size cut 4
    entry "Stuck"
    search rel 0 pattern "STUK"
    entry "Loop"
    search rel 0 pattern "LOOP"
    size cut 0
    entry "Broken.Cure"
    search rel 0 pattern "BRKN"
    size cut 100000
)";

struct Check {
    FileCheckOutcome outcome;
    std::vector<ResultRow> rows;
    std::int32_t viruses = 0;
    std::int32_t cures = 0;
};

inline Check CheckAndCount(const std::string& path, const VirusDatabase& base) {
    DetectionCounters counters;
    Check check;
    check.outcome = CheckFile(path, LinkPolicy::ResolveOnce, base, counters, [&](const ResultRow& row) { check.rows.push_back(row); });
    check.viruses = counters.VirusCount.load();
    check.cures = counters.CuredCount.load();
    return check;
}

class FileCheck : public ::testing::Test {
protected:
    TempFolder folder;
    VirusDatabase base = BaseFromSource(kDatabase);
};

}  // namespace
}  // namespace korvax
