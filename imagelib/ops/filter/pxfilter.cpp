// Neighbourhood filters: each pixel is computed from a square window of the unchanged source.
// Convolution, erosion, dilation, edge strength, median and contour (jitter and noise: pxnoise.cpp).
//
// Every position outside the image reads as one and the same colour (the out-of-range rule of
// GetPixelColor), so the window operations work on a copy of the colours padded with that
// colour: the inner loops then read memory directly and never test bounds.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/core/pxsimd.h"
#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/ops/filter/pxbandrows.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

// The image's colours as blue, green, red triples, with lo pixels of margin before and hi
// after in both directions, the margin holding the out-of-range colour.
struct PaddedColours {
    std::vector<BYTE> bgr;
    std::vector<BYTE> gray;  // filled only on request
    LONG lo = 0;
    size_t stride = 0;  // pixels per padded row

    const BYTE* At(LONG x, LONG y) const {
        return bgr.data() + ((static_cast<size_t>(y + lo) * stride) + static_cast<size_t>(x + lo)) * 3;
    }
    BYTE GrayAt(LONG x, LONG y) const {
        return gray[static_cast<size_t>(y + lo) * stride + static_cast<size_t>(x + lo)];
    }
};

bool BuildPadded(PxImage& img, LONG lo, LONG hi, bool withGray, PaddedColours& out) {
    const LONG w = static_cast<LONG>(img.GetWidth()), h = static_cast<LONG>(img.GetHeight());
    // A window far wider than any image would only describe memory that cannot exist.
    if (lo > (1 << 20) || hi > (1 << 20)) return false;
    const size_t pw = static_cast<size_t>(w) + lo + hi, ph = static_cast<size_t>(h) + lo + hi;
    if (pw * ph > (size_t{1} << 38)) return false;
    try {
        out.bgr.assign(pw * ph * 3, 0);
        if (withGray) out.gray.assign(pw * ph, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    out.lo = lo;
    out.stride = pw;
    const RGBQUAD outside = img.GetPixelColor(-1, -1);
    const bool direct = img.GetBpp() == 24;
    // Rows are independent; indexed images read their palette, which nothing changes meanwhile.
    px_ops::ParallelBands(static_cast<int64_t>(ph), [&](int64_t b, int64_t e) {
        for (size_t py = static_cast<size_t>(b); py < static_cast<size_t>(e); py++) {
            BYTE* row = out.bgr.data() + py * pw * 3;
            const LONG y = static_cast<LONG>(py) - lo;
            const bool rowInside = y >= 0 && y < h;
            const BYTE* src = rowInside && direct ? img.GetBits(static_cast<DWORD>(y)) : nullptr;
            for (size_t px = 0; px < pw; px++) {
                const LONG x = static_cast<LONG>(px) - lo;
                RGBQUAD c;
                if (!rowInside || x < 0 || x >= w) {
                    c = outside;
                } else if (src) {
                    c.rgbBlue = src[3 * x];
                    c.rgbGreen = src[3 * x + 1];
                    c.rgbRed = src[3 * x + 2];
                } else {
                    c = img.GetPixelColor(x, y, false);
                }
                row[3 * px] = c.rgbBlue;
                row[3 * px + 1] = c.rgbGreen;
                row[3 * px + 2] = c.rgbRed;
                if (withGray) out.gray[py * pw + px] = px_ops::Gray(c);
            }
        }
    });
    return true;
}

using px_ops::FromBGR;

}  // namespace

namespace px_ops {

// The index GetNearestIndex finds for c in the grey identity ramp (first smallest distance),
// computed without the image's one-entry cache so that threads can share it.
inline BYTE NearestGrey(const RGBQUAD& c) {
    if (c.rgbRed == c.rgbGreen && c.rgbGreen == c.rgbBlue) return c.rgbRed;
    int best = 200000, index = 0;
    for (int i = 0; i < 256; i++) {
        const int dr = c.rgbRed - i, dg = c.rgbGreen - i, db = c.rgbBlue - i;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return static_cast<BYTE>(index);
}

// Runs fn(x, y) -> RGBQUAD for every selected pixel of the region, row by row, writing into dst
// without alpha. Rows go to worker threads for 24-bit and grey 8-bit results; any other
// indexed result is written on one thread because the nearest-colour search keeps a cache in
// the image.
template <class Selected, class Fn>
void RunWindowOp(PxImage& src, PxImage& dst, LONG xmin, LONG xmax, LONG ymin, LONG ymax, Selected selected, Fn fn) {
    const LONG h = static_cast<LONG>(src.GetHeight());
    const bool grey =
        dst.GetBpp() == 8 && dst.IsGrayScale() && (dst.GetClrImportant() == 0 || dst.GetClrImportant() >= 256);
    const bool direct = dst.GetBpp() == 24 || grey;
    auto row = [&](int64_t i) {
        const LONG y = ymin + static_cast<LONG>(i);
        src.SetProgress(static_cast<LONG>(100LL * y / h));
        if (src.GetEscape()) return false;
        BYTE* out = dst.GetBits(static_cast<DWORD>(y));
        if (dst.GetBpp() == 24) {
            for (LONG x = xmin; x < xmax; x++) {
                if (!selected(x, y)) continue;
                const RGBQUAD c = fn(x, y);
                out[3 * x] = c.rgbBlue;
                out[3 * x + 1] = c.rgbGreen;
                out[3 * x + 2] = c.rgbRed;
            }
        } else if (grey) {
            for (LONG x = xmin; x < xmax; x++)
                if (selected(x, y)) out[x] = NearestGrey(fn(x, y));
        } else {
            for (LONG x = xmin; x < xmax; x++)
                if (selected(x, y)) dst.SetPixelColor(x, y, fn(x, y), false);
        }
        return true;
    };
    const int64_t rows = ymax > ymin ? ymax - ymin : 0;
    if (direct) {
        ParallelItems(rows, row);
    } else {
        for (int64_t i = 0; i < rows; i++)
            if (!row(i)) break;
    }
}

}  // namespace px_ops

namespace {

// Grey 8-bit images whose window operations may run on their levels alone: every colour a
// window can see is a grey, the out-of-range one included (a transparent index beyond the
// palette makes it the stored transparent colour, which may be any colour).
bool LevelsOnly(PxImage& img) {
    if (img.GetBpp() != 8 || !img.IsGrayScale()) return false;
    const DWORD important = img.GetClrImportant();
    const RGBQUAD oc = img.GetPixelColor(-1, -1, false);
    return (important == 0 || important >= 256) && oc.rgbRed == oc.rgbGreen && oc.rgbGreen == oc.rgbBlue;
}

// Checks shared by the window operations; sets the error text on failure.
bool WindowSizeOk(LONG K, const char* name, PxImage& img, char* msg, size_t msgsize) {
    if (K >= 1) return true;
    std::snprintf(msg, msgsize, "PxImage::%s : window size must be at least 1", name);
    (void)img;
    return false;
}

}  // namespace

namespace {

// lo and hi: the smallest and largest byte at each position over K rows.
inline void MinMaxDownLoop(const BYTE* const* rows, int K, int64_t n, BYTE* __restrict lo, BYTE* __restrict hi) {
    std::memcpy(lo, rows[0], static_cast<size_t>(n));
    std::memcpy(hi, rows[0], static_cast<size_t>(n));
    for (int k = 1; k < K; k++) {
        const BYTE* __restrict r = rows[k];
        for (int64_t i = 0; i < n; i++) {
            lo[i] = std::min(lo[i], r[i]);
            hi[i] = std::max(hi[i], r[i]);
        }
    }
}

void MinMaxDown(const BYTE* const* rows, int K, int64_t n, BYTE* __restrict lo, BYTE* __restrict hi) {
    pxgeo::Vectorised([&] { MinMaxDownLoop(rows, K, n, lo, hi); });
}

// lo and hi at byte i: the smallest and largest of vlo and vhi at i, i + b, ..., i + (K - 1) b.
inline void MinMaxAcrossLoop(const BYTE* __restrict vlo, const BYTE* __restrict vhi, int K, int b, int64_t n,
                             BYTE* __restrict lo, BYTE* __restrict hi) {
    std::memcpy(lo, vlo, static_cast<size_t>(n));
    std::memcpy(hi, vhi, static_cast<size_t>(n));
    for (int j = 1; j < K; j++) {
        const BYTE* __restrict a = vlo + static_cast<ptrdiff_t>(j) * b;
        const BYTE* __restrict c = vhi + static_cast<ptrdiff_t>(j) * b;
        for (int64_t i = 0; i < n; i++) {
            lo[i] = std::min(lo[i], a[i]);
            hi[i] = std::max(hi[i], c[i]);
        }
    }
}

void MinMaxAcross(const BYTE* __restrict vlo, const BYTE* __restrict vhi, int K, int b, int64_t n, BYTE* __restrict lo,
                  BYTE* __restrict hi) {
    pxgeo::Vectorised([&] { MinMaxAcrossLoop(vlo, vhi, K, b, n, lo, hi); });
}

// Window operations on 24-bit images (b = 3) and on grey 8-bit images (b = 1, levels), written
// straight into the image. Rows go in bands to the workers; each band keeps the K rows of its
// window as they were, padded with the out-of-range colour (k2 pixels before, K - k2 - 1
// after), in a ring, and reads its neighbours' rows from copies made before any change. For
// every row y of the region, rowFn(rows, res) gets the padded rows y - k2 .. y + K - k2 - 1
// and fills res with the row's results (w * b bytes, pixel x at x * b); the selected pixels of
// the region take them. False when memory is missing.
template <class RowFn>
bool WindowRowsInPlace(PxImage& img, LONG K, const BYTE* selection, LONG xmin, LONG xmax, LONG ymin, LONG ymax, int b,
                       const BYTE outside[3], RowFn rowFn) {
    const LONG w = static_cast<LONG>(img.GetWidth()), h = static_cast<LONG>(img.GetHeight());
    const LONG k2 = K / 2, kmax = K - k2;
    const int64_t pbytes = (int64_t{w} + K - 1) * b, rowBytes = int64_t{w} * b;
    const int workers = px_ops::WorkerCount(h);
    px_ops::BandRows rows(
        img, std::max<int64_t>(std::max<int64_t>(16, 2 * int64_t{K}), (int64_t{h} + 4 * workers - 1) / (4 * workers)),
        std::max(k2, kmax - 1));
    if (!rows.Save()) return false;
    try {
        px_ops::ParallelItems(rows.Bands(), [&](int64_t band) {
            const LONG y0 = std::max<LONG>(ymin, static_cast<LONG>(rows.Begin(band)));
            const LONG y1 = std::min<LONG>(ymax, static_cast<LONG>(rows.End(band)));
            if (y0 >= y1) return true;
            std::vector<BYTE> ring(static_cast<size_t>(K * pbytes)), res(static_cast<size_t>(rowBytes));
            std::vector<const BYTE*> window(static_cast<size_t>(K));
            auto padded = [&](LONG q) {
                return ring.data() + static_cast<size_t>(((q % K) + K) % K) * static_cast<size_t>(pbytes);
            };
            auto fill = [&](LONG q) {  // row q is not changed yet
                BYTE* d = padded(q);
                const BYTE* s = q >= 0 && q < h ? rows.Row(band, q) : nullptr;
                for (int64_t px = 0; px < pbytes / b; px++) {
                    if (s && px == k2) {
                        std::memcpy(d + px * b, s, static_cast<size_t>(rowBytes));
                        px += w - 1;
                        continue;
                    }
                    std::memcpy(d + px * b, outside, static_cast<size_t>(b));
                }
            };
            for (LONG q = y0 - k2; q < y0 + kmax - 1; q++) fill(q);
            for (LONG y = y0; y < y1; y++) {
                img.SetProgress(static_cast<LONG>(100LL * y / h));
                if (img.GetEscape()) return false;
                fill(y + kmax - 1);
                for (LONG k = 0; k < K; k++) window[static_cast<size_t>(k)] = padded(y - k2 + k);
                rowFn(window.data(), res.data());
                BYTE* row = img.GetBits(static_cast<DWORD>(y));
                if (!selection) {
                    std::memcpy(row + static_cast<size_t>(xmin) * b, res.data() + static_cast<size_t>(xmin) * b,
                                static_cast<size_t>(xmax - xmin) * b);
                } else {
                    const BYTE* sel = selection + static_cast<size_t>(y) * static_cast<size_t>(w);
                    for (LONG x = xmin; x < xmax; x++)
                        if (sel[x])
                            std::memcpy(row + static_cast<size_t>(x) * b, res.data() + static_cast<size_t>(x) * b, b);
                }
            }
            return true;
        });
    } catch (const std::bad_alloc&) {
        return false;  // rows done keep their results
    }
    return true;
}

// acc[i] = sum over the K x K kernel of weight times the byte of window row dy at i + dx * b, in
// Acc (32-bit when the weights are small enough for no sum to overflow, else 64-bit).
template <class Acc>
inline void KernelSums(const BYTE* const* rows, const LONG* kernel, LONG K, int b, int64_t n, Acc* __restrict acc) {
    std::fill(acc, acc + n, Acc{0});
    for (LONG dy = 0; dy < K; dy++)
        for (LONG dx = 0; dx < K; dx++) {
            const Acc kw = kernel[static_cast<size_t>(dy) * K + dx];
            const BYTE* __restrict r = rows[dy] + static_cast<ptrdiff_t>(dx) * b;
            for (int64_t i = 0; i < n; i++) acc[i] += kw * r[i];
        }
}

inline void KernelSums32Loop(const BYTE* const* rows, const LONG* kernel, LONG K, int b, int64_t n, int32_t* acc) {
    KernelSums(rows, kernel, K, b, n, acc);
}

void KernelSums32(const BYTE* const* rows, const LONG* kernel, LONG K, int b, int64_t n, int32_t* acc) {
    pxgeo::Vectorised([&] { KernelSums32Loop(rows, kernel, K, b, n, acc); });
}

// res[i] = offset + acc[i] / factor (factor 0: + acc[i]) clamped to 0..255, the division
// truncating. In double: with |acc| and |factor| below 2^31 the rounded quotient never crosses
// the integer it truncates to, and every sum with the offset is exact.
inline void FinishSums32Loop(const int32_t* __restrict acc, int64_t n, LONG factor, LONG offset, BYTE* __restrict res) {
    const double off = offset, d = factor;
    for (int64_t i = 0; i < n; i++) {
        const double q = factor != 0 ? static_cast<double>(static_cast<int32_t>(acc[i] / d)) : acc[i];
        double v = off + q;
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        res[i] = static_cast<BYTE>(static_cast<int>(v));
    }
}

void FinishSums32(const int32_t* __restrict acc, int64_t n, LONG factor, LONG offset, BYTE* __restrict res) {
    pxgeo::Vectorised([&] { FinishSums32Loop(acc, n, factor, offset, res); });
}

// Contour of one row: per byte, the running m over the 3 x 3 window (dx outer, dy inner)
// that takes a neighbour's value when it exceeds the centre by more than m; 255 - m.
inline void ContourRowLoop(const BYTE* const* rows, int b, int64_t n, BYTE* __restrict out) {
    const BYTE* r0 = rows[0];
    const BYTE* r1 = rows[1];
    const BYTE* r2 = rows[2];
    for (int64_t i = 0; i < n; i++) {
        const int c = r1[i + b];
        int m = 0;
        const int nb[9] = {r0[i],     r1[i],         r2[i],         r0[i + b],    r1[i + b],
                           r2[i + b], r0[i + 2 * b], r1[i + 2 * b], r2[i + 2 * b]};
        for (int k = 0; k < 9; k++) m = nb[k] - c > m ? nb[k] : m;
        out[i] = static_cast<BYTE>(255 - m);
    }
}

void ContourRow(const BYTE* const* rows, int b, int64_t n, BYTE* __restrict out) {
    pxgeo::Vectorised([&] { ContourRowLoop(rows, b, n, out); });
}

}  // namespace

bool PxImage::Filter(LONG* kernel, LONG Ksize, LONG Kfactor, LONG Koffset) {
    if (!pDib) return false;
    if (!kernel) {
        SetLastError("PxImage::Filter : no kernel");
        return false;
    }
    char msg[128];
    if (!WindowSizeOk(Ksize, "Filter", *this, msg, sizeof msg)) {
        SetLastError(msg);
        return false;
    }
    const LONG k2 = Ksize / 2, kmax = Ksize - k2;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    const LONG w = head.biWidth, h = head.biHeight;
    if (head.biBitCount == 24 && Ksize <= 255) {
        // Sums of bytes times weights are exact in 32 bits while the weights' magnitudes add up
        // to less than 2^31 / 255, and then run many bytes at once.
        int64_t weight = 0;
        for (int64_t i = 0; i < int64_t{Ksize} * Ksize; i++) weight += std::abs(int64_t{kernel[i]});
        const bool narrow = weight <= INT32_MAX / 255;
        const int64_t rowBytes = int64_t{w} * 3;
        const BYTE outside[3] = {GetPixelColor(-1, -1).rgbBlue, GetPixelColor(-1, -1).rgbGreen,
                                 GetPixelColor(-1, -1).rgbRed};
        auto finish = [&](int64_t sum) { return px_ops::ClampInt(Koffset + (Kfactor != 0 ? sum / Kfactor : sum)); };
        if (!WindowRowsInPlace(*this, Ksize, pSelection, xmin, xmax, ymin, ymax, 3, outside,
                               [&](const BYTE* const* rows, BYTE* res) {
                                   if (narrow) {
                                       thread_local std::vector<int32_t> acc;
                                       acc.resize(static_cast<size_t>(rowBytes));
                                       KernelSums32(rows, kernel, Ksize, 3, rowBytes, acc.data());
                                       FinishSums32(acc.data(), rowBytes, Kfactor, Koffset, res);
                                   } else {
                                       thread_local std::vector<int64_t> acc;
                                       acc.resize(static_cast<size_t>(rowBytes));
                                       KernelSums(rows, kernel, Ksize, 3, rowBytes, acc.data());
                                       for (int64_t i = 0; i < rowBytes; i++)
                                           res[i] = finish(acc[static_cast<size_t>(i)]);
                                   }
                               })) {
            SetLastError("PxImage::Filter can't allocate memory");
            return false;
        }
        return true;
    }
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    auto selected = [this](LONG x, LONG y) { return OpsSelected(x, y); };

    if (OpsIsGray8()) {
        const int64_t factor = Kfactor == 0 ? 1 : Kfactor;
        auto row = [&](int64_t i) {
            const LONG y = ymin + static_cast<LONG>(i);
            info.nProgress = static_cast<LONG>(100LL * y / h);
            if (info.nEscape) return false;
            // Pixels whose window touches row 0, column 0 or passes the far edges stay as they are.
            if (!(y - k2 >= 1 && y + kmax - 1 <= h - 1)) return true;
            BYTE* out = tmp.GetBits(y);
            for (LONG x = xmin; x < xmax; x++) {
                if (!OpsSelected(x, y) || !(x - k2 >= 1 && x + kmax - 1 <= w - 1)) continue;
                int64_t s = 0;
                for (LONG dy = -k2; dy < kmax; dy++) {
                    const BYTE* src = GetBits(y + dy) + x;
                    const LONG* kr = kernel + static_cast<size_t>(dy + k2) * Ksize + k2;
                    for (LONG dx = -k2; dx < kmax; dx++) s += int64_t{kr[dx]} * src[dx];
                }
                out[x] = px_ops::ClampInt(Koffset + s / factor);
            }
            return true;
        };
        px_ops::ParallelItems(ymax > ymin ? ymax - ymin : 0, row);
        Transfer(tmp);
        return true;
    }

    PaddedColours pad;
    if (!BuildPadded(*this, k2, kmax, false, pad)) {
        SetLastError("PxImage::Filter can't allocate memory");
        return false;
    }
    px_ops::RunWindowOp(*this, tmp, xmin, xmax, ymin, ymax, selected, [&](LONG x, LONG y) {
        int64_t sb = 0, sg = 0, sr = 0;
        for (LONG dy = -k2; dy < kmax; dy++) {
            const BYTE* p = pad.At(x - k2, y + dy);
            const LONG* kr = kernel + static_cast<size_t>(dy + k2) * Ksize;
            for (LONG j = 0; j < Ksize; j++, p += 3) {
                const int64_t kw = kr[j];
                sb += kw * p[0];
                sg += kw * p[1];
                sr += kw * p[2];
            }
        }
        if (Kfactor != 0) {
            sb /= Kfactor;
            sg /= Kfactor;
            sr /= Kfactor;
        }
        RGBQUAD c;
        c.rgbBlue = px_ops::ClampInt(Koffset + sb);
        c.rgbGreen = px_ops::ClampInt(Koffset + sg);
        c.rgbRed = px_ops::ClampInt(Koffset + sr);
        c.rgbReserved = 0;
        return c;
    });
    Transfer(tmp);
    return true;
}

bool PxImage::Erode(LONG Ksize) { return OpsMorph(Ksize, 0, "Erode"); }
bool PxImage::Dilate(LONG Ksize) { return OpsMorph(Ksize, 1, "Dilate"); }
bool PxImage::Edge(LONG Ksize) { return OpsMorph(Ksize, 2, "Edge"); }

// Erode (0), Dilate (1) and Edge (2) differ only in what they keep of the window's extremes.
bool PxImage::OpsMorph(LONG Ksize, int kind, const char* name) {
    if (!pDib) return false;
    char msg[128];
    if (!WindowSizeOk(Ksize, name, *this, msg, sizeof msg)) {
        SetLastError(msg);
        return false;
    }
    const LONG k2 = Ksize / 2, kmax = Ksize - k2;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    const bool colour = head.biBitCount == 24;
    if ((colour || LevelsOnly(*this)) && Ksize <= 255) {
        // Window extremes are separable: first down the K rows, then across K pixels. Grey images
        // work on their levels (their own colours).
        const int b = colour ? 3 : 1;
        const RGBQUAD oc = GetPixelColor(-1, -1);
        const BYTE outside[3] = {colour ? oc.rgbBlue : px_ops::NearestGrey(oc), oc.rgbGreen, oc.rgbRed};
        const int64_t pbytes = (int64_t{head.biWidth} + Ksize - 1) * b, rowBytes = int64_t{head.biWidth} * b;
        const bool ok = WindowRowsInPlace(*this, Ksize, pSelection, xmin, xmax, ymin, ymax, b, outside,
                                          [&](const BYTE* const* rows, BYTE* res) {
                                              thread_local std::vector<BYTE> vlo, vhi, lo;
                                              vlo.resize(static_cast<size_t>(pbytes));
                                              vhi.resize(vlo.size());
                                              lo.resize(static_cast<size_t>(rowBytes));
                                              BYTE* hi = res;
                                              MinMaxDown(rows, Ksize, pbytes, vlo.data(), vhi.data());
                                              MinMaxAcross(vlo.data(), vhi.data(), Ksize, b, rowBytes, lo.data(), hi);
                                              if (kind == 0)
                                                  std::memcpy(res, lo.data(), static_cast<size_t>(rowBytes));
                                              else if (kind == 2)
                                                  for (int64_t i = 0; i < rowBytes; i++)
                                                      res[i] = static_cast<BYTE>(255 - (hi[i] - lo[i]));
                                          });
        if (!ok) {
            std::snprintf(msg, sizeof msg, "PxImage::%s can't allocate memory", name);
            SetLastError(msg);
            return false;
        }
        return true;
    }
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    PaddedColours pad;
    if (!BuildPadded(*this, k2, kmax, false, pad)) {
        std::snprintf(msg, sizeof msg, "PxImage::%s can't allocate memory", name);
        SetLastError(msg);
        return false;
    }
    auto selected = [this](LONG x, LONG y) { return OpsSelected(x, y); };
    px_ops::RunWindowOp(*this, tmp, xmin, xmax, ymin, ymax, selected, [&](LONG x, LONG y) {
        BYTE lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (LONG dy = -k2; dy < kmax; dy++) {
            const BYTE* p = pad.At(x - k2, y + dy);
            for (LONG j = 0; j < Ksize; j++, p += 3) {
                for (int c = 0; c < 3; c++) {
                    lo[c] = std::min(lo[c], p[c]);
                    hi[c] = std::max(hi[c], p[c]);
                }
            }
        }
        BYTE r[3];
        for (int c = 0; c < 3; c++)
            r[c] = kind == 0 ? lo[c] : kind == 1 ? hi[c] : static_cast<BYTE>(255 - (hi[c] - lo[c]));
        return FromBGR(r);
    });
    Transfer(tmp);
    return true;
}

namespace {

inline void Sort2(int16_t& a, int16_t& b) {
    const int16_t lo = std::min(a, b), hi = std::max(a, b);
    a = lo;
    b = hi;
}

// idx[i] = the position (dx outer, dy inner: 0..8) of the median of the 3 x 3 window centred on
// pixel i, by grey value with ties in collection order, from the grey rows below, at and above
// it; gm, gc and gp start one pixel left of pixel 0. Each key is grey << 4 | position, so the
// keys are distinct and the fixed median-of-nine network picks the middle of that stable order.
// The loop runs many pixels at once.
inline void Median9PositionsLoop(const BYTE* gm, const BYTE* gc, const BYTE* gp, int64_t n, BYTE* idx) {
    for (int64_t i = 0; i < n; i++) {
        int16_t p0 = static_cast<int16_t>(gm[i] << 4), p1 = static_cast<int16_t>(gc[i] << 4 | 1),
                p2 = static_cast<int16_t>(gp[i] << 4 | 2), p3 = static_cast<int16_t>(gm[i + 1] << 4 | 3),
                p4 = static_cast<int16_t>(gc[i + 1] << 4 | 4), p5 = static_cast<int16_t>(gp[i + 1] << 4 | 5),
                p6 = static_cast<int16_t>(gm[i + 2] << 4 | 6), p7 = static_cast<int16_t>(gc[i + 2] << 4 | 7),
                p8 = static_cast<int16_t>(gp[i + 2] << 4 | 8);
        Sort2(p1, p2), Sort2(p4, p5), Sort2(p7, p8);
        Sort2(p0, p1), Sort2(p3, p4), Sort2(p6, p7);
        Sort2(p1, p2), Sort2(p4, p5), Sort2(p7, p8);
        Sort2(p0, p3), Sort2(p5, p8), Sort2(p4, p7);
        Sort2(p3, p6), Sort2(p1, p4), Sort2(p2, p5);
        Sort2(p4, p7), Sort2(p4, p2), Sort2(p6, p4);
        Sort2(p4, p2);
        idx[i] = static_cast<BYTE>(p4 & 15);
    }
}

void Median9Positions(const BYTE* gm, const BYTE* gc, const BYTE* gp, int64_t n, BYTE* idx) {
    pxgeo::Vectorised([&] { Median9PositionsLoop(gm, gc, gp, n, idx); });
}

inline void GreyOfBGRLoop(const BYTE* __restrict s, BYTE* __restrict g, int64_t n) {
    for (int64_t x = 0; x < n; x++)
        g[x] = static_cast<BYTE>((117 * s[3 * x] + 601 * s[3 * x + 1] + 306 * s[3 * x + 2]) >> 10);
}

void GreyOfBGR(const BYTE* __restrict s, BYTE* __restrict g, int64_t n) {
    pxgeo::Vectorised([&] { GreyOfBGRLoop(s, g, n); });
}

// Grey values of a row with one pixel of margin on either side (the out-of-range grey there,
// and everywhere for a row outside the image, s null).
void GreyRow(const BYTE* s, LONG w, bool colour, BYTE outside, BYTE* g) {
    g[0] = outside;
    g[w + 1] = outside;
    if (!s)
        std::memset(g + 1, outside, static_cast<size_t>(w));
    else if (colour)
        GreyOfBGR(s, g + 1, w);
    else
        std::memcpy(g + 1, s, static_cast<size_t>(w));
}

}  // namespace

// Median of 3 x 3 on 24-bit images and on 8-bit images with the grey identity palette (whose
// indices are their grey values and, written back, their own nearest entries).
bool PxImage::OpsMedian3(LONG xmin, LONG xmax, LONG ymin, LONG ymax) {
    const bool colour = head.biBitCount == 24;
    const LONG w = head.biWidth, h = head.biHeight;
    const RGBQUAD outsideColour = GetPixelColor(-1, -1);
    const BYTE outsideGrey = colour ? px_ops::Gray(outsideColour) : px_ops::NearestGrey(outsideColour);
    const int b = colour ? 3 : 1;
    const BYTE outside[3] = {colour ? outsideColour.rgbBlue : outsideGrey, outsideColour.rgbGreen,
                             outsideColour.rgbRed};
    const size_t eff = GetEffWidth();
    // Results go straight into the image, band by band; each band reads the rows next to it
    // from copies made before any change, and its own previous row from a copy of its own.
    const int workers = px_ops::WorkerCount(h);
    px_ops::BandRows rows(*this, std::max<int64_t>(16, (int64_t{h} + 4 * workers - 1) / (4 * workers)), 1);
    if (!rows.Save()) return false;
    const int64_t span = xmax > xmin ? xmax - xmin : 0;
    try {
        px_ops::ParallelItems(rows.Bands(), [&](int64_t band) {
            const LONG y0 = std::max<LONG>(ymin, static_cast<LONG>(rows.Begin(band)));
            const LONG y1 = std::min<LONG>(ymax, static_cast<LONG>(rows.End(band)));
            if (y0 >= y1) return true;
            const size_t gw = static_cast<size_t>(w) + 2;
            // The row being changed and the one before it, as they were: the results are written
            // straight into the row.
            std::vector<BYTE> grey(3 * gw), idx(static_cast<size_t>(span)), prev(eff), cur(eff);
            // Row q as it was, for q next to row y, the next row to change.
            auto orig = [&](LONG q, LONG y) -> const BYTE* {
                if (q < 0 || q >= h) return nullptr;
                if (q < y && q >= y0) return prev.data();
                return rows.Row(band, q);
            };
            auto greyRow = [&](LONG y) { return grey.data() + static_cast<size_t>((y + 3) % 3) * gw; };
            GreyRow(orig(y0 - 1, y0), w, colour, outsideGrey, greyRow(y0 - 1));
            GreyRow(orig(y0, y0), w, colour, outsideGrey, greyRow(y0));
            for (LONG y = y0; y < y1; y++) {
                info.nProgress = static_cast<LONG>(100LL * y / h);
                if (info.nEscape) return false;
                GreyRow(orig(y + 1, y), w, colour, outsideGrey, greyRow(y + 1));
                Median9Positions(greyRow(y - 1) + xmin, greyRow(y) + xmin, greyRow(y + 1) + xmin, span, idx.data());
                BYTE* row = GetBits(static_cast<DWORD>(y));
                std::memcpy(cur.data(), row, eff);  // unselected pixels and the padding stay in the row
                const BYTE* src[3] = {orig(y - 1, y), cur.data(), orig(y + 1, y)};
                const BYTE* sel = pSelection ? pSelection + static_cast<size_t>(y) * static_cast<size_t>(w) : nullptr;
                auto put = [&](LONG x, const BYTE* c) {
                    BYTE* o = row + static_cast<size_t>(x) * b;
                    o[0] = c[0];
                    if (colour) {
                        o[1] = c[1];
                        o[2] = c[2];
                    }
                };
                // Pixels whose window may reach outside the image.
                auto edge = [&](LONG x) {
                    if (sel && !sel[x]) return;
                    const int k = idx[static_cast<size_t>(x - xmin)];
                    const LONG sx = x + k / 3 - 1;
                    const BYTE* r = src[k % 3];
                    put(x, r && sx >= 0 && sx < w ? r + static_cast<size_t>(sx) * b : outside);
                };
                const LONG xa = std::max<LONG>(xmin, 1), xb = std::min<LONG>(xmax, w - 1);
                if (src[0] && src[2] && xa < xb) {
                    for (LONG x = xmin; x < xa; x++) edge(x);
                    // Inside, each window position is a fixed offset from the centre pixel.
                    ptrdiff_t off[9];
                    for (int k = 0; k < 9; k++) off[k] = (src[k % 3] - src[1]) + static_cast<ptrdiff_t>(k / 3 - 1) * b;
                    const BYTE* centre = src[1];
                    const BYTE* pos = idx.data() - xmin;
                    for (LONG x = xa; x < xb; x++)
                        if (!sel || sel[x]) put(x, centre + static_cast<ptrdiff_t>(x) * b + off[pos[x]]);
                    for (LONG x = std::max(xa, xb); x < xmax; x++) edge(x);
                } else {
                    for (LONG x = xmin; x < xmax; x++) edge(x);
                }
                prev.swap(cur);
            }
            return true;
        });
    } catch (const std::bad_alloc&) {
        return false;  // rows done keep their results
    }
    return true;
}

bool PxImage::Median(LONG Ksize) {
    if (!pDib) return false;
    char msg[128];
    if (!WindowSizeOk(Ksize, "Median", *this, msg, sizeof msg)) {
        SetLastError(msg);
        return false;
    }
    const LONG k2 = Ksize / 2, kmax = Ksize - k2;
    const int64_t kk = int64_t{Ksize} * Ksize;
    if (kk > (int64_t{1} << 24)) {
        SetLastError("PxImage::Median can't allocate memory");
        return false;
    }
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    if (Ksize == 3 && (head.biBitCount == 24 || LevelsOnly(*this))) {
        if (!OpsMedian3(xmin, xmax, ymin, ymax)) {
            SetLastError("PxImage::Median can't allocate memory");
            return false;
        }
        return true;
    }
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    PaddedColours pad;
    if (!BuildPadded(*this, k2, kmax, true, pad)) {
        SetLastError("PxImage::Median can't allocate memory");
        return false;
    }
    auto selected = [this](LONG x, LONG y) { return OpsSelected(x, y); };
    const size_t mid = static_cast<size_t>(kk / 2);
    // One scratch window per thread. Sorting by (grey, collection position) makes the order of
    // equal greys the order of collection: dx outer, dy inner.
    px_ops::RunWindowOp(*this, tmp, xmin, xmax, ymin, ymax, selected, [&](LONG x, LONG y) {
        thread_local std::vector<uint64_t> keys;
        keys.resize(static_cast<size_t>(kk));
        size_t n = 0;
        for (LONG dx = -k2; dx < kmax; dx++)
            for (LONG dy = -k2; dy < kmax; dy++, n++)
                keys[n] = (uint64_t{pad.GrayAt(x + dx, y + dy)} << 40) | (uint64_t(uint32_t(dx + k2)) << 20) |
                          uint32_t(dy + k2);
        std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(mid), keys.end());
        const uint64_t k = keys[mid];
        const LONG dx = static_cast<LONG>((k >> 20) & 0xFFFFF) - k2;
        const LONG dy = static_cast<LONG>(k & 0xFFFFF) - k2;
        return FromBGR(pad.At(x + dx, y + dy));
    });
    Transfer(tmp);
    return true;
}

bool PxImage::Contour() {
    if (!pDib) return false;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    const bool colour = head.biBitCount == 24;
    if (colour || LevelsOnly(*this)) {
        // Grey images work on their levels (their own colours).
        const int b = colour ? 3 : 1;
        const RGBQUAD oc = GetPixelColor(-1, -1);
        const BYTE outside[3] = {colour ? oc.rgbBlue : px_ops::NearestGrey(oc), oc.rgbGreen, oc.rgbRed};
        const int64_t rowBytes = int64_t{head.biWidth} * b;
        if (!WindowRowsInPlace(*this, 3, pSelection, xmin, xmax, ymin, ymax, b, outside,
                               [&](const BYTE* const* rows, BYTE* res) { ContourRow(rows, b, rowBytes, res); })) {
            SetLastError("PxImage::Contour can't allocate memory");
            return false;
        }
        return true;
    }
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    PaddedColours pad;
    if (!BuildPadded(*this, 1, 2, false, pad)) {
        SetLastError("PxImage::Contour can't allocate memory");
        return false;
    }
    auto selected = [this](LONG x, LONG y) { return OpsSelected(x, y); };
    px_ops::RunWindowOp(*this, tmp, xmin, xmax, ymin, ymax, selected, [&](LONG x, LONG y) {
        const BYTE* c = pad.At(x, y);
        int m[3] = {0, 0, 0};
        for (LONG dx = -1; dx <= 1; dx++) {
            for (LONG dy = -1; dy <= 1; dy++) {
                const BYTE* n = pad.At(x + dx, y + dy);
                for (int ch = 0; ch < 3; ch++)
                    if (n[ch] - c[ch] > m[ch]) m[ch] = n[ch];
            }
        }
        BYTE r[3];
        for (int ch = 0; ch < 3; ch++) r[ch] = static_cast<BYTE>(255 - m[ch]);
        return FromBGR(r);
    });
    Transfer(tmp);
    return true;
}
