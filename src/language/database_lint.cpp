#include "language/database_lint.h"

#include <algorithm>
#include <set>

#include "database/record_cursor.h"
#include "database/record_fields.h"
#include "database/record_header.h"
#include "language/operand_syntax.h"
#include "language/source_support.h"

namespace korvax {
namespace {

using operand_syntax::OperandRole;
using operand_syntax::VariableMode;
using source_support::GroupNesting;
using source_support::HexByte;
using source_support::QuoteBytes;

struct EntryRecord {
    std::int64_t offset = 0;
    std::uint8_t type = 0;
    std::span<const std::uint8_t> data;
};

const char* TypeName(std::uint8_t type) {
    switch (type) {
        case record_type::kHead: return "head";
        case record_type::kMatch: return "match";
        case record_type::kGroup: return "group";
        case record_type::kVariable: return "variable";
        case record_type::kCopy: return "copy";
        case record_type::kSize: return "size";
        default: return nullptr;
    }
}

std::string Plural(std::int64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

class Linter {
public:
    std::vector<LintFinding> run(std::span<const std::uint8_t> file) {
        if (file.empty()) {
            error(0, "the file is empty: it reads as one entry without records, and every scan fails with a read error");
            return std::move(findings_);
        }
        RecordCursor cursor(file);
        std::vector<EntryRecord> entry;
        while (auto record = cursor.next()) {
            const std::uint8_t type = record->header.type();
            if (!entry.empty() && type == record_type::kHead) {
                checkEntry(entry);
                entry.clear();
            }
            const std::int32_t length = record->header.length();
            if (record->headerCut) {
                error(record->offset, "the file ends inside a record header: " +
                                          std::to_string(static_cast<std::int64_t>(file.size()) - record->offset) +
                                          " of 12 bytes");
            } else if (record->negativeLength) {
                std::string message = "negative length " + std::to_string(length) + ": reading stops here";
                if (!entry.empty()) {
                    message += "; the entry it belongs to (from offset " + std::to_string(entry.front().offset) +
                               ") is dropped";
                }
                const std::int64_t after = static_cast<std::int64_t>(file.size()) - record->offset - kRecordHeaderSize;
                if (after > 0) message += "; the " + Plural(after, "byte") + " after it are never read";
                error(record->offset, message);
                // The reader drops the entry in progress, so there is nothing more to check.
                std::stable_sort(findings_.begin(), findings_.end(),
                                 [](const LintFinding& a, const LintFinding& b) { return a.offset < b.offset; });
                return std::move(findings_);
            } else if (record->dataCut) {
                error(record->offset, "length " + std::to_string(length) + " but only " +
                                          Plural(static_cast<std::int64_t>(record->data.size()), "byte") + " left");
            } else if (const int needed = FieldsSize(type); length < needed) {
                error(record->offset, std::string(TypeName(type)) + " record is " + Plural(length, "byte") +
                                          " long, shorter than the " + std::to_string(needed) +
                                          " bytes of its fields (the missing ones read as 0)");
            }
            entry.push_back({record->offset, type, record->data});
        }
        checkEntry(entry);
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const LintFinding& a, const LintFinding& b) { return a.offset < b.offset; });
        return std::move(findings_);
    }

private:
    void error(std::int64_t offset, std::string message) {
        findings_.push_back({offset, LintFinding::Severity::Error, std::move(message)});
    }
    void warning(std::int64_t offset, std::string message) {
        findings_.push_back({offset, LintFinding::Severity::Warning, std::move(message)});
    }

    void checkHead(const EntryRecord& head) {
        if (head.type != record_type::kHead) {
            error(head.offset, "the entry does not begin with a head record (type 0x" + HexByte(head.type) +
                                   "): the scanner takes this record as the head, its bytes as name and skip flag");
            return;
        }
        const std::string name = DecodeHead(head.data).name;
        if (name.size() > static_cast<std::size_t>(layout::kMaxShownName)) {
            const std::string shown = ShownName(head.data);
            warning(head.offset, "the name is " + std::to_string(name.size()) + " bytes long; reports show only the first " +
                                     std::to_string(layout::kMaxShownName) + ": " +
                                     QuoteBytes({reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size()}));
        }
    }

