#pragma once
// The signature interpreter: one pass of the database over one file image.
//
// The entries are tried in database order until one matches. An entry matches when every
// record after its head is walked with the entry still holding: comparisons (masked
// four-byte tests at a position, or forward searches) and any-of groups must hold;
// variables and cure instructions are collected; other record types are passed over. The
// cures of the matching entry are then applied to the image.
//
// The image's position is part of the state: it carries over from entry to entry and from
// one pass to the next (a search in mode 0 or 1 starts wherever the last operation left it).
//
// Thread safety: a SignatureInterpreter belongs to one worker. Many interpreters may read
// one VirusDatabase at the same time; none of them writes it.

#include <cstdint>
#include <string>
#include <vector>

#include "database/record_fields.h"  // kMaxGroupDepth
#include "database/virus_database.h"
#include "engine/file_image.h"
#include "engine/scan_result.h"
#include "engine/scan_variables.h"

namespace korvax {

class SignatureInterpreter {
public:
    explicit SignatureInterpreter(FileImage& image) : image_(image) {}

    // One pass over `base`. Sets ResultCode (Clean, Detected, or Cured when the matching
    // entry's cures were applied) and, on a match, StatusText (the name, at most 99 bytes)
    // and ActionText. A pass without a match leaves the texts as they were.
    // Throws Failure when the pass cannot complete (an entry without records, a group whose
    // members run past its entry, nesting too deep, a failing cure).
    void ScanFile(const VirusDatabase& base);

    ResultCode resultCode() const { return resultCode_; }
    const std::string& statusText() const { return StatusText; }
    const std::string& actionText() const { return ActionText; }
    void setTexts(std::string status, std::string action) {
        StatusText = std::move(status);
        ActionText = std::move(action);
    }

private:
    // Evaluates the comparison or group at InstructionIndex and moves InstructionIndex past
    // everything it consumed (a group's members included). Any other record type is
    // consumed alone and holds.
    bool MatchOp(const VirusEntry& entry, std::int32_t& InstructionIndex, std::int32_t& MatchPosition);
    bool MatchSingle(const Record& record, std::int32_t& MatchPosition);
    void PositionFor(std::uint8_t mode, std::int32_t offset, std::int32_t MatchPosition);

    // The worker's members as the design names them; the image and the result code are
    // named apart from their types, which the design's names would hide.
    FileImage& image_;
    ResultCode resultCode_ = ResultCode::Clean;
    std::string StatusText;
    std::string ActionText;
    // The base of position mode 1. Nothing sets it; it stays 0.
    std::int32_t ScanBaseOffset = 0;

    // Per-pass lists, kept between passes only to reuse their storage.
    std::vector<ScanVariable> ScanVariables;
    std::vector<const Record*> PendingCopies;
    std::vector<const Record*> PendingSizeChanges;
};

}  // namespace korvax
