// libFuzzer target: any (database, file) pair scanned pass after pass with its cures, in
// memory, as a worker does it. Nothing may crash, hang or touch memory outside a buffer.
//
// Input layout: two bytes (little-endian) give the database's length; the database
// follows, and the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "database/read_records.h"
#include "kernel/signature_interpreter.h"
#include "platform/failure.h"

namespace {
// Cures may grow an image up to this; larger growth fails as an allocation failure does.
constexpr std::int64_t kFuzzMaxImage = 1 << 20;
constexpr int kPasses = 8;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t databaseSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::span<const std::uint8_t> database(data + 2, databaseSize);
    const std::span<const std::uint8_t> file(data + 2 + databaseSize, size - 2 - databaseSize);

    korvax::VirusBase base;
    try {
        korvax::ReadRecords(database, base);
    } catch (const korvax::DatabaseFormatError&) {
    }
    korvax::FileImage image(std::vector<std::uint8_t>(file.begin(), file.end()), kFuzzMaxImage);
    korvax::SignatureInterpreter interpreter(image);
    try {
        for (int pass = 0; pass < kPasses; ++pass) {
            interpreter.ScanFile(base);
            if (interpreter.resultCode() != korvax::ResultCode::Cured) break;
        }
    } catch (const korvax::Failure&) {
        // A read-error row for this file.
    }
    return 0;
}
