// One-dimensional Fourier transforms (radix-2 and direct), channel combine and repair.
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/core/pxsimd.h"
#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/ops/colour/pxspaces.h"
#include "imagelib/ops/fourier/pxfftcore.h"
#include "imagelib/pximage.h"

bool PxImage::IsPowerof2(LONG x) { return x >= 1 && (x & (x - 1)) == 0; }

namespace px_fft {

Twiddles MakeTwiddles(int dir, int m) {
    Twiddles tw;
    tw.m = m;
    const size_t total = (size_t{1} << m) - 1;
    tw.u1.resize(total);
    tw.u2.resize(total);
    double c1 = -1.0, c2 = 0.0;
    int64_t l2 = 1;
    for (int l = 0; l < m; l++) {
        const int64_t l1 = l2;
        l2 <<= 1;
        double u1 = 1.0, u2 = 0.0;
        for (int64_t j = 0; j < l1; j++) {
            tw.u1[static_cast<size_t>(l1 - 1 + j)] = u1;
            tw.u2[static_cast<size_t>(l1 - 1 + j)] = u2;
            const double z = u1 * c1 - u2 * c2;
            u2 = u1 * c2 + u2 * c1;
            u1 = z;
        }
        c2 = std::sqrt((1.0 - c1) / 2.0);
        if (dir == 1) c2 = -c2;
        c1 = std::sqrt((1.0 + c1) / 2.0);
    }
    return tw;
}

namespace {

// B lines side by side: point i of line c at [i * B + c]; B = 1 is one contiguous line.
template <int B>
inline void TransformCore(int dir, const Twiddles& tw, double* x, double* y) {
    const int m = tw.m;
    const int64_t n = int64_t{1} << m;
    int64_t j = 0;
    for (int64_t i = 0; i < n - 1; i++) {
        if (i < j) {
            for (int c = 0; c < B; c++) {
                std::swap(x[i * B + c], x[j * B + c]);
                std::swap(y[i * B + c], y[j * B + c]);
            }
        }
        int64_t k = n >> 1;
        while (k <= j) {
            j -= k;
            k >>= 1;
        }
        j += k;
    }
    // The butterflies of one stage are independent, so they run in memory order.
    int64_t l2 = 1;
    for (int l = 0; l < m; l++) {
        const int64_t l1 = l2;
        l2 <<= 1;
        const double* w1 = tw.u1.data() + (l1 - 1);
        const double* w2 = tw.u2.data() + (l1 - 1);
        for (int64_t base = 0; base < n; base += l2) {
            for (int64_t jj = 0; jj < l1; jj++) {
                const double u1 = w1[jj], u2 = w2[jj];
                double* __restrict xa = x + (base + jj) * B;
                double* __restrict ya = y + (base + jj) * B;
                double* __restrict xb = x + (base + jj + l1) * B;
                double* __restrict yb = y + (base + jj + l1) * B;
                for (int c = 0; c < B; c++) {
                    const double t1 = u1 * xb[c] - u2 * yb[c];
                    const double t2 = u1 * yb[c] + u2 * xb[c];
                    xb[c] = xa[c] - t1;
                    yb[c] = ya[c] - t2;
                    xa[c] += t1;
                    ya[c] += t2;
                }
            }
        }
    }
    if (dir == 1) {
        const double dn = static_cast<double>(n);
        for (int64_t i = 0; i < n * B; i++) {
            x[i] /= dn;
            y[i] /= dn;
        }
    }
}

}  // namespace

void Transform(int dir, const Twiddles& tw, double* x, double* y) { TransformCore<1>(dir, tw, x, y); }

inline void TransformLanesLoop(int dir, const Twiddles& tw, double* x, double* y) { TransformCore<kLanes>(dir, tw, x,
                               y); }  void TransformLanes(int dir, const Twiddles& tw, double* x, double* y) {
    pxgeo::Vectorised([&] { TransformLanesLoop(dir, tw, x, y); });
}

}  // namespace px_fft

bool PxImage::FFT(int dir, int m, double* x, double* y) {
    px_fft::Transform(dir, px_fft::MakeTwiddles(dir, m), x, y);
    return true;
}

bool PxImage::DFT(int dir, LONG m, double* x1, double* y1, double* x2, double* y2) {
    const double twoPi = 6.2831855f;
    for (LONG i = 0; i < m; i++) {
        const double arg = -dir * twoPi * static_cast<double>(i) / static_cast<double>(m);
        double sx = 0, sy = 0;
        for (LONG k = 0; k < m; k++) {
            const double ca = std::cos(k * arg), sa = std::sin(k * arg);
            sx += x1[k] * ca - y1[k] * sa;
            sy += x1[k] * sa + y1[k] * ca;
        }
        x2[i] = sx;
        y2[i] = sy;
    }
    for (LONG i = 0; i < m; i++) {
        x1[i] = dir == 1 ? x2[i] / static_cast<double>(m) : x2[i];
        y1[i] = dir == 1 ? y2[i] / static_cast<double>(m) : y2[i];
    }
    return true;
}

