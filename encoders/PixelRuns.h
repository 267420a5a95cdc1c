#pragma once
// Length of a run of equal values, compared 16 bytes at a time where SSE2
// exists. Chart images are mostly long runs, so the encoders step over them
// run by run rather than pixel by pixel.

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PixelRuns {

// Number of bytes equal to value from p on, at most end - p.
inline size_t runLength(const uint8_t* p, const uint8_t* end, uint8_t value) {
    const uint8_t* start = p;
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi8(static_cast<char>(value));
    while (end - p >= 16) {
        const int same =
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), pattern));
        if (same != 0xFFFF) return static_cast<size_t>(p - start) + static_cast<size_t>(__builtin_ctz(~same));
        p += 16;
    }
#endif
    while (p < end && *p == value) ++p;
    return static_cast<size_t>(p - start);
}

// Number of values v from p on, at most n, with (v & mask) == value.
inline size_t runLength(const uint32_t* p, size_t n, uint32_t value, uint32_t mask) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi32(static_cast<int>(value));
    const __m128i bits = _mm_set1_epi32(static_cast<int>(mask));
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), bits);
        const int same = _mm_movemask_epi8(_mm_cmpeq_epi32(v, pattern));
        if (same != 0xFFFF) return i + static_cast<size_t>(__builtin_ctz(~same)) / 4;
    }
#endif
    while (i < n && (p[i] & mask) == value) ++i;
    return i;
}

}  // namespace PixelRuns
