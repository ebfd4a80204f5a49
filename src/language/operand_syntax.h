#pragma once
// How a cure instruction's operand is written in signature source, in both directions.
// The same mode means different things by role (see record_fields.h), so each role has
// its own short forms:
//   position (copy source, destination):  N         base N    $ID
//   length (copy length):                 N         $ID       toend
//   new size (size):                      cut N     N         $ID
// and every operand may also be written in full as `[mode M value V var ID]`.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "database/record_fields.h"

namespace korvax::operand_syntax {

enum class OperandRole { Position, Length, NewSize };

// The mode a plain number `N` stands for in `role`.
std::uint8_t PlainMode(OperandRole role);
// The mode `$ID` stands for in `role`.
std::uint8_t VariableMode(OperandRole role);

// The one keyword form of a role: `base N`, `toend` or `cut N`.
struct KeywordForm {
    const char* keyword;
    bool takesValue;
    std::uint8_t mode;
};
KeywordForm KeywordFormOf(OperandRole role);

// The shortest source text for `operand` in `role`; the bracket form when no short one
// stands for all of its fields.
std::string OperandText(const OperandFields& operand, OperandRole role);

// Little-endian writers into record data that is already large enough.
void PutI32(std::vector<std::uint8_t>& data, std::size_t at, std::int32_t value);
void PutOperand(std::vector<std::uint8_t>& data, std::size_t at, const OperandFields& operand);

}  // namespace korvax::operand_syntax
