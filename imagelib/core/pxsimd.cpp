#include "imagelib/core/pxsimd.h"

#include <atomic>

namespace pxgeo {

namespace {

std::atomic<int> g_ceiling{static_cast<int>(Simd::Avx512)};

int CpuForm() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return static_cast<int>(Simd::Avx512);
    if (__builtin_cpu_supports("avx2")) return static_cast<int>(Simd::Avx2);
    if (__builtin_cpu_supports("avx")) return static_cast<int>(Simd::Avx);
    if (__builtin_cpu_supports("ssse3")) return static_cast<int>(Simd::Ssse3);
#endif
    return static_cast<int>(Simd::Plain);
}

}  // namespace

bool SimdAllows(Simd form) {
    static const int cpu = CpuForm();
    const int f = static_cast<int>(form);
    return f <= cpu && f <= g_ceiling.load(std::memory_order_relaxed);
}

void SetSimdCeiling(Simd form) { g_ceiling.store(static_cast<int>(form), std::memory_order_relaxed); }

}  // namespace pxgeo
