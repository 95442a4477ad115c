// The library's one choice of vector code. Every vector path asks SimdAllows: the hand-written
// ones for the form they are written in, the plain loops through Vectorised, which builds the
// loop it is given once per form and runs the widest the CPU has. Each form gives the very bytes
// of the plainer ones (the library is compiled with -ffp-contract=off, so no form fuses a
// multiply and an add that another rounds twice); tests lower the ceiling to compare the forms
// with each other on one machine.
#pragma once

namespace pxgeo {

enum class Simd { Plain = 0, Ssse3, Avx, Avx2, Avx512 };

// True when the CPU has the form (Avx512: with byte and word instructions) and the ceiling is
// not below it.
bool SimdAllows(Simd form);

// The widest form allowed from now on (Simd::Avx512 allows all the CPU has). For tests.
void SetSimdCeiling(Simd form);

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
// Everything the loop calls is built into the form's copy. Unroll-and-jam stays off there: it
// fuses pairs of outer iterations into a scalar inner loop that the vectoriser then leaves alone.
#define PX_SIMD_FORM(isa) __attribute__((flatten, target(isa), optimize("no-loop-unroll-and-jam")))
template <class Loop>
PX_SIMD_FORM("avx512f,avx512bw,avx512cd,avx512dq,avx512vl,avx2,bmi,bmi2,fma,f16c,lzcnt,movbe")
void RunWide512(Loop& loop) {
    loop();
}
template <class Loop>
PX_SIMD_FORM("avx2") void RunWide256(Loop& loop) {
    loop();
}
template <class Loop>
__attribute__((flatten, optimize("no-loop-unroll-and-jam"))) void RunPlain(Loop& loop) {
    loop();
}
#undef PX_SIMD_FORM

// Runs loop() built for the widest form allowed: AVX-512, AVX2 or the baseline.
template <class Loop>
inline void Vectorised(Loop&& loop) {
    if (SimdAllows(Simd::Avx512)) RunWide512(loop);
    else if (SimdAllows(Simd::Avx2)) RunWide256(loop);
    else RunPlain(loop);
}
#else
template <class Loop>
inline void Vectorised(Loop&& loop) {
    loop();
}
#endif

}  // namespace pxgeo