bool PxImage::Combine(PxImage* r, PxImage* g, PxImage* b, PxImage* a, LONG colorspace) {
    if (!r || !g || !b) return false;
    if (!r->IsValid() || !g->IsValid() || !b->IsValid()) {
        SetLastError("PxImage::Combine : invalid channel image");
        return false;
    }
    // This image is about to be recreated: a channel that is this image is read from a copy.
    std::unique_ptr<PxImage> self;
    auto detach = [&](PxImage*& p) {
        if (p != this) return;
        if (!self) self = std::make_unique<PxImage>(*this, true, false, false);
        p = self.get();
    };
    detach(r);
    detach(g);
    detach(b);
    if (a) detach(a);

    const DWORD w = r->GetWidth(), h = r->GetHeight();
    if (!Create(w, h, 24, info.dwType)) return false;
    g->Resample(static_cast<LONG>(w), static_cast<LONG>(h), 1);
    b->Resample(static_cast<LONG>(w), static_cast<LONG>(h), 1);
    if (a) {
        a->Resample(static_cast<LONG>(w), static_cast<LONG>(h), 1);
        AlphaCreate();
    }
    // Rows are independent: they go to worker threads (nothing stops them early).
    px_ops::ParallelItems(h, [&](int64_t row) {
        const DWORD y = static_cast<DWORD>(row);
        info.nProgress = static_cast<LONG>(100LL * y / h);
        const LONG yy = static_cast<LONG>(y);
        BYTE* out = GetBits(y);
        for (DWORD x = 0; x < w; x++) {
            const LONG xx = static_cast<LONG>(x);
            RGBQUAD c;
            c.rgbRed = r->GetPixelIndex(xx, yy);
            c.rgbGreen = g->GetPixelIndex(xx, yy);
            c.rgbBlue = b->GetPixelIndex(xx, yy);
            c.rgbReserved = 0;
            c = px_ops::SpaceToRGB(colorspace, c);
            out[3 * x] = c.rgbBlue;
            out[3 * x + 1] = c.rgbGreen;
            out[3 * x + 2] = c.rgbRed;
            if (a) AlphaSet(xx, yy, a->GetPixelIndex(xx, yy));
        }
        return true;
    });
    return true;
}

bool PxImage::RepairChannel(PxImage* ch, float radius) {
    if (!ch) return false;
    PxImage tmp(*ch, true, true, true);
    if (!tmp.IsValid()) return false;
    const int64_t w = ch->GetWidth(), h = ch->GetHeight();
    if (ch->GetBpp() == 8 && w >= 3 && h >= 3) {
        px_ops::ParallelBands(h - 2, [&](int64_t b, int64_t e) {
            for (int64_t y = b + 1; y < e + 1; y++) {
                const BYTE* dn = ch->GetBits(static_cast<DWORD>(y - 1));
                const BYTE* c = ch->GetBits(static_cast<DWORD>(y));
                const BYTE* up = ch->GetBits(static_cast<DWORD>(y + 1));
                BYTE* out = tmp.GetBits(static_cast<DWORD>(y));
                for (int64_t x = 1; x < w - 1; x++) {
                    const double I = c[x];
                    const double ix = (c[x + 1] - static_cast<double>(c[x - 1])) / 2;
                    const double iy = (up[x] - static_cast<double>(dn[x])) / 2;
                    const double ixx = c[x + 1] - 2 * I + c[x - 1];
                    const double iyy = up[x] - 2 * I + dn[x];
                    const double ixy = (static_cast<double>(up[x + 1]) + dn[x - 1] - up[x - 1] - dn[x + 1]) / 4;
                    const double num = (1 + iy * iy) * ixx - ix * iy * ixy + (1 + ix * ix) * iyy;
                    const double den = 1 + ix * ix + iy * iy;
                    out[x] = px_ops::ClampToByte(I + radius * num / den);
                }
            }
        });
    }
    ch->Transfer(tmp);
    return true;
}

bool PxImage::Repair(float radius, LONG niterations, LONG colorspace) {
    if (!pDib) return false;
    PxImage c1, c2, c3;
    bool ok;
    switch (colorspace) {
        case 1:
            ok = SplitHSL(&c1, &c2, &c3);
            break;
        case 2:
            ok = SplitYUV(&c1, &c2, &c3);
            break;
        case 3:
            ok = SplitYIQ(&c1, &c2, &c3);
            break;
        case 4:
            ok = SplitXYZ(&c1, &c2, &c3);
            break;
        default:
            ok = SplitRGB(&c1, &c2, &c3);
            break;
    }
    if (!ok) return false;
    for (LONG i = 0; i < niterations; i++) {
        RepairChannel(&c1, radius);
        RepairChannel(&c2, radius);
        RepairChannel(&c3, radius);
    }
    std::unique_ptr<PxImage> alpha;
    if (AlphaIsValid()) {
        alpha = std::make_unique<PxImage>();
        if (!AlphaSplit(alpha.get())) alpha.reset();
    }
    return Combine(&c1, &c2, &c3, alpha.get(), colorspace);
}
