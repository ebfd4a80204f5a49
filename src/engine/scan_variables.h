#pragma once
// Variables of one entry, collected during a pass: each VariableRecord of the entry with
// the match position current when the walk met it. The position belongs to the pass and is
// never written into the shared record.

#include <cstdint>
#include <span>

#include "database/record_header.h"
#include "engine/file_image.h"

namespace korvax {

struct ScanVariable {
    const Record* record = nullptr;
    std::int32_t captured = 0;
};

// The value of variable `id`: every variable of the entry with that id is evaluated in
// order and the last one's value is returned (0 when none carries the id).
// Kind 0 reads from the image at its current position (8-bit signed, 16-bit unsigned,
// 32-bit signed, little-endian; missing bytes 0) and advances it by the bytes really read;
// kind 1 is the captured position plus the variable's offset. Any other kind or width
// reads nothing and gives 0.
std::int32_t ReadVariable(std::span<const ScanVariable> variables, FileImage& image, std::int32_t id);

}  // namespace korvax
