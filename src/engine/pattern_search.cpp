#include "engine/pattern_search.h"

#include <cstring>

// Candidates for a search are found 32 bytes at a time with AVX2, else 16 with SSE2, on x86
// (which 32-bit code may use too, where the processor has them), chosen at run time.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KORVAX_FIND_SSE2 1
#endif

namespace korvax {
namespace {

#ifdef KORVAX_FIND_SSE2
// memchr, 128 bytes a turn. The C library's own is not enough: Windows' system runtime
// (msvcrt.dll, which mingw-w64 programs use) looks at one byte at a time, ten times slower
// than glibc's on Linux.
__attribute__((target("avx2"))) const std::uint8_t* FindByteAvx2(const std::uint8_t* p, std::size_t n,
                                                                  std::uint8_t c) {
    const __m256i needle = _mm256_set1_epi8(static_cast<char>(c));
    const auto* at = reinterpret_cast<const __m256i*>(p);
    std::size_t i = 0;
    for (; i + 128 <= n; i += 128, at += 4) {
        const __m256i a = _mm256_cmpeq_epi8(_mm256_loadu_si256(at), needle);
        const __m256i b = _mm256_cmpeq_epi8(_mm256_loadu_si256(at + 1), needle);
        const __m256i d = _mm256_cmpeq_epi8(_mm256_loadu_si256(at + 2), needle);
        const __m256i e = _mm256_cmpeq_epi8(_mm256_loadu_si256(at + 3), needle);
        if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(d, e))) != 0) break;
    }
    for (; i + 32 <= n; i += 32, ++at) {
        const int found = _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(at), needle));
        if (found != 0) return p + i + __builtin_ctz(static_cast<unsigned>(found));
    }
    for (; i < n; ++i) {
        if (p[i] == c) return p + i;
    }
    return nullptr;
}

__attribute__((target("sse2"))) const std::uint8_t* FindByteSse2(const std::uint8_t* p, std::size_t n,
                                                                  std::uint8_t c) {
    const __m128i needle = _mm_set1_epi8(static_cast<char>(c));
    const auto* at = reinterpret_cast<const __m128i*>(p);
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64, at += 4) {
        const __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(at), needle);
        const __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(at + 1), needle);
        const __m128i d = _mm_cmpeq_epi8(_mm_loadu_si128(at + 2), needle);
        const __m128i e = _mm_cmpeq_epi8(_mm_loadu_si128(at + 3), needle);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(d, e))) != 0) break;
    }
    for (; i + 16 <= n; i += 16, ++at) {
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(at), needle));
        if (found != 0) return p + i + __builtin_ctz(static_cast<unsigned>(found));
    }
    for (; i < n; ++i) {
        if (p[i] == c) return p + i;
    }
    return nullptr;
}
#endif

// The first byte `c` in [p, p + n), or nullptr: memchr's answer.
const std::uint8_t* FindByte(const std::uint8_t* p, std::size_t n, std::uint8_t c) {
#ifdef KORVAX_FIND_SSE2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool sse2 = __builtin_cpu_supports("sse2");
    if (avx2) return FindByteAvx2(p, n, c);
    if (sse2) return FindByteSse2(p, n, c);
#endif
    return static_cast<const std::uint8_t*>(std::memchr(p, c, n));
}

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

    // With one byte compared exactly, find the candidates for it as memchr would.
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
            const std::uint8_t* hit =
                FindByte(bytes + p + anchor, static_cast<std::size_t>(last - p + 1), patternBytes[anchor]);
            if (hit == nullptr) return -1;
            p = hit - bytes - anchor;
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
