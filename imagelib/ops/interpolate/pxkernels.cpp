// The interpolation kernels. Their weights are used as they are, never normalised: methods whose
// weights do not sum to one brighten or darken, as users of those methods expect.
#include <cmath>

#include "imagelib/pximage.h"

namespace {

constexpr float kPi = 3.1415927f;

// Polynomial in ascending powers, evaluated by Horner's rule in double.
template <int N>
double Poly(const double (&c)[N], double z) {
    double r = c[N - 1];
    for (int i = N - 2; i >= 0; i--) r = r * z + c[i];
    return r;
}

}  // namespace

float PxImage::KernelBSpline(const float x) {
    if (x > 2.0f) return 0.0f;
    auto p = [](float t) { return t > 0.0f ? t : 0.0f; };
    const float a = p(x + 2.0f), b = p(x + 1.0f), c = p(x), d = p(x - 1.0f);
    return 0.16666667f * (a * a * a - 4.0f * b * b * b + 6.0f * c * c * c - 4.0f * d * d * d);
}

float PxImage::KernelLinear(const float t) {
    if (-1.0f <= t && t < 0.0f) return 1.0f + t;
    if (0.0f <= t && t < 1.0f) return 1.0f - t;
    return 0.0f;
}

float PxImage::KernelCubic(const float t) {
    const float a = std::fabs(t), a2 = a * a, a3 = a2 * a;
    if (a < 1.0f) return 1.0f - 2.0f * a2 + a3;
    if (a < 2.0f) return 4.0f - 8.0f * a + 5.0f * a2 - a3;
    return 0.0f;
}

float PxImage::KernelGeneralizedCubic(const float t, const float a) {
    const float x = std::fabs(t), x2 = x * x, x3 = x2 * x;
    if (x < 1.0f) return (a + 2.0f) * x3 - (a + 3.0f) * x2 + 1.0f;
    if (x < 2.0f) return a * x3 - 5.0f * a * x2 + 8.0f * a * x - 4.0f * a;
    return 0.0f;
}

float PxImage::KernelLanczosSinc(const float t, const float r) {
    if (std::fabs(t) > r) return 0.0f;
    if (t == 0.0f) return 1.0f;
    const float pit = kPi * t;
    const float pitd = pit / r;
    return (std::sin(pit) / pit) * (std::sin(pitd) / pitd);
}

float PxImage::KernelBox(const float x) {
    if (-0.5f <= x && x < 0.5f) return 1.0f;
    return 0.0f;
}

float PxImage::KernelHermite(const float x) {
    if (-1.0f <= x && x < 1.0f) {
        const float a = std::fabs(x);
        return 2.0f * a * a * a - 3.0f * a * a + 1.0f;
    }
    return 0.0f;
}

float PxImage::KernelHamming(const float x) {
    if (-1.0f <= x && x < 1.0f) {
        const float a = std::fabs(x);
        return 1.0f + 0.92f * (2.0f * a * a * a - 3.0f * a * a);
    }
    return 0.0f;
}

float PxImage::KernelSinc(const float x) {
    if (x == 0.0f) return 1.0f;
    return std::sin(kPi * x) / (kPi * x);
}

float PxImage::KernelBlackman(const float x) {
    return 0.42f + 0.5f * std::cos(kPi * x) + 0.08f * std::cos(6.2831855f * x);
}

float PxImage::KernelBessel_J1(const float x) {
    static const double num[9] = {5.8119935400160612e20,  -6.6721065689249161e19, 2.3164335806340024e18,
                                  -3.5888175699101060e16, 2.9087952638347756e14,  -1.3229834803321265e12,
                                  3.4132341823017006e9,   -4.6957535306429956e6,  2701.1227108923235};
    static const double den[9] = {1.1623987080032122e21, 1.185770712190321e19,  6.0920613989175216e16,
                                  2.0816612213076075e14, 5.2437102621676495e11, 1.013863514358674e9,
                                  1501793.5949985855,    1606.9315734814877,    1.0};
    const double z = static_cast<double>(x) * x;
    return static_cast<float>(Poly(num, z) / Poly(den, z));
}

float PxImage::KernelBessel_P1(const float x) {
    static const double num[6] = {35224.664913367982, 62758.845247161284, 31353.963110915956,
                                  4985.4832060594335, 211.15291828539623, 1.2571716929145342};
    static const double den[6] = {35224.664913367982, 62694.346959356051, 31240.406381904104,
                                  4930.3964901810887, 203.07751891347593, 1.0};
    const double q = 8.0 / x;
    const double z = q * q;
    return static_cast<float>(Poly(num, z) / Poly(den, z));
}

float PxImage::KernelBessel_Q1(const float x) {
    static const double num[6] = {351.17519143035526, 721.03918049044751, 425.98730116544425,
                                  83.189895767385082, 4.5681716295512267, 0.035328400527401237};
    static const double den[6] = {7491.7374171809124, 15414.177339265098, 9152.231701516992,
                                  1811.1867005523513, 103.81875854621337, 1.0};
    const double q = 8.0 / x;
    const double z = q * q;
    return static_cast<float>(Poly(num, z) / Poly(den, z));
}

float PxImage::KernelBessel_Order1(float x) {
    if (x == 0.0f) return 0.0f;
    const float p = std::fabs(x);
    if (p < 8.0f) return x * KernelBessel_J1(p);
    const double s = std::sin(p), c = std::cos(p);
    const double sqrt2 = std::sqrt(2.0);
    double q = std::sqrt(2.0 / (kPi * p)) *
               (KernelBessel_P1(p) * (s - c) / sqrt2 + (8.0 / p) * KernelBessel_Q1(p) * (s + c) / sqrt2);
    if (x < 0.0f) q = -q;
    return static_cast<float>(q);
}

float PxImage::KernelBessel(const float x) {
    if (x == 0.0f) return 0.7853982f;
    return KernelBessel_Order1(kPi * x) / (2.0f * x);
}

float PxImage::KernelGaussian(const float x) { return 0.7978846f * std::exp(-2.0f * x * x); }

float PxImage::KernelQuadratic(const float x) {
    if (x < -1.5f) return 0.0f;
    if (x < -0.5f) return 0.5f * (x + 1.5f) * (x + 1.5f);
    if (x < 0.5f) return 0.75f - x * x;
    if (x < 1.5f) return 0.5f * (x - 1.5f) * (x - 1.5f);
    return 0.0f;
}

float PxImage::KernelMitchell(const float x) {
    const float a = std::fabs(x), a2 = a * a, a3 = a2 * a;
    if (a < 1.0f) return 1.1666666f * a3 - 2.0f * a2 + 0.8888889f;
    if (a < 2.0f) return -0.3888889f * a3 + 2.0f * a2 - 3.3333333f * a + 1.7777778f;
    return 0.0f;
}

float PxImage::KernelCatrom(const float x) {
    const float a = std::fabs(x), a2 = a * a, a3 = a2 * a;
    if (a < 1.0f) return 0.5f * (3.0f * a3 - 5.0f * a2 + 2.0f);
    if (a < 2.0f) return 0.5f * (-a3 + 5.0f * a2 - 8.0f * a + 4.0f);
    return 0.0f;
}
