#pragma once
// Compiler built-ins used by the drawing and encoding code, in one place: a
// compiler without them needs only this file changed.

#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)

// Forces a small lambda handed to a hot loop inline.
#define ZK_ALWAYS_INLINE __attribute__((always_inline))

namespace zk {

using Int128 = __int128;

// a * b and a - b, false when the exact result does not fit.
inline bool multiplyChecked(int64_t a, int64_t b, int64_t& out) { return !__builtin_mul_overflow(a, b, &out); }
inline bool subtractChecked(int64_t a, int64_t b, int64_t& out) { return !__builtin_sub_overflow(a, b, &out); }

inline int countTrailingZeros(uint32_t v) { return __builtin_ctz(v); }  // v != 0
inline uint32_t byteSwap(uint32_t v) { return __builtin_bswap32(v); }

}  // namespace zk

#if defined(__x86_64__)
#include <cpuid.h>
// Byte shuffles (SSSE3) compiled into chosen functions and used where the
// processor has them. Asked with one cpuid when first needed: the compiler's
// own probe (__builtin_cpu_supports) asks for every feature at the start of
// each process, which costs a virtual machine tens of microseconds.
#define ZK_HAS_SSSE3_PATHS 1
#define ZK_TARGET_SSSE3 __attribute__((target("ssse3")))
namespace zk {
inline bool cpuHasSsse3() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_SSSE3) != 0;
    }();
    return has;
}
}  // namespace zk
#endif

#else
#error "support/Compiler.h: provide the built-ins for this compiler"
#endif

// What each mutex guards, and which functions need it held, checked by
// clang's -Wthread-safety; empty for other compilers.
#if defined(__clang__)
#define ZK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZK_THREAD_ANNOTATION(x)
#endif
#define ZK_CAPABILITY(x) ZK_THREAD_ANNOTATION(capability(x))
#define ZK_SCOPED_CAPABILITY ZK_THREAD_ANNOTATION(scoped_lockable)
#define ZK_GUARDED_BY(x) ZK_THREAD_ANNOTATION(guarded_by(x))
#define ZK_PT_GUARDED_BY(x) ZK_THREAD_ANNOTATION(pt_guarded_by(x))
#define ZK_REQUIRES(...) ZK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ZK_EXCLUDES(...) ZK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ZK_ACQUIRE(...) ZK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ZK_RELEASE(...) ZK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ZK_RETURN_CAPABILITY(x) ZK_THREAD_ANNOTATION(lock_returned(x))
