// The compiled database on real programs: how long loading a database and building its
// plan takes and what it holds in memory, then the cost of one pass over every file held
// in memory (files already read, so only the engine is timed), split into the sweep for
// searched patterns and the whole fast pass, beside the literal interpreter when asked.
// The fast pass is timed as a check runs it, each file's image made afresh (its memory
// allocated and the bytes copied in), and once more over images made beforehand: the
// difference is what the C runtime's allocator costs, which differs between the systems
// (Windows' heap gives every block of more than half a megabyte back to the system when it
// is freed, so each new image is fresh pages).
// Each pass is timed three times and the fastest kept: a shared machine's noise only ever
// adds time.
//
//   plan_bench DB [LIST [--reference]]     (LIST: one file path per line; without it, only
//                                          the load is measured)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "database/database_load.h"
#include "engine/file_image.h"
#include "engine/plan_pass.h"
#include "engine/scan_plan.h"
#include "engine/signature_interpreter.h"
#include "platform/terminal_process.h"
#include "platform/whole_file.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKilobytes() { return static_cast<long>(korvax::PeakResidentBytes() / 1024); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: plan_bench DB [LIST [--reference]]\n";
        return 2;
    }
    const bool reference = argc > 3 && std::string(argv[3]) == "--reference";
    auto started = std::chrono::steady_clock::now();
    korvax::VirusDatabase base;
    const korvax::DatabaseLoad load = korvax::LoadStartupDatabase(argv[1], base);
    const double loadSeconds = Seconds(started);
    if (!load.loaded) {
        std::cerr << load.message << '\n';
        return 2;
    }
    started = std::chrono::steady_clock::now();
    const korvax::ScanPlan plan(base);
    const double planSeconds = Seconds(started);
    const long databaseKilobytes = PeakKilobytes();
    std::printf("entries %zu: load %.3f s, plan %.3f s, together %.3f s, peak memory %ld KiB\n", base.size(),
                loadSeconds, planSeconds, loadSeconds + planSeconds, databaseKilobytes);
    if (argc < 3) return 0;

    std::vector<std::vector<std::uint8_t>> files;
    std::size_t bytes = 0;
    std::ifstream list(argv[2]);
    for (std::string path; std::getline(list, path);) {
        // The list is UTF-8 on every system (a narrow name would go through Windows' code page).
        std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bytes += files.back().size();
    }

    constexpr int kRepeats = 3;
    std::vector<std::uint8_t> found(plan.searches().patternCount());
    double sweepSeconds = 1e9;
    long occurring = 0;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        started = std::chrono::steady_clock::now();
        occurring = 0;
        for (const auto& file : files) {
            plan.searches().Sweep(file, found);
            for (const std::uint8_t f : found) occurring += f;
        }
        sweepSeconds = std::min(sweepSeconds, Seconds(started));
    }

    auto passes = [&](auto run) {
        int detections = 0;
        double fastest = 1e9;
        for (int repeat = 0; repeat < kRepeats; ++repeat) {
            detections = 0;
            const auto begun = std::chrono::steady_clock::now();
            for (const auto& file : files) {
                korvax::FileImage image(file);
                detections += run(image) != korvax::ResultCode::Clean;
            }
            fastest = std::min(fastest, Seconds(begun));
        }
        return std::make_pair(fastest, detections);
    };
    const auto [fastSeconds, fastDetections] = passes([&](korvax::FileImage& image) {
        korvax::PlanPass pass(image);
        pass.ScanFile(plan);
        return pass.resultCode();
    });
    std::printf("%zu files, %.1f MB: sweep of %zu searched patterns %.3f s (%ld found), fast pass %.3f s (%d detections)\n",
                files.size(), bytes / 1e6, plan.searches().patternCount(), sweepSeconds, occurring, fastSeconds,
                fastDetections);
    if (reference) {
        const auto [literalSeconds, literalDetections] = passes([&](korvax::FileImage& image) {
            korvax::SignatureInterpreter pass(image);
            pass.ScanFile(base);
            return pass.resultCode();
        });
        std::printf("literal interpreter %.3f s (%d detections)\n", literalSeconds, literalDetections);
    }
    // Every image made once, from the files themselves (no second copy in memory), and the
    // fast pass timed over them. The bench's databases carry no cures, so no pass changes
    // an image; each begins at its start, as a check's does.
    std::vector<korvax::FileImage> images;
    images.reserve(files.size());
    for (auto& file : files) images.emplace_back(std::move(file));
    files.clear();
    double madeSeconds = 1e9;
    int madeDetections = 0;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        madeDetections = 0;
        const auto begun = std::chrono::steady_clock::now();
        for (auto& image : images) {
            image.seek(0);
            korvax::PlanPass pass(image);
            pass.ScanFile(plan);
            madeDetections += pass.resultCode() != korvax::ResultCode::Clean;
        }
        madeSeconds = std::min(madeSeconds, Seconds(begun));
    }
    std::printf("fast pass over images already made %.3f s (%d detections)\n", madeSeconds, madeDetections);
    return 0;
}
