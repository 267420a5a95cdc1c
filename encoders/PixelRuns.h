#pragma once
// Runs of equal pixel values, compared 16 at a time where SSE2 exists. Chart
// images are mostly runs, so the encoders work run by run rather than pixel
// by pixel.

#include "support/Compiler.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PixelRuns {

// Calls onRun(start, length) for each run of values of p[0, n) that are
// equal under mask, in order. Where runs are short, finding each run's end
// with its own search mispredicts once per run; here the places where a value
// differs from the one before come out of 16 values at a time as a bit mask.
template <class OnRun>
inline void forEachRun(const uint32_t* p, size_t n, uint32_t mask, OnRun&& onRun) {
    if (n == 0) return;
    size_t start = 0;
    size_t i = 1;
#if defined(__SSE2__)
    const __m128i bits = _mm_set1_epi32(static_cast<int>(mask));
    // Bit k of the mask: p[i + k] differs from p[i + k - 1], for 4 values.
    auto changesOf4 = [&](size_t at) ZK_ALWAYS_INLINE {
        const __m128i here = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), bits);
        const __m128i before = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at - 1)), bits);
        return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(here, before)))) ^ 0xFu;
    };
    for (; i + 16 <= n; i += 16) {
        uint32_t changes = changesOf4(i) | changesOf4(i + 4) << 4 | changesOf4(i + 8) << 8 | changesOf4(i + 12) << 12;
        while (changes != 0) {
            const size_t at = i + static_cast<size_t>(zk::countTrailingZeros(changes));
            changes &= changes - 1;
            onRun(start, at - start);
            start = at;
        }
    }
#endif
    for (; i < n; ++i) {
        if (((p[i] ^ p[i - 1]) & mask) != 0) {
            onRun(start, i - start);
            start = i;
        }
    }
    onRun(start, n - start);
}

}  // namespace PixelRuns
