// One pass of the database over one file held in memory: the interpreter's throughput.
//
// Databases are generated as signature source with a fixed seed, in a mix like that of a
// real one: mostly positioned comparisons at scattered offsets, entries that check the
// program header and then search the whole file for a body, a few any-of groups and a few
// entries that begin with a search. Almost nothing matches, so every pass walks the whole
// database: the worst case for a clean file, which is what most files are.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "database/read_records.h"
#include "engine/signature_interpreter.h"
#include "language/signature_source.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string HexPattern(std::mt19937& random) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", static_cast<unsigned>(random() & 0xFF),
                  static_cast<unsigned>(random() & 0xFF), static_cast<unsigned>(random() & 0xFF),
                  static_cast<unsigned>(random() & 0xFF));
    return text;
}

std::string DatabaseSource(int entries) {
    std::mt19937 random(20261208);
    std::string source;
    for (int i = 0; i < entries; ++i) {
        source += "entry \"Bench." + std::to_string(i) + "\"\n";
        const unsigned kind = random() % 100;
        const auto offset = std::to_string(random() % 4096);
        if (kind < 70) {
            source += "match at " + offset + " pattern " + HexPattern(random) + "\n";
            source += "match rel 4 pattern " + HexPattern(random) + "\n";
        } else if (kind < 85) {
            source += "match at 0 pattern 4D 5A ?? ??\n";
            source += "search rel 0 pattern " + HexPattern(random) + "\n";
            source += "match mode 3 0 pattern " + HexPattern(random) + "\n";
        } else if (kind < 95) {
            source += "any at " + offset + " {\n";
            for (int m = 0; m < 3; ++m) source += "  match rel " + std::to_string(4 * m) + " pattern " + HexPattern(random) + "\n";
            source += "}\n";
        } else {
            source += "search rel 0 pattern " + HexPattern(random) + "\n";
        }
    }
    return source;
}

const korvax::VirusDatabase& Database(int entries) {
    static std::map<int, korvax::VirusDatabase> cache;
    auto found = cache.find(entries);
    if (found == cache.end()) {
        korvax::VirusDatabase base;
        korvax::ReadRecords(korvax::AssembleSource(DatabaseSource(entries)), base);
        found = cache.emplace(entries, std::move(base)).first;
    }
    return found->second;
}

Bytes Program(std::size_t size) {
    std::mt19937 random(7);
    Bytes file(size);
    for (auto& b : file) b = static_cast<std::uint8_t>(random());
    file[0] = 'M';
    file[1] = 'Z';
    return file;
}

void BM_ScanPass(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const korvax::VirusDatabase& base = Database(static_cast<int>(state.range(1)));
    korvax::FileImage image(Program(size));
    korvax::SignatureInterpreter interpreter(image);
    int detections = 0;
    for (auto _ : state) {
        image.seek(0);  // a freshly loaded file
        interpreter.ScanFile(base);
        detections += interpreter.resultCode() != korvax::ResultCode::Clean;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
    state.counters["detections"] = detections;
}

BENCHMARK(BM_ScanPass)
    ->ArgNames({"bytes", "entries"})
    ->ArgsProduct({{64 << 10, 1 << 20, 5 << 20}, {10, 1000, 10000}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