    // One entry as the interpreter walks it: the first record is the head whatever its type;
    // every record after it is either at the top level (collected) or a group member.
    void checkEntry(const std::vector<EntryRecord>& records) {
        if (records.empty()) return;
        checkHead(records.front());

        GroupNesting nesting;
        std::set<std::int32_t> variables;  // ids the scanner collects for this entry's cures
        std::vector<const EntryRecord*> cures;
        bool tooDeepReported = false;
        for (std::size_t i = 1; i < records.size(); ++i) {
            const EntryRecord& r = records[i];
            const bool member = nesting.depth() > 0;
            switch (r.type) {
                case record_type::kMatch: {
                    const MatchFields match = DecodeMatch(r.data);
                    // A search only asks whether its mode is 2; other modes all start where
                    // the stream stands, so only a plain comparison loses its positioning.
                    if (match.search == 0 && match.mode > position_mode::kRelative) {
                        warning(r.offset, "match mode " + std::to_string(match.mode) +
                                              " is not 0-2: the comparison is made wherever the stream stands");
                    }
                    break;
                }
                case record_type::kGroup: {
                    const GroupFields group = DecodeGroup(r.data);
                    if (!tooDeepReported && nesting.depth() >= static_cast<std::size_t>(kMaxGroupDepth)) {
                        tooDeepReported = true;
                        error(r.offset, "groups nest more than " + std::to_string(kMaxGroupDepth) +
                                            " levels deep here: the scan fails when it gets here");
                    }
                    if (group.count <= 0) {
                        warning(r.offset, "group count " + std::to_string(group.count) +
                                              " is not above 0: the group never holds");
                    }
                    if (group.mode > position_mode::kRelative) {
                        warning(r.offset, "group mode " + std::to_string(group.mode) +
                                              " is not 0-2: its members start wherever the stream stands");
                    }
                    break;
                }
                case record_type::kVariable: {
                    if (member) {
                        warning(r.offset, "a variable inside a group is never collected");
                        break;
                    }
                    const VariableFields variable = DecodeVariable(r.data);
                    variables.insert(variable.id);
                    if (variable.kind > variable_kind::kPosition) {
                        warning(r.offset, "variable kind " + std::to_string(variable.kind) +
                                              " is neither 0 nor 1: its value is always 0");
                    } else if (variable.kind == variable_kind::kFileValue && variable.width > variable_width::kSigned32) {
                        warning(r.offset, "variable width " + std::to_string(variable.width) +
                                              " is not 0-2: its value is always 0");
                    }
                    break;
                }
                case record_type::kCopy:
                case record_type::kSize:
                    if (member) {
                        warning(r.offset, "a cure inside a group is never applied");
                    } else {
                        cures.push_back(&r);
                    }
                    break;
                default:
                    warning(r.offset, "unknown record type 0x" + HexByte(r.type) + ": the scanner passes over it");
                    break;
            }
            nesting.add(r.type, r.data, r.offset);
        }

        if (!nesting.open().empty()) {
            std::int64_t missing = 0;
            for (const auto& group : nesting.open()) missing += group.remaining;
            error(nesting.open().front().offset,
                  "the group's members run past the end of its entry: " + Plural(missing, "more record") +
                      " needed; the scan fails when it gets there");
        }

        // Cures run after the whole walk, so a variable may come after the cure that uses it.
        for (const EntryRecord* cure : cures) {
            if (cure->type == record_type::kCopy) {
                const CopyFields copy = DecodeCopy(cure->data);
                checkOperand(*cure, "copy length", copy.length, OperandRole::Length, variables);
                checkOperand(*cure, "copy source", copy.source, OperandRole::Position, variables);
                checkOperand(*cure, "copy destination", copy.destination, OperandRole::Position, variables);
            } else {
                checkOperand(*cure, "new size", DecodeSize(cure->data).newSize, OperandRole::NewSize, variables);
            }
        }
    }

    void checkOperand(const EntryRecord& cure, const std::string& what, const OperandFields& operand,
                      OperandRole role, const std::set<std::int32_t>& variables) {
        if (operand.mode > operand_mode::kLastOperandMode) {
            error(cure.offset, what + " operand mode " + std::to_string(operand.mode) + " is outside 0-2: the cure fails");
        } else if (operand.mode == VariableMode(role) && variables.count(operand.variable) == 0) {
            error(cure.offset, what + " names variable $" + std::to_string(operand.variable) +
                                   ", which no variable of this entry collects: it reads as 0");
        }
    }

    std::vector<LintFinding> findings_;
};

}  // namespace

std::vector<LintFinding> VerifyDatabase(std::span<const std::uint8_t> file) { return Linter().run(file); }

std::string FormatFinding(const LintFinding& finding) {
    return std::to_string(finding.offset) +
           (finding.severity == LintFinding::Severity::Error ? ": error: " : ": warning: ") + finding.message;
}

}  // namespace korvax
