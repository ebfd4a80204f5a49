#include "engine/scan_variables.h"

#include "database/record_fields.h"
#include "engine/wrapping.h"

namespace korvax {
namespace {

std::int32_t ReadFileValue(FileImage& image, std::uint8_t width) {
    std::uint8_t b[4] = {0, 0, 0, 0};
    switch (width) {
        case variable_width::kSigned8:
            image.read(b, 1);
            return static_cast<std::int8_t>(b[0]);
        case variable_width::kUnsigned16:
            image.read(b, 2);
            return static_cast<std::int32_t>(b[0] | (b[1] << 8));
        case variable_width::kSigned32:
            image.read(b, 4);
            return ReadI32(b, 0);
        default:
            return 0;
    }
}

}  // namespace

std::int32_t ReadVariable(std::span<const ScanVariable> variables, FileImage& image, std::int32_t id) {
    std::int32_t value = 0;
    for (const ScanVariable& variable : variables) {
        const VariableFields fields = DecodeVariable(variable.record->data);
        if (fields.id != id) continue;
        switch (fields.kind) {
            case variable_kind::kFileValue:
                value = ReadFileValue(image, fields.width);
                break;
            case variable_kind::kPosition:
                value = WrapAdd(variable.captured, fields.offset);
                break;
            default:
                value = 0;
                break;
        }
    }
    return value;
}

}  // namespace korvax
