#include "engine/scan_plan.h"

#include <algorithm>
#include <tuple>

#include "database/record_fields.h"
#include "engine/window_word.h"
#include "engine/wrapping.h"

namespace korvax {
namespace {

PlanRecord Decode(const Record& record) {
    PlanRecord out;
    out.type = record.type();
    out.source = &record;
    if (out.type == record_type::kMatch) {
        const MatchFields fields = DecodeMatch(record.data);
        out.mode = fields.mode;
        out.offset = fields.offset;
        out.search = fields.search != 0;
        out.pattern = MaskedPattern{fields.pattern, fields.mask};
    } else if (out.type == record_type::kGroup) {
        const GroupFields fields = DecodeGroup(record.data);
        out.mode = fields.mode;
        out.offset = fields.offset;
        out.count = fields.count;
    }
    return out;
}

// Classifies an entry by the first of its records that touches the stream.
void Classify(PlanEntry& entry, std::span<const PlanRecord> records) {
    for (std::size_t r = 0; r < records.size(); ++r) {
        const PlanRecord& record = records[r];
        entry.testRecord = entry.firstRecord + static_cast<std::uint32_t>(r);
        if (record.type == record_type::kGroup) return;  // placed by the stream or by a group: evaluated
        if (record.type != record_type::kMatch) continue;
        if (!record.search) {
            switch (record.mode) {
                case position_mode::kAbsolute:
                case position_mode::kRelative:  // the match position is still 0
                    entry.kind = FirstTest::Comparison;
                    entry.place = WrapAdd(0, record.offset);
                    return;
                case position_mode::kFromBase:  // the base is 0
                    entry.kind = FirstTest::Comparison;
                    entry.place = 0;
                    return;
                default:
                    return;
            }
        }
        if (record.mode == position_mode::kRelative) entry.kind = FirstTest::Search;
        return;
    }
    // No test at all: the entry matches at once, and must be evaluated.
}

struct Keyed {
    std::int32_t place;
    std::uint32_t pattern;
    std::uint32_t mask;
    std::uint32_t entry;
    auto key() const { return std::tie(place, pattern, mask, entry); }
};

}  // namespace


ScanPlan::ScanPlan(const VirusDatabase& base) : base_(&base) {
    std::size_t recordTotal = 0;
    for (const VirusEntry& entry : base) recordTotal += entry.records.empty() ? 0 : entry.records.size() - 1;
    records_.reserve(recordTotal);
    entries_.reserve(base.size());

    std::vector<Keyed> comparisons;
    std::vector<Keyed> searches;
    for (std::uint32_t index = 0; index < base.size(); ++index) {
        const VirusEntry& source = base[index];
        PlanEntry entry;
        entry.entry = &source;
        entry.firstRecord = static_cast<std::uint32_t>(records_.size());
        entry.recordCount = static_cast<std::int32_t>(source.records.size());
        for (std::size_t r = 1; r < source.records.size(); ++r) records_.push_back(Decode(source.records[r]));
        if (source.records.empty()) {
            entry.kind = FirstTest::Evaluate;  // fails the pass that reaches it
        } else if (ReadU8(source.records.front().data, layout::kHeadSkipFlag) != 0) {
            entry.kind = FirstTest::Skipped;
        } else {
            Classify(entry, std::span(records_).subspan(entry.firstRecord));
        }
        if (entry.kind == FirstTest::Comparison || entry.kind == FirstTest::Search) {
            const PlanRecord* first = &records_[entry.testRecord];
            const Keyed keyed{entry.kind == FirstTest::Comparison ? entry.place : 0, PatternWord(first->pattern.pattern),
                              PatternWord(first->pattern.mask), index};
            (entry.kind == FirstTest::Comparison ? comparisons : searches).push_back(keyed);
        }
        entries_.push_back(entry);
    }

    // Distinct comparisons by place, then pattern and mask; their entries in order.
    std::sort(comparisons.begin(), comparisons.end(), [](const Keyed& a, const Keyed& b) { return a.key() < b.key(); });
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        const Keyed& c = comparisons[i];
        if (i == 0 || c.place != comparisons[i - 1].place || c.pattern != comparisons[i - 1].pattern ||
            c.mask != comparisons[i - 1].mask) {
            comparisons_.push_back({c.place, c.mask, c.pattern});
            comparisonEntryStart_.push_back(static_cast<std::uint32_t>(comparisonEntry_.size()));
        }
        entries_[c.entry].slot = static_cast<std::uint32_t>(comparisons_.size() - 1);
        comparisonEntry_.push_back(c.entry);
    }
    comparisonEntryStart_.push_back(static_cast<std::uint32_t>(comparisonEntry_.size()));

    std::sort(searches.begin(), searches.end(), [](const Keyed& a, const Keyed& b) { return a.key() < b.key(); });
    std::vector<MaskedPattern> searchPatterns;
    for (std::size_t i = 0; i < searches.size(); ++i) {
        const Keyed& s = searches[i];
        if (i == 0 || s.pattern != searches[i - 1].pattern || s.mask != searches[i - 1].mask) {
            searchPatterns.push_back(records_[entries_[s.entry].testRecord].pattern);
            searchEntryStart_.push_back(static_cast<std::uint32_t>(searchEntry_.size()));
        }
        entries_[s.entry].slot = static_cast<std::uint32_t>(searchPatterns.size() - 1);
        searchEntry_.push_back(s.entry);
    }
    searchEntryStart_.push_back(static_cast<std::uint32_t>(searchEntry_.size()));
    searches_ = SearchSweep(searchPatterns);

    lastIndependent_.resize(entries_.size());
    std::int32_t last = -1;
    for (std::uint32_t index = 0; index < entries_.size(); ++index) {
        const FirstTest kind = entries_[index].kind;
        if (kind == FirstTest::Evaluate) alwaysEvaluated_.push_back(index);
        if (kind == FirstTest::Comparison || kind == FirstTest::Search) last = static_cast<std::int32_t>(index);
        lastIndependent_[index] = last;
    }
}

std::span<const std::uint32_t> ScanPlan::comparisonEntries(std::uint32_t slot) const {
    return std::span(comparisonEntry_).subspan(comparisonEntryStart_[slot], comparisonEntryStart_[slot + 1] - comparisonEntryStart_[slot]);
}

std::span<const std::uint32_t> ScanPlan::searchEntries(std::uint32_t slot) const {
    return std::span(searchEntry_).subspan(searchEntryStart_[slot], searchEntryStart_[slot + 1] - searchEntryStart_[slot]);
}

}  // namespace korvax
