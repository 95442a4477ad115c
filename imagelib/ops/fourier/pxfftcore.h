// The radix-2 transform's inner work, shared by PxImage::FFT and the two-dimensional
// transform, which computes the twiddle factors once for all lines of one length.
#pragma once

#include <cstdint>
#include <vector>

namespace px_fft {

// Twiddle factors of every stage for n = 2^m points, by the recurrence
// u <- u * c, c <- (sqrt((1 + c1) / 2), -+sqrt((1 - c1) / 2)) per stage.
struct Twiddles {
    int m = 0;
    std::vector<double> u1, u2;  // stage s occupies [2^s - 1, 2^(s+1) - 1)
};

Twiddles MakeTwiddles(int dir, int m);
// Bit reversal, butterflies and (direction 1) the division by n, in place.
void Transform(int dir, const Twiddles& tw, double* x, double* y);

// The same transform of kLanes lines at once, interleaved: point i of line c at [i * kLanes + c].
// Every line gets exactly the operations Transform would give it, so the compiler can run the
// lines side by side in vector registers.
constexpr int kLanes = 8;
void TransformLanes(int dir, const Twiddles& tw, double* x, double* y);

}  // namespace px_fft
