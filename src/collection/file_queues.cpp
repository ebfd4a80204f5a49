#include "collection/file_queues.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace korvax {

void TakeNextFile(FileCollection& collection, FileNameBuffer& buffer) {
    auto& queues = collection.FileQueues;
    const auto count = static_cast<std::int32_t>(queues.size());
    for (std::int32_t tried = 0; tried < count; ++tried) {
        if (collection.QueueCursor < 0 || collection.QueueCursor >= count) collection.QueueCursor = 0;
        FileQueue& queue = queues[static_cast<std::size_t>(collection.QueueCursor)];
        collection.QueueCursor = (collection.QueueCursor + 1) % count;
        if (queue.empty()) continue;
        const std::string& name = queue.front();
        // Names longer than the buffer are never collected; the cut is only a last guard.
        const std::size_t length = std::min(name.size(), kFileNameBufferSize - 1);
        std::memcpy(buffer.data(), name.data(), length);
        buffer[length] = '\0';
        queue.pop_front();
        return;
    }
    throw std::logic_error("TakeNextFile: no file is queued");
}

}  // namespace korvax
