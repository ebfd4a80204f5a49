#include "database/record_cursor.h"

#include <algorithm>

namespace korvax {

std::optional<RecordAt> RecordCursor::next() {
    const auto size = static_cast<std::int64_t>(file_.size());
    if (stopped_ || position_ >= size) return std::nullopt;

    RecordAt record;
    record.offset = position_;
    const std::int64_t headerBytes = std::min<std::int64_t>(kRecordHeaderSize, size - position_);
    std::copy_n(file_.begin() + position_, headerBytes, record.header.bytes.begin());
    record.headerCut = headerBytes < kRecordHeaderSize;
    position_ += headerBytes;

    const std::int32_t length = record.header.length();
    if (length < 0) {
        record.negativeLength = true;
        stopped_ = true;
        return record;
    }
    const std::int64_t dataBytes = std::min<std::int64_t>(length, size - position_);
    record.data = file_.subspan(static_cast<std::size_t>(position_), static_cast<std::size_t>(dataBytes));
    record.dataCut = dataBytes < length;
    position_ += dataBytes;
    return record;
}

}  // namespace korvax
