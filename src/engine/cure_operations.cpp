#include "engine/cure_operations.h"

#include <new>
#include <vector>

#include "database/record_fields.h"
#include "engine/wrapping.h"
#include "platform/failure.h"

namespace korvax {
namespace {

Failure InvalidCure(const char* what) { return Failure(std::string("Invalid cure instruction: ") + what); }

class CureContext {
public:
    CureContext(FileImage& image, std::span<const ScanVariable> variables, std::int32_t base)
        : image_(image), variables_(variables), base_(base) {}

    // Source and destination of a copy.
    std::int32_t position(const OperandFields& operand) {
        switch (operand.mode) {
            case operand_mode::kPositionValue: return operand.value;
            case operand_mode::kPositionFromBase: return WrapAdd(base_, operand.value);
            case operand_mode::kPositionVariable: return ReadVariable(variables_, image_, operand.variable);
            default: throw InvalidCure("operand mode outside 0-2");
        }
    }

    std::int32_t length(const OperandFields& operand, std::int32_t source) {
        switch (operand.mode) {
            case operand_mode::kLengthValue: return operand.value;
            case operand_mode::kLengthVariable: return ReadVariable(variables_, image_, operand.variable);
            case operand_mode::kLengthToEnd: return WrapSub(image_.size(), source);
            default: throw InvalidCure("operand mode outside 0-2");
        }
    }

    // Computed on the true value: a result outside 0..2^31-1 is refused, never wrapped.
    std::int64_t newSize(const OperandFields& operand) {
        switch (operand.mode) {
            case operand_mode::kSizeCut: return static_cast<std::int64_t>(image_.size()) - operand.value;
            case operand_mode::kSizeFromBase: return static_cast<std::int64_t>(operand.value) + base_;
            case operand_mode::kSizeVariable: return ReadVariable(variables_, image_, operand.variable);
            default: throw InvalidCure("operand mode outside 0-2");
        }
    }

    void copy(const CopyFields& fields) {
        const std::int32_t source = position(fields.source);
        if (source < 0) throw InvalidCure("negative copy source");
        const std::int32_t count = length(fields.length, source);
        if (count < 0) throw InvalidCure("negative copy length");
        const std::int32_t destination = position(fields.destination);
        if (destination < 0) throw InvalidCure("negative copy destination");
        const std::int64_t end = static_cast<std::int64_t>(destination) + count;
        if (end > kMaxImageSize) throw InvalidCure("copy ends past 2^31-1");
        // The image could not take the block anyway; refuse before taking a buffer for it.
        if (end > image_.maxSize()) throw OutOfMemoryExpanding();

        // The whole block is read before any of it is written, so source and destination
        // may overlap. Bytes past the end of the image read as 0.
        std::vector<std::uint8_t> block;
        try {
            block.assign(static_cast<std::size_t>(count), 0);
        } catch (const std::bad_alloc&) {
            throw OutOfMemoryExpanding();
        }
        image_.seek(source);
        image_.read(block.data(), count);
        image_.seek(destination);
        image_.write(block);
    }

    void resize(const SizeFields& fields) {
        const std::int64_t size = newSize(fields.newSize);
        if (size < 0 || size > kMaxImageSize) throw OutOfMemoryExpanding();
        image_.resize(size);
    }

private:
    FileImage& image_;
    std::span<const ScanVariable> variables_;
    std::int32_t base_;
};

}  // namespace

void ApplyCures(FileImage& image, std::span<const Record* const> copies,
                std::span<const Record* const> sizeChanges, std::span<const ScanVariable> variables,
                std::int32_t scanBaseOffset) {
    CureContext context(image, variables, scanBaseOffset);
    for (const Record* record : copies) context.copy(DecodeCopy(record->data));
    for (const Record* record : sizeChanges) context.resize(DecodeSize(record->data));
}

}  // namespace korvax
