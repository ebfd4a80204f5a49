#pragma once
// The fast pass: one pass of a compiled database (ScanPlan) over one file image, with
// exactly the outcome of the signature interpreter's pass (result code, texts, the image's
// bytes and position afterwards, the failure it throws), at a cost that hardly grows with
// the database: one sweep finds the entries whose first test can hold, and only those and
// the entries that depend on the stream position are evaluated.
//
// Thread safety: a PlanPass belongs to one worker and holds that worker's per-pass state;
// any number of them read one ScanPlan at once.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_image.h"
#include "engine/scan_plan.h"
#include "engine/scan_result.h"
#include "engine/scan_variables.h"

namespace korvax {

class PlanPass {
public:
    explicit PlanPass(FileImage& image) : image_(image) {}

    // One pass over `plan`, as SignatureInterpreter::ScanFile over the plan's database.
    void ScanFile(const ScanPlan& plan);

    ResultCode resultCode() const { return resultCode_; }
    const std::string& statusText() const { return StatusText; }
    const std::string& actionText() const { return ActionText; }
    void setTexts(std::string status, std::string action) {
        StatusText = std::move(status);
        ActionText = std::move(action);
    }

private:
    void FindCandidates(const ScanPlan& plan);
    // Evaluates entry `index` in full from the stream's position; applies its cures when it
    // matches and has any (setting `cured`).
    bool Evaluate(const ScanPlan& plan, const PlanEntry& entry, bool& cured);
    bool MatchOp(const ScanPlan& plan, const PlanEntry& entry, std::int32_t& InstructionIndex, std::int32_t& MatchPosition);
    bool MatchSingle(const PlanRecord& record, std::int32_t& MatchPosition);
    void PositionFor(std::uint8_t mode, std::int32_t offset, std::int32_t MatchPosition);

    struct GroupFrame {
        std::int32_t start = 0;
        std::int32_t furthest = 0;
        std::int32_t remaining = 0;
        bool result = false;
    };

    FileImage& image_;
    ResultCode resultCode_ = ResultCode::Clean;
    std::string StatusText;
    std::string ActionText;
    static constexpr std::int32_t ScanBaseOffset = 0;  // nothing sets it

    // Per-pass state, kept between passes only to reuse its storage.
    std::vector<std::uint8_t> searchFound_;
    std::vector<std::uint32_t> candidates_;
    std::vector<GroupFrame> open_;
    std::vector<ScanVariable> ScanVariables;
    std::vector<const Record*> PendingCopies;
    std::vector<const Record*> PendingSizeChanges;
};

}  // namespace korvax
