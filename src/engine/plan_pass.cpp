#include "engine/plan_pass.h"

#include <algorithm>
#include <cstring>

#include "database/record_fields.h"
#include "engine/cure_operations.h"
#include "engine/pattern_search.h"
#include "engine/window_word.h"
#include "engine/wrapping.h"
#include "platform/failure.h"

namespace korvax {

void PlanPass::PositionFor(std::uint8_t mode, std::int32_t offset, std::int32_t MatchPosition) {
    switch (mode) {
        case position_mode::kAbsolute:
            image_.seek(offset);
            break;
        case position_mode::kFromBase:
            image_.seek(ScanBaseOffset);
            break;
        case position_mode::kRelative:
            image_.seek(WrapAdd(MatchPosition, offset));
            break;
        default:
            break;
    }
}

bool PlanPass::MatchSingle(const PlanRecord& record, std::int32_t& MatchPosition) {
    if (!record.search) {
        PositionFor(record.mode, record.offset, MatchPosition);
        MatchPosition = image_.position();
        std::uint8_t window[4] = {0, 0, 0, 0};
        image_.read(window, 4);
        return record.pattern.test(window);
    }
    if (record.mode == position_mode::kRelative) image_.seek(MatchPosition);
    const SearchOutcome outcome = SearchForward(image_.bytes(), image_.position(), record.pattern);
    image_.seek(outcome.position);
    return outcome.found;
}

bool PlanPass::MatchOp(const ScanPlan& plan, const PlanEntry& entry, std::int32_t& InstructionIndex,
                       std::int32_t& MatchPosition) {
    auto recordAt = [&](std::int32_t index) -> const PlanRecord& {
        if (index < 0 || index >= entry.recordCount) throw ListIndexOutOfBounds(2 * static_cast<std::int64_t>(index));
        return plan.record(entry, index);
    };
    const PlanRecord& first = recordAt(InstructionIndex);
    if (first.type == record_type::kMatch) {
        ++InstructionIndex;
        return MatchSingle(first, MatchPosition);
    }
    if (first.type != record_type::kGroup) {
        ++InstructionIndex;
        return true;
    }

    open_.clear();
    auto openGroup = [&](const PlanRecord& record) {
        if (open_.size() >= static_cast<std::size_t>(kMaxGroupDepth)) {
            throw Failure("Groups nested more than " + std::to_string(kMaxGroupDepth) + " levels deep");
        }
        PositionFor(record.mode, record.offset, MatchPosition);
        GroupFrame frame;
        frame.start = image_.position();
        frame.furthest = frame.start;
        frame.remaining = record.count > 0 ? record.count : 0;
        MatchPosition = frame.start;
        open_.push_back(frame);
        ++InstructionIndex;
    };

    openGroup(first);
    for (;;) {
        GroupFrame& top = open_.back();
        if (top.remaining == 0) {
            MatchPosition = top.furthest;
            const bool result = top.result;
            open_.pop_back();
            if (open_.empty()) return result;
            GroupFrame& parent = open_.back();
            parent.result = parent.result || result;
            if (MatchPosition > parent.furthest) parent.furthest = MatchPosition;
            continue;
        }
        --top.remaining;
        MatchPosition = top.start;
        const PlanRecord& member = recordAt(InstructionIndex);
        if (member.type == record_type::kGroup) {
            openGroup(member);
            continue;
        }
        bool result = true;
        ++InstructionIndex;
        if (member.type == record_type::kMatch) result = MatchSingle(member, MatchPosition);
        GroupFrame& current = open_.back();
        current.result = current.result || result;
        if (MatchPosition > current.furthest) current.furthest = MatchPosition;
    }
}

bool PlanPass::Evaluate(const ScanPlan& plan, const PlanEntry& entry, bool& cured) {
    if (entry.recordCount == 0) throw ListIndexOutOfBounds(1);  // the head's data item
    bool matched = true;
    std::int32_t MatchPosition = 0;
    std::int32_t InstructionIndex = 1;
    while (InstructionIndex < entry.recordCount && matched) {
        const PlanRecord& record = plan.record(entry, InstructionIndex);
        switch (record.type) {
            case record_type::kMatch:
            case record_type::kGroup:
                matched = MatchOp(plan, entry, InstructionIndex, MatchPosition);
                break;
            case record_type::kCopy:
                PendingCopies.push_back(record.source);
                ++InstructionIndex;
                break;
            case record_type::kSize:
                PendingSizeChanges.push_back(record.source);
                ++InstructionIndex;
                break;
            case record_type::kVariable:
                ScanVariables.push_back({record.source, MatchPosition});
                ++InstructionIndex;
                break;
            default:
                ++InstructionIndex;
                break;
        }
    }
    if (matched && (!PendingCopies.empty() || !PendingSizeChanges.empty())) {
        ApplyCures(image_, PendingCopies, PendingSizeChanges, ScanVariables, ScanBaseOffset);
        cured = true;
    }
    ScanVariables.clear();
    PendingCopies.clear();
    PendingSizeChanges.clear();
    return matched;
}

void PlanPass::FindCandidates(const ScanPlan& plan) {
    candidates_.clear();
    const std::span<const std::uint8_t> bytes = image_.bytes();
    const auto size = static_cast<std::int64_t>(bytes.size());
    const std::span<const ScanPlan::PlacedComparison> comparisons = plan.comparisons();
    auto firstAtOrAbove = [&](std::int64_t place) {
        return static_cast<std::size_t>(
            std::lower_bound(comparisons.begin(), comparisons.end(), place,
                             [](const ScanPlan::PlacedComparison& a, std::int64_t b) { return a.place < b; }) -
            comparisons.begin());
    };
    const std::size_t inside = firstAtOrAbove(0);
    const std::size_t tail = std::max(inside, firstAtOrAbove(size - 3));  // windows that run past the end
    const std::size_t outside = std::max(tail, firstAtOrAbove(size));
    auto hold = [&](std::size_t slot) {
        for (const std::uint32_t entry : plan.comparisonEntries(static_cast<std::uint32_t>(slot))) candidates_.push_back(entry);
    };
    // Outside the image every window reads as zeros.
    for (std::size_t i = 0; i < inside; ++i) {
        if (comparisons[i].pattern == 0) hold(i);
    }
    const std::uint8_t* data = bytes.data();
    for (std::size_t i = inside; i < tail; ++i) {
        const ScanPlan::PlacedComparison& c = comparisons[i];
        if ((LoadWord(data + c.place) & c.mask) == c.pattern) [[unlikely]] hold(i);
    }
    for (std::size_t i = tail; i < outside; ++i) {
        const ScanPlan::PlacedComparison& c = comparisons[i];
        if ((WindowWordAt(bytes, c.place) & c.mask) == c.pattern) hold(i);
    }
    for (std::size_t i = outside; i < comparisons.size(); ++i) {
        if (comparisons[i].pattern == 0) hold(i);
    }

    const SearchSweep& searches = plan.searches();
    if (searches.patternCount() > 0) {
        searchFound_.resize(searches.patternCount());
        searches.Sweep(bytes, searchFound_);
        // Few patterns occur in any one image: skip eight flags at a time while all are clear.
        const std::uint32_t slots = static_cast<std::uint32_t>(searchFound_.size());
        for (std::uint32_t slot = 0; slot < slots;) {
            std::uint64_t eight = 0;
            if (slot + 8 <= slots) std::memcpy(&eight, searchFound_.data() + slot, 8);
            if (slot + 8 <= slots && eight == 0) {
                slot += 8;
                continue;
            }
            if (searchFound_[slot] != 0) {
                for (const std::uint32_t entry : plan.searchEntries(slot)) candidates_.push_back(entry);
            }
            ++slot;
        }
    }
    std::sort(candidates_.begin(), candidates_.end());
}

void PlanPass::ScanFile(const ScanPlan& plan) {
    ScanVariables.clear();
    PendingCopies.clear();
    PendingSizeChanges.clear();
    FindCandidates(plan);

    const std::vector<PlanEntry>& entries = plan.entries();
    const std::int32_t size = image_.size();
    // Where an entry whose independent first test fails leaves the stream.
    auto exitOf = [&](std::int32_t index) -> std::int32_t {
        const PlanEntry& entry = entries[static_cast<std::size_t>(index)];
        if (entry.kind == FirstTest::Search) return size;
        const std::int32_t p = entry.place;
        return (p >= 0 && p < size) ? p + std::min(4, size - p) : p;
    };

    std::int32_t position = image_.position();
    std::int64_t previous = -1;  // the last entry evaluated
    const std::span<const std::uint32_t> always = plan.alwaysEvaluated();
    std::size_t a = 0;
    std::size_t b = 0;
    while (a < candidates_.size() || b < always.size()) {
        const bool fromCandidates = b >= always.size() || (a < candidates_.size() && candidates_[a] < always[b]);
        const std::uint32_t next = fromCandidates ? candidates_[a++] : always[b++];
        if (next > 0) {
            const std::int32_t passed = plan.lastIndependent(next - 1);
            if (passed > previous) position = exitOf(passed);
        }
        image_.seek(position);
        const PlanEntry& entry = entries[next];
        bool cured = false;
        if (Evaluate(plan, entry, cured)) {
            StatusText = ShownName(entry.entry->records.front().data);
            resultCode_ = cured ? ResultCode::Cured : ResultCode::Detected;
            ActionText = cured ? kCuredText : kSkippedText;
            return;
        }
        position = image_.position();
        previous = next;
    }
    if (!entries.empty()) {
        const std::int32_t passed = plan.lastIndependent(static_cast<std::uint32_t>(entries.size() - 1));
        if (passed > previous) position = exitOf(passed);
    }
    image_.seek(position);
    resultCode_ = ResultCode::Clean;
}

}  // namespace korvax
