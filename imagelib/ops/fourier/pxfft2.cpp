// Two-dimensional Fourier transform over a pair of grey images (real and imaginary parts):
// radix-2 for power-of-two sizes, a direct transform otherwise. The result comes back as 8-bit
// images scaled for viewing.
//
// Every one-dimensional transform runs over contiguous memory (columns are gathered a block at
// a time) and is computed exactly as it would be on its own, so splitting the lines between
// threads changes no result.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/ops/fourier/pxfftcore.h"
#include "imagelib/pximage.h"

namespace {

int Log2(int64_t n) {
    int m = 0;
    while ((int64_t{1} << m) < n) m++;
    return m;
}

int64_t NextPowerOf2(int64_t n) {
    int64_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

}  // namespace

bool PxImage::FFT2(PxImage* srcReal, PxImage* srcImag, PxImage* dstReal, PxImage* dstImag, LONG direction,
                   bool bForceFFT, bool bMagnitude) {
    if (!srcReal && !srcImag) return false;
    PxImage* size = srcReal ? srcReal : srcImag;
    int64_t w = size->GetWidth(), h = size->GetHeight();
    if (w < 1 || h < 1) {
        SetLastError("PxImage::FFT2 : empty source image");
        return false;
    }
    bool px = IsPowerof2(static_cast<LONG>(w)), py = IsPowerof2(static_cast<LONG>(h));
    if (bForceFFT && !(px && py)) {
        w = NextPowerOf2(w);
        h = NextPowerOf2(h);
        px = py = true;
    }
    if (w > 0x40000000 || h > 0x40000000) {
        SetLastError("PxImage::FFT2 : image too large");
        return false;
    }

    PxImage* tmpReal = dstReal ? dstReal : srcReal;
    PxImage* tmpImag = dstImag ? dstImag : srcImag;
    if (srcReal && dstReal) dstReal->Copy(*srcReal, true, false, false);
    if (srcImag && dstImag) dstImag->Copy(*srcImag, true, false, false);

    std::unique_ptr<PxImage> ownReal, ownImag;
    // A part with neither source nor destination is a zero part in a temporary image; an empty
    // destination for a missing source receives such a zero part itself.
    auto prepare = [&](PxImage*& work, std::unique_ptr<PxImage>& own, PxImage* src) {
        if (!work || (!src && !work->IsValid())) {
            if (!work) {
                own = std::make_unique<PxImage>();
                work = own.get();
            }
            if (!work->Create(static_cast<DWORD>(w), static_cast<DWORD>(h), 8, 0)) return false;
            work->Clear(0);
            work->SetGrayPalette();
            return true;
        }
        if (!work->IsValid()) return false;
        // A grey ramp below 8 bits (indices 0..15 or 0..1 as their own levels) is grey too, but the
        // grid reads one index byte per point: it goes to 8 bits with the same levels.
        if (!work->IsGrayScale() || work->GetBpp() != 8) work->GrayScale();
        return work->IsValid();
    };
    if (!prepare(tmpReal, ownReal, srcReal) || !prepare(tmpImag, ownImag, srcImag)) {
        SetLastError("PxImage::FFT2 : invalid working image");
        return false;
    }
    tmpReal->Resample(static_cast<LONG>(w), static_cast<LONG>(h), 0);
    tmpImag->Resample(static_cast<LONG>(w), static_cast<LONG>(h), 0);
    if (static_cast<int64_t>(tmpReal->GetWidth()) != w || static_cast<int64_t>(tmpReal->GetHeight()) != h ||
        static_cast<int64_t>(tmpImag->GetWidth()) != w || static_cast<int64_t>(tmpImag->GetHeight()) != h ||
        tmpReal->GetBpp() != 8 || tmpImag->GetBpp() != 8) {
        SetLastError("PxImage::FFT2 : can't resample the working images");
        return false;
    }

    const size_t npts = static_cast<size_t>(w) * static_cast<size_t>(h);
    // Left uninitialised: every point is written below, by the threads that later use its rows.
    std::unique_ptr<double[]> reBuf(new (std::nothrow) double[npts]), imBuf(new (std::nothrow) double[npts]);
    if (!reBuf || !imBuf) {
        SetLastError("PxImage::FFT2 can't allocate memory");
        return false;
    }
    double* const re = reBuf.get();
    double* const im = imBuf.get();
    px_ops::ParallelBands(h, [&](int64_t b, int64_t e) {
        for (int64_t j = b; j < e; j++) {
            const BYTE* r = tmpReal->GetBits(static_cast<DWORD>(j));
            const BYTE* i = tmpImag->GetBits(static_cast<DWORD>(j));
            double* xr = re + j * w;
            double* xi = im + j * w;
            for (int64_t k = 0; k < w; k++) {
                xr[k] = r[k] - 128.0;
                xi[k] = i[k] - 128.0;
            }
        }
    });

    const int dir = static_cast<int>(direction);
    constexpr int64_t B = px_fft::kLanes;
    // Radix-2 lines go kLanes at a time through the interleaved transform: `lines` lines of
    // `len` points, point i of line l at base[l * lineStep + i * pointStep]. Lanes past the last
    // line are zeros and are thrown away.
    bool noMemory = false;  // a worker's scratch lines could not be had
    auto radix2 = [&](int64_t lines, int64_t len, int64_t lineStep, int64_t pointStep) {
        const px_fft::Twiddles tw = px_fft::MakeTwiddles(dir, Log2(len));
        struct Scratch {
            std::vector<double> bx, by;
        };
        px_ops::ParallelItemsWith((lines + B - 1) / B,
                                  [&] {
                                      const size_t n = static_cast<size_t>(len * B);
                                      return Scratch{std::vector<double>(n), std::vector<double>(n)};
                                  },
                                  [&](int64_t blk, Scratch& scratch) {
                                      std::vector<double>& bx = scratch.bx;
                                      std::vector<double>& by = scratch.by;
                                      const int64_t l0 = blk * B, nl = std::min(B, lines - l0);
                                      double* X = bx.data();
                                      double* Y = by.data();
                                      if (pointStep == 1) {
                                          // Lines are rows: each one is read in order and spread across its lane.
                                          if (nl < B) {
                                              std::fill(bx.begin(), bx.end(), 0.0);
                                              std::fill(by.begin(), by.end(), 0.0);
                                          }
                                          for (int64_t c = 0; c < nl; c++) {
                                              const double* sr = re + (l0 + c) * lineStep;
                                              const double* si = im + (l0 + c) * lineStep;
                                              for (int64_t i = 0; i < len; i++) {
                                                  X[i * B + c] = sr[i];
                                                  Y[i * B + c] = si[i];
                                              }
                                          }
                                          px_fft::TransformLanes(dir, tw, X, Y);
                                          for (int64_t c = 0; c < nl; c++) {
                                              double* dr = re + (l0 + c) * lineStep;
                                              double* di = im + (l0 + c) * lineStep;
                                              for (int64_t i = 0; i < len; i++) {
                                                  dr[i] = X[i * B + c];
                                                  di[i] = Y[i * B + c];
                                              }
                                          }
                                      } else {
                                          // Lines are columns: point i of all lanes lies side by side in row i.
                                          const size_t bytes = static_cast<size_t>(nl) * sizeof(double);
                                          for (int64_t i = 0; i < len; i++) {
                                              std::memcpy(X + i * B, re + i * pointStep + l0, bytes);
                                              std::memcpy(Y + i * B, im + i * pointStep + l0, bytes);
                                              for (int64_t c = nl; c < B; c++) X[i * B + c] = Y[i * B + c] = 0.0;
                                          }
                                          px_fft::TransformLanes(dir, tw, X, Y);
                                          for (int64_t i = 0; i < len; i++) {
                                              std::memcpy(re + i * pointStep + l0, X + i * B, bytes);
                                              std::memcpy(im + i * pointStep + l0, Y + i * B, bytes);
                                          }
                                      }
                                      return true;
                                  });
    };

    try {
        // Rows.
        if (px) {
            radix2(h, w, w, 1);
        } else {
            px_ops::ParallelBands(h, [&](int64_t b, int64_t e) {
                std::vector<double> s1(static_cast<size_t>(w)), s2(static_cast<size_t>(w));
                for (int64_t l = b; l < e; l++)
                    DFT(dir, static_cast<LONG>(w), re + l * w, im + l * w, s1.data(), s2.data());
            });
        }

        // Columns: a few at a time gathered into contiguous lines, one cache line of each row per block.
        if (py) {
            radix2(w, h, 1, w);
        } else {
            px_ops::ParallelBands((w + B - 1) / B, [&](int64_t b, int64_t e) {
                std::vector<double> cx(static_cast<size_t>(B * h)), cy(cx.size()), s1(static_cast<size_t>(h)),
                    s2(static_cast<size_t>(h));
                for (int64_t k0 = b * B; k0 < std::min(w, e * B); k0 += B) {
                    const int64_t nk = std::min(B, w - k0);
                    for (int64_t j = 0; j < h; j++)
                        for (int64_t c = 0; c < nk; c++) {
                            cx[static_cast<size_t>(c * h + j)] = re[static_cast<size_t>(j * w + k0 + c)];
                            cy[static_cast<size_t>(c * h + j)] = im[static_cast<size_t>(j * w + k0 + c)];
                        }
                    for (int64_t c = 0; c < nk; c++)
                        DFT(dir, static_cast<LONG>(h), cx.data() + c * h, cy.data() + c * h, s1.data(), s2.data());
                    for (int64_t j = 0; j < h; j++)
                        for (int64_t c = 0; c < nk; c++) {
                            re[static_cast<size_t>(j * w + k0 + c)] = cx[static_cast<size_t>(c * h + j)];
                            im[static_cast<size_t>(j * w + k0 + c)] = cy[static_cast<size_t>(c * h + j)];
                        }
                }
            });
        }
    } catch (const std::bad_alloc&) {
        noMemory = true;
    }
    if (noMemory) {
        SetLastError("PxImage::FFT2 can't allocate memory");
        return false;
    }

    double nn = std::pow(2.0, std::log(static_cast<double>(std::max(w, h))) / std::log(2.0) - 4);
    if (direction == -1) nn = 1 / nn;
    if (bMagnitude) nn *= 4;

    // Write row j of the working images.
    px_ops::ParallelBands(h, [&](int64_t b, int64_t e) {
        for (int64_t j = b; j < e; j++) {
            BYTE* r = tmpReal->GetBits(static_cast<DWORD>(j));
            BYTE* i = tmpImag->GetBits(static_cast<DWORD>(j));
            for (int64_t k = 0; k < w; k++) {
                const double x = re[static_cast<size_t>(j * w + k)];
                const double y = im[static_cast<size_t>(j * w + k)];
                if (bMagnitude) {
                    r[k] = px_ops::ClampToByte(nn * (3 + std::log(std::sqrt(x * x + y * y))));
                    i[k] = px_ops::ClampToByte(x != 0 ? 128 + nn * std::atan(y / x) : 128 + nn * std::atan(y * 1e10));
                } else {
                    r[k] = px_ops::ClampToByte(128 + nn * x);
                    i[k] = px_ops::ClampToByte(128 + nn * y);
                }
            }
        }
    });
    return true;
}
