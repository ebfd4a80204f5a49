#pragma once
// Runs the literal interpreter and the fast pass on the same database and file and says
// where they part: for one pass (result, texts, the image's bytes and position after it,
// the failure it throws) and for the whole per-file check (outcome, rows, counters, every
// byte saved). Shared by the differential tests and the differential fuzzer.

#include <exception>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engine/file_check.h"
#include "engine/file_image.h"
#include "engine/plan_pass.h"
#include "engine/scan_plan.h"
#include "engine/signature_interpreter.h"
#include "platform/failure.h"

namespace korvax::test {

// A file held in memory: loaded once, every save kept.
class MemoryFile : public FileAccess {
public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
    std::vector<std::uint8_t> Load(std::int64_t maxSize) override {
        if (static_cast<std::int64_t>(bytes_.size()) > maxSize) throw CannotOpenFile("memory");
        return bytes_;
    }
    void Save(std::span<const std::uint8_t> image) override {
        bytes_.assign(image.begin(), image.end());
        saves.emplace_back(image.begin(), image.end());
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::vector<std::uint8_t>> saves;

private:
    std::vector<std::uint8_t> bytes_;
};

struct PassResult {
    ResultCode code = ResultCode::Clean;
    std::string status;
    std::string action;
    std::int32_t position = 0;
    std::vector<std::uint8_t> bytes;
    std::string failure;  // what the pass threw, if it threw
    bool operator==(const PassResult&) const = default;
};

// Up to `passes` passes over one image from `start`, as a check runs them (the image and
// its position carry over), stopping after a pass that does not cure or that throws.
template <class Pass, class Base>
std::vector<PassResult> RunPasses(const Base& base, std::span<const std::uint8_t> file, std::int32_t start, int passes,
                                  std::int64_t maxImage) {
    std::vector<PassResult> results;
    FileImage image(std::vector<std::uint8_t>(file.begin(), file.end()), maxImage);
    image.seek(start);
    Pass pass(image);
    for (int i = 0; i < passes; ++i) {
        PassResult result;
        try {
            pass.ScanFile(base);
            result.code = pass.resultCode();
            result.status = pass.statusText();
            result.action = pass.actionText();
        } catch (const std::exception& failure) {
            result.failure = failure.what();
        }
        result.position = image.position();
        result.bytes.assign(image.bytes().begin(), image.bytes().end());
        results.push_back(std::move(result));
        if (!results.back().failure.empty() || results.back().code != ResultCode::Cured) break;
    }
    return results;
}

struct CheckResult {
    FileCheckOutcome outcome;
    std::vector<ResultRow> rows;
    std::int32_t viruses = 0;
    std::int32_t cured = 0;
    std::vector<std::vector<std::uint8_t>> saves;
};

template <class Base>
CheckResult RunCheck(const Base& base, std::span<const std::uint8_t> file, std::int64_t maxImage) {
    CheckResult result;
    MemoryFile memory(file);
    DetectionCounters counters;
    FileCheckOptions options;
    options.maxImageSize = maxImage;
    result.outcome = CheckFile("memory", memory, base, counters, [&](const ResultRow& row) { result.rows.push_back(row); }, options);
    result.viruses = counters.VirusCount.load();
    result.cured = counters.CuredCount.load();
    result.saves = std::move(memory.saves);
    return result;
}

// Empty when the two agree on everything; otherwise what differs first.
inline std::string PassDifference(const std::vector<PassResult>& literal, const std::vector<PassResult>& fast) {
    if (literal.size() != fast.size()) return "a different number of passes";
    for (std::size_t i = 0; i < literal.size(); ++i) {
        const PassResult& a = literal[i];
        const PassResult& b = fast[i];
        std::ostringstream out;
        if (a.failure != b.failure) out << "pass " << i << " failure '" << a.failure << "' vs '" << b.failure << "'";
        else if (a.code != b.code) out << "pass " << i << " result " << static_cast<int>(a.code) << " vs " << static_cast<int>(b.code);
        else if (a.status != b.status || a.action != b.action) out << "pass " << i << " texts '" << a.status << "' vs '" << b.status << "'";
        else if (a.position != b.position) out << "pass " << i << " position " << a.position << " vs " << b.position;
        else if (a.bytes != b.bytes) out << "pass " << i << " image bytes";
        if (!out.str().empty()) return out.str();
    }
    return {};
}

inline std::string CheckDifference(const CheckResult& a, const CheckResult& b) {
    if (a.outcome.resultCode != b.outcome.resultCode) return "outcome result code";
    if (a.outcome.cures != b.outcome.cures) return "outcome cures";
    if (a.outcome.failure != b.outcome.failure) return "outcome failure '" + a.outcome.failure + "' vs '" + b.outcome.failure + "'";
    if (a.rows != b.rows) return "rows";
    if (a.viruses != b.viruses || a.cured != b.cured) return "counters";
    if (a.saves != b.saves) return "saved bytes";
    return {};
}

// Both comparisons for one database and file: empty when they agree.
inline std::string Differential(const VirusDatabase& base, std::span<const std::uint8_t> file, std::int32_t start,
                                std::int64_t maxImage) {
    const ScanPlan plan(base);
    constexpr int kPasses = 4;
    std::string difference = PassDifference(RunPasses<SignatureInterpreter>(base, file, start, kPasses, maxImage),
                                            RunPasses<PlanPass>(plan, file, start, kPasses, maxImage));
    if (!difference.empty()) return difference;
    return CheckDifference(RunCheck(base, file, maxImage), RunCheck(plan, file, maxImage));
}

}  // namespace korvax::test
