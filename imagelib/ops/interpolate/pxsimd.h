// The vector forms the geometric operations may choose. Each form gives the very bytes of the
// plainer ones, so a form is picked by what the CPU has; tests lower the ceiling to compare the
// forms with each other on one machine.
#pragma once

namespace pxgeo {

enum class Simd { Plain = 0, Ssse3, Avx, Avx2, Avx512 };

// True when the CPU has the form (Avx512: with byte and word instructions) and the ceiling is
// not below it.
bool SimdAllows(Simd form);

// The widest form allowed from now on (Simd::Avx512 allows all the CPU has). For tests.
void SetSimdCeiling(Simd form);

}  // namespace pxgeo
