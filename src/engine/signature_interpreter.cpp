#include "engine/signature_interpreter.h"

#include "database/record_fields.h"
#include "engine/cure_operations.h"
#include "engine/pattern_search.h"
#include "engine/wrapping.h"
#include "platform/failure.h"

namespace korvax {
namespace {

// Record k of an entry is item 2k (header) of the entry's list; a missing record fails
// with the list's own message, naming that item.
const Record& RecordOf(const VirusEntry& entry, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= entry.records.size()) {
        throw ListIndexOutOfBounds(2 * static_cast<std::int64_t>(index));
    }
    return entry.records[static_cast<std::size_t>(index)];
}

// One open group while its members are evaluated.
struct GroupFrame {
    std::int32_t start = 0;
    std::int32_t furthest = 0;
    std::int32_t remaining = 0;
    bool result = false;
};

}  // namespace

void SignatureInterpreter::PositionFor(std::uint8_t mode, std::int32_t offset, std::int32_t MatchPosition) {
    switch (mode) {
        case position_mode::kAbsolute:
            image_.seek(offset);
            break;
        case position_mode::kFromBase:
            // The offset is not added here: mode 1 always starts at the base.
            image_.seek(ScanBaseOffset);
            break;
        case position_mode::kRelative:
            image_.seek(WrapAdd(MatchPosition, offset));
            break;
        default:
            break;  // the current position is used
    }
}

bool SignatureInterpreter::MatchSingle(const Record& record, std::int32_t& MatchPosition) {
    const MatchFields fields = DecodeMatch(record.data);
    const MaskedPattern pattern{fields.pattern, fields.mask};
    if (fields.search == 0) {
        PositionFor(fields.mode, fields.offset, MatchPosition);
        MatchPosition = image_.position();
        std::uint8_t window[4] = {0, 0, 0, 0};
        image_.read(window, 4);
        return pattern.test(window);
    }
    // A search starts at MatchPosition in mode 2 (without the offset), elsewhere where the
    // stream stands. It never moves MatchPosition.
    if (fields.mode == position_mode::kRelative) image_.seek(MatchPosition);
    const SearchOutcome outcome = SearchForward(image_.bytes(), image_.position(), pattern);
    image_.seek(outcome.position);
    return outcome.found;
}

bool SignatureInterpreter::MatchOp(const VirusEntry& entry, std::int32_t& InstructionIndex,
                                   std::int32_t& MatchPosition) {
    const Record& first = RecordOf(entry, InstructionIndex);
    if (first.type() == record_type::kMatch) {
        ++InstructionIndex;
        return MatchSingle(first, MatchPosition);
    }
    if (first.type() != record_type::kGroup) {
        ++InstructionIndex;
        return true;
    }

    // Groups are walked with an explicit stack, so no database can exhaust the thread's
    // stack however deep it nests them.
    std::vector<GroupFrame> open;
    auto openGroup = [&](const Record& record) {
        if (open.size() >= static_cast<std::size_t>(kMaxGroupDepth)) {
            throw Failure("Groups nested more than " + std::to_string(kMaxGroupDepth) + " levels deep");
        }
        const GroupFields fields = DecodeGroup(record.data);
        PositionFor(fields.mode, fields.offset, MatchPosition);
        GroupFrame frame;
        frame.start = image_.position();
        frame.furthest = frame.start;
        frame.remaining = fields.count > 0 ? fields.count : 0;
        MatchPosition = frame.start;
        open.push_back(frame);
        ++InstructionIndex;
    };

    openGroup(first);
    for (;;) {
        GroupFrame& top = open.back();
        if (top.remaining == 0) {
            // The group leaves the furthest position any member left, matched or not.
            MatchPosition = top.furthest;
            const bool result = top.result;
            open.pop_back();
            if (open.empty()) return result;
            GroupFrame& parent = open.back();
            parent.result = parent.result || result;
            if (MatchPosition > parent.furthest) parent.furthest = MatchPosition;
            continue;
        }
        --top.remaining;
        MatchPosition = top.start;
        const Record& member = RecordOf(entry, InstructionIndex);
        if (member.type() == record_type::kGroup) {
            openGroup(member);  // its result reaches this frame when it closes
            continue;
        }
        bool result = true;  // a member of another type holds and is not collected
        ++InstructionIndex;
        if (member.type() == record_type::kMatch) result = MatchSingle(member, MatchPosition);
        GroupFrame& current = open.back();
        current.result = current.result || result;  // every member is evaluated
        if (MatchPosition > current.furthest) current.furthest = MatchPosition;
    }
}

void SignatureInterpreter::ScanFile(const VirusDatabase& base) {
    ScanVariables.clear();
    PendingCopies.clear();
    PendingSizeChanges.clear();
    std::int32_t MatchPosition = 0;
    const VirusEntry* matchedEntry = nullptr;
    bool cured = false;

    for (const VirusEntry& entry : base) {
        if (entry.records.empty()) throw ListIndexOutOfBounds(1);  // the head's data item
        if (ReadU8(entry.records.front().data, layout::kHeadSkipFlag) != 0) continue;

        bool matched = true;
        MatchPosition = 0;
        std::int32_t InstructionIndex = 1;
        const auto count = static_cast<std::int32_t>(entry.records.size());
        while (InstructionIndex < count && matched) {
            const Record& record = entry.records[static_cast<std::size_t>(InstructionIndex)];
            switch (record.type()) {
                case record_type::kMatch:
                case record_type::kGroup:
                    matched = MatchOp(entry, InstructionIndex, MatchPosition);
                    break;
                case record_type::kCopy:
                    PendingCopies.push_back(&record);
                    ++InstructionIndex;
                    break;
                case record_type::kSize:
                    PendingSizeChanges.push_back(&record);
                    ++InstructionIndex;
                    break;
                case record_type::kVariable:
                    ScanVariables.push_back({&record, MatchPosition});
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
        if (matched) {
            matchedEntry = &entry;
            break;
        }
    }

    if (matchedEntry == nullptr) {
        resultCode_ = ResultCode::Clean;
        return;
    }
    StatusText = ShownName(matchedEntry->records.front().data);
    resultCode_ = cured ? ResultCode::Cured : ResultCode::Detected;
    ActionText = cured ? kCuredText : kSkippedText;
}

}  // namespace korvax
