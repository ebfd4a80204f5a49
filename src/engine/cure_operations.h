#pragma once
// Carrying out an entry's cure instructions on the image: every block copy first, in the
// order the entry holds them, then every size change, in order.
//
// Operands are formed by role:
//   copy source / destination: mode 0 value, mode 1 base + value, mode 2 variable
//   copy length:               mode 0 value, mode 1 variable,     mode 2 image size - source
//   new size:                  mode 0 image size - value, mode 1 value + base, mode 2 variable
// A variable of kind 0 reads from the image at its current position, so the order in which
// operands are formed (source, length, destination) is part of the meaning.
//
// The cure fails (the caller reports a read error and does not write the image back) on a
// negative source, destination, length or new size, an operand mode other than 0-2, a copy
// ending past 2^31-1, or a size the image cannot take ("Out of memory while expanding
// memory stream"). A source block past the end of the image supplies zeros.

#include <cstdint>
#include <span>

#include "database/record_header.h"
#include "engine/file_image.h"
#include "engine/scan_variables.h"

namespace korvax {

void ApplyCures(FileImage& image, std::span<const Record* const> copies,
                std::span<const Record* const> sizeChanges, std::span<const ScanVariable> variables,
                std::int32_t scanBaseOffset);

}  // namespace korvax
