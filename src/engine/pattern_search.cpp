#include "engine/pattern_search.h"

#include <cstring>

namespace korvax {
namespace {

std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Windows that lie wholly inside the image, p in [from, last]: the hot loop. Returns the
// first matching p, or -1.
std::int64_t SearchWhole(const std::uint8_t* bytes, std::int64_t from, std::int64_t last,
                         const MaskedPattern& m) {
    std::uint8_t patternBytes[4];
    std::uint8_t maskBytes[4];
    for (int i = 0; i < 4; ++i) {
        patternBytes[i] = m.pattern[static_cast<std::size_t>(i)];
        maskBytes[i] = m.mask[static_cast<std::size_t>(i)];
    }
    const std::uint32_t pattern = Load32(patternBytes);
    const std::uint32_t mask = Load32(maskBytes);

    // With one byte compared exactly, let memchr find the candidates for it.
    int anchor = -1;
    for (int i = 0; i < 4; ++i) {
        if (maskBytes[i] == 0xFF) {
            anchor = i;
            break;
        }
    }
    if (anchor >= 0) {
        std::int64_t p = from;
        while (p <= last) {
            const void* hit = std::memchr(bytes + p + anchor, patternBytes[anchor], static_cast<std::size_t>(last - p + 1));
            if (hit == nullptr) return -1;
            p = static_cast<const std::uint8_t*>(hit) - bytes - anchor;
            if ((Load32(bytes + p) & mask) == pattern) return p;
            ++p;
        }
        return -1;
    }
    for (std::int64_t p = from; p <= last; ++p) {
        if ((Load32(bytes + p) & mask) == pattern) return p;
    }
    return -1;
}

}  // namespace

SearchOutcome SearchForward(std::span<const std::uint8_t> image, std::int32_t start, const MaskedPattern& m) {
    const auto size = static_cast<std::int64_t>(image.size());
    if (start >= size) return {false, start};

    // A pattern bit outside its mask can never be produced by masking: no window matches.
    for (std::size_t i = 0; i < 4; ++i) {
        if ((m.pattern[i] & ~m.mask[i]) != 0) return {false, static_cast<std::int32_t>(size)};
    }

    std::int64_t p = start;
    if (p < 0) {
        // Every position below 0 reads as four zero bytes.
        const std::uint8_t zeros[4] = {0, 0, 0, 0};
        if (m.test(zeros)) return {true, static_cast<std::int32_t>(p + 1)};
        p = 0;
    }
    const std::int64_t lastWhole = size - 4;
    if (p <= lastWhole) {
        const std::int64_t hit = SearchWhole(image.data(), p, lastWhole, m);
        if (hit >= 0) return {true, static_cast<std::int32_t>(hit + 1)};
        p = lastWhole + 1;
    }
    // The last windows run past the end; their missing bytes are 0.
    for (; p < size; ++p) {
        std::uint8_t window[4] = {0, 0, 0, 0};
        for (std::int64_t i = 0; i < 4 && p + i < size; ++i) window[i] = image[static_cast<std::size_t>(p + i)];
        if (m.test(window)) return {true, static_cast<std::int32_t>(p + 1)};
    }
    return {false, static_cast<std::int32_t>(size)};
}

}  // namespace korvax
