#include "language/operand_syntax.h"

namespace korvax::operand_syntax {

std::uint8_t PlainMode(OperandRole role) {
    switch (role) {
        case OperandRole::Position: return operand_mode::kPositionValue;
        case OperandRole::Length: return operand_mode::kLengthValue;
        case OperandRole::NewSize: return operand_mode::kSizeFromBase;
    }
    return 0;
}

std::uint8_t VariableMode(OperandRole role) {
    switch (role) {
        case OperandRole::Position: return operand_mode::kPositionVariable;
        case OperandRole::Length: return operand_mode::kLengthVariable;
        case OperandRole::NewSize: return operand_mode::kSizeVariable;
    }
    return 0;
}

KeywordForm KeywordFormOf(OperandRole role) {
    switch (role) {
        case OperandRole::Position: return {"base", true, operand_mode::kPositionFromBase};
        case OperandRole::Length: return {"toend", false, operand_mode::kLengthToEnd};
        case OperandRole::NewSize: return {"cut", true, operand_mode::kSizeCut};
    }
    return {"", false, 0};
}

std::string OperandText(const OperandFields& operand, OperandRole role) {
    const bool noVariable = operand.variable == 0;
    const bool noValue = operand.value == 0;
    const std::string value = std::to_string(operand.value);
    const KeywordForm keyword = KeywordFormOf(role);
    if (operand.mode == PlainMode(role) && noVariable) return value;
    if (operand.mode == VariableMode(role) && noValue) return "$" + std::to_string(operand.variable);
    if (operand.mode == keyword.mode && noVariable) {
        if (keyword.takesValue) return std::string(keyword.keyword) + " " + value;
        if (noValue) return keyword.keyword;
    }
    return "[mode " + std::to_string(operand.mode) + " value " + value + " var " + std::to_string(operand.variable) +
           "]";
}

void PutI32(std::vector<std::uint8_t>& data, std::size_t at, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void PutOperand(std::vector<std::uint8_t>& data, std::size_t at, const OperandFields& operand) {
    PutI32(data, at + layout::kOperandValue, operand.value);
    data[at + layout::kOperandMode] = operand.mode;
    PutI32(data, at + layout::kOperandVariable, operand.variable);
}

}  // namespace korvax::operand_syntax
