// Histogram counting and the contrast remappings built on it: stretch, equalize, normalize,
// logarithm and square root. The remappings work on the whole image; true colour changes luma
// only (through YUV), palette images change their palette.
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/ops/colour/pxspaces.h"
#include "imagelib/ops/geometry/pxpackedindex.h"
#include "imagelib/pximage.h"

LONG PxImage::Histogram(LONG* red, LONG* green, LONG* blue, LONG* gray, LONG colorspace) {
    if (!pDib) return 0;
    LONG* arrays[4] = {red, green, blue, gray};
    if (!red && !green && !blue && !gray) return 0;
    // Counted in 64 bits: a large 1-bit image holds more pixels than a LONG counts. A count
    // past the LONG range stays at its largest value.
    int64_t counts[4][256] = {};
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    auto count = [&](RGBQUAD c, int64_t times) {
        c = px_ops::SpaceToRGB(colorspace, c);
        counts[0][c.rgbRed] += times;
        counts[1][c.rgbGreen] += times;
        counts[2][c.rgbBlue] += times;
        counts[3][px_ops::Gray(c)] += times;
    };
    if (head.biClrUsed) {
        // An indexed pixel's colour is its palette entry's: count the indices, then each
        // entry's colour once.
        int64_t indices[256] = {};
        const WORD bpp = head.biBitCount;
        for (LONG y = ymin; y < ymax; y++) {
            const BYTE* row = GetBits(static_cast<DWORD>(y));
            for (LONG x = xmin; x < xmax; x++)
                if (OpsSelected(x, y)) indices[PackedGetIndex(row, x, bpp)]++;
        }
        for (int i = 0; i < 256; i++)
            if (indices[i]) count(GetPaletteColor(static_cast<BYTE>(i)), indices[i]);
    } else {
        for (LONG y = ymin; y < ymax; y++)
            for (LONG x = xmin; x < xmax; x++)
                if (OpsSelected(x, y)) count(BlindGetPixelColor(x, y), 1);
    }
    LONG n = 0;
    for (int k = 0; k < 4; k++) {
        if (!arrays[k]) continue;
        for (int i = 0; i < 256; i++) {
            arrays[k][i] = static_cast<LONG>(std::min<int64_t>(counts[k][i], INT32_MAX));
            n = std::max(n, arrays[k][i]);
        }
    }
    return n;
}

void PxImage::OpsGrayHistogram(int64_t hist[256]) {
    std::fill(hist, hist + 256, int64_t{0});
    const LONG w = head.biWidth, h = head.biHeight;
    // Counts add up in any order: each worker counts its rows apart, the totals are summed after.
    // Indexed images read colours through the palette, which nothing changes meanwhile.
    std::mutex lock;
    px_ops::ParallelBands(h, [&](int64_t b, int64_t e) {
        int64_t mine[256] = {};
        for (int64_t y = b; y < e; y++) {
            info.nProgress = static_cast<LONG>(50LL * y / h);
            if (info.nEscape) break;
            if (head.biBitCount == 24) {
                const BYTE* p = GetBits(static_cast<DWORD>(y));
                for (LONG x = 0; x < w; x++, p += 3) mine[(306 * p[2] + 601 * p[1] + 117 * p[0]) >> 10]++;
            } else {
                for (LONG x = 0; x < w; x++) mine[px_ops::Gray(BlindGetPixelColor(x, static_cast<LONG>(y)))]++;
            }
        }
        std::lock_guard<std::mutex> hold(lock);
        for (int v = 0; v < 256; v++) hist[v] += mine[v];
    });
}

namespace {

RGBQUAD RemapLuma(RGBQUAD c, const BYTE map[256]) {
    RGBQUAD yuv = px_ops::RgbToYuv(c);
    yuv.rgbRed = map[yuv.rgbRed];
    RGBQUAD r = px_ops::YuvToRgb(yuv);
    r.rgbReserved = c.rgbReserved;
    return r;
}

}  // namespace

namespace {

// The YUV round trip of RemapLuma, split into the steps its single-precision formulas take,
// each step's every possible value kept in a table: the same numbers, looked up instead of
// computed for every pixel.
struct LumaTables {
    float yr[256], yg[256], yb[256];  // 0.299 R, 0.587 G, 0.114 B
    BYTE u[511], v[511];              // U and V bytes by B - Y + 255 and R - Y + 255
    BYTE r[256][256], b[256][256];    // red by [Y'][V byte], blue by [Y'][U byte]
    float ga[256][256], gv[256];      // Y' - 0.344 U by [Y'][U byte], 0.714 V by [V byte]

    LumaTables() {
        for (int i = 0; i < 256; i++) {
            yr[i] = 0.299f * i;
            yg[i] = 0.587f * i;
            yb[i] = 0.114f * i;
            gv[i] = 0.714f * (i - 128);
        }
        for (int d = -255; d <= 255; d++) {
            u[d + 255] = px_ops::TruncFloat(d * 0.565f + 128);
            v[d + 255] = px_ops::TruncFloat(d * 0.713f + 128);
        }
        for (int y = 0; y < 256; y++)
            for (int c = 0; c < 256; c++) {
                r[y][c] = px_ops::TruncFloat(y + 1.403f * (c - 128));
                b[y][c] = px_ops::TruncFloat(y + 1.770f * (c - 128));
                ga[y][c] = y - 0.344f * (c - 128);
            }
    }

    // p: blue, green, red.
    void Remap(BYTE* p, const BYTE map[256]) const {
        const int R = p[2], G = p[1], B = p[0];
        const int Y = px_ops::TruncFloat(yr[R] + yg[G] + yb[B]);
        const int U = u[B - Y + 255], V = v[R - Y + 255], Y2 = map[Y];
        p[2] = r[Y2][V];
        p[1] = px_ops::TruncFloat(ga[Y2][U] - gv[V]);
        p[0] = b[Y2][U];
    }
};

}  // namespace

void PxImage::OpsRemapLuma(const BYTE map[256]) {
    if (IsIndexed()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD j = 0; j < head.biClrUsed; j++) SetPaletteColor(static_cast<BYTE>(j), RemapLuma(pal[j], map));
        return;
    }
    const LONG w = head.biWidth, h = head.biHeight;
    // The tables pay off from a few hundred thousand pixels up.
    std::unique_ptr<LumaTables> tables;
    if (int64_t{w} * h >= (int64_t{1} << 18)) tables.reset(new (std::nothrow) LumaTables);
    px_ops::ParallelItems(h, [&](int64_t y) {
        info.nProgress = static_cast<LONG>(50 + 50LL * y / h);
        if (info.nEscape) return false;
        BYTE* p = GetBits(static_cast<DWORD>(y));
        if (tables) {
            for (LONG x = 0; x < w; x++, p += 3) tables->Remap(p, map);
            return true;
        }
        for (LONG x = 0; x < w; x++, p += 3) {
            RGBQUAD c{p[0], p[1], p[2], 0};
            c = RemapLuma(c, map);
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
        }
        return true;
    });
}

namespace {

// Stretch table for one range. Values outside [lo, hi] only occur when an escape cut the scan
// short; they go to the ends so the table never holds garbage.
void StretchTable(int lo, int hi, BYTE table[256]) {
    for (int v = 0; v < 256; v++) {
        if (hi < lo)
            table[v] = static_cast<BYTE>(v);  // nothing scanned
        else if (v < lo)
            table[v] = 0;
        else if (v > hi)
            table[v] = 255;
        else if (hi > lo)
            table[v] = static_cast<BYTE>(255 * (v - lo) / (hi - lo));
        else
            table[v] = static_cast<BYTE>(lo);
    }
}

}  // namespace

bool PxImage::HistogramStretch(LONG method) {
    if (!pDib) return false;
    const LONG w = head.biWidth, h = head.biHeight;

    if (OpsIsGray8()) {
        int lo = 255, hi = 0;
        for (LONG y = 0; y < h; y++) {
            info.nProgress = static_cast<LONG>(y * 50LL / h);
            if (info.nEscape) break;
            const BYTE* row = GetBits(y);
            for (LONG x = 0; x < w; x++) {
                lo = std::min<int>(lo, row[x]);
                hi = std::max<int>(hi, row[x]);
            }
        }
        if (lo == 0 && hi == 255) return true;
        BYTE table[256];
        StretchTable(lo, hi, table);
        for (LONG y = 0; y < h; y++) {
            info.nProgress = static_cast<LONG>(50 + y * 50LL / h);
            if (info.nEscape) break;
            BYTE* row = GetBits(y);
            for (LONG x = 0; x < w; x++) row[x] = table[row[x]];
        }
        return true;
    }

    if (method == 1 || method == 2) {
        int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (LONG y = 0; y < h; y++) {
            if (info.nEscape) break;
            for (LONG x = 0; x < w; x++) {
                const RGBQUAD c = BlindGetPixelColor(x, y);
                const int v[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
                for (int ch = 0; ch < 3; ch++) {
                    lo[ch] = std::min(lo[ch], v[ch]);
                    hi[ch] = std::max(hi[ch], v[ch]);
                }
            }
        }
        if (method == 1) {
            // One range over all three channels.
            const int l = std::min({lo[0], lo[1], lo[2]}), u = std::max({hi[0], hi[1], hi[2]});
            for (int ch = 0; ch < 3; ch++) {
                lo[ch] = l;
                hi[ch] = u;
            }
        }
        if (lo[0] == 0 && lo[1] == 0 && lo[2] == 0 && hi[0] == 255 && hi[1] == 255 && hi[2] == 255) return true;
        BYTE table[3][256];
        for (int ch = 0; ch < 3; ch++) StretchTable(lo[ch], hi[ch], table[ch]);
        for (LONG y = 0; y < h; y++) {
            info.nProgress = static_cast<LONG>(y * 100LL / h);
            if (info.nEscape) break;
            for (LONG x = 0; x < w; x++) {
                RGBQUAD c = BlindGetPixelColor(x, y);
                c.rgbRed = table[0][c.rgbRed];
                c.rgbGreen = table[1][c.rgbGreen];
                c.rgbBlue = table[2][c.rgbBlue];
                SetPixelColor(x, y, c, false);
            }
        }
        return true;
    }

    // Luma stretch between the darkest and brightest grey value.
    int lower = 255, upper = 0;
    if (IsIndexed()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD j = 0; j < head.biClrUsed; j++) {
            lower = std::min<int>(lower, px_ops::Gray(pal[j]));
            upper = std::max<int>(upper, px_ops::Gray(pal[j]));
        }
    } else {
        for (LONG y = 0; y < h; y++) {
            info.nProgress = static_cast<LONG>(50LL * y / h);
            if (info.nEscape) break;
            const BYTE* p = GetBits(y);
            for (LONG x = 0; x < w; x++, p += 3) {
                const int g = (306 * p[2] + 601 * p[1] + 117 * p[0]) >> 10;
                lower = std::min(lower, g);
                upper = std::max(upper, g);
            }
        }
    }
    if (upper <= lower) return false;
    BYTE map[256];
    const double scale = 255.0 / (upper - lower);
    for (int v = 0; v < 256; v++) map[v] = px_ops::ClampToByte((v - lower) * scale);
    OpsRemapLuma(map);
    return true;
}

bool PxImage::HistogramEqualize() {
    if (!pDib) return false;
    int64_t hist[256];
    OpsGrayHistogram(hist);
    // One grey level alone has nothing to spread: equalizing would turn it white.
    int levels = 0;
    for (int v = 0; v < 256; v++) levels += hist[v] != 0;
    int64_t cum[256];
    int64_t run = 0;
    for (int v = 0; v < 256; v++) cum[v] = run += hist[v];
    const int64_t low = cum[0], high = cum[255];
    if (low == high || levels <= 1) return false;
    BYTE map[256];
    for (int v = 0; v < 256; v++)
        map[v] = px_ops::ClampToByte(static_cast<double>(cum[v] - low) * 255.0 / static_cast<double>(high - low));
    OpsRemapLuma(map);
    return true;
}

bool PxImage::HistogramNormalize() {
    if (!pDib) return false;
    int64_t hist[256];
    OpsGrayHistogram(hist);
    auto bounds = [&](int64_t t, int& low, int& high) {
        int64_t sum = 0;
        for (low = 0; low < 255; low++)
            if ((sum += hist[low]) > t) break;
        sum = 0;
        for (high = 255; high > 0; high--)
            if ((sum += hist[high]) > t) break;
    };
    int low, high;
    bounds(int64_t{head.biWidth} * head.biHeight / 100, low, high);
    if (low == high) bounds(0, low, high);
    if (low >= high) return false;
    BYTE map[256];
    for (int v = 0; v < 256; v++) {
        if (v < low)
            map[v] = 0;
        else if (v > high)
            map[v] = 255;
        else
            map[v] = static_cast<BYTE>(254 * (v - low) / (high - low));
    }
    OpsRemapLuma(map);
    return true;
}

namespace {

// The largest grey value of the image (at least 1): pixels of a true-colour image or entries
// of a palette.
int MaxGray(PxImage& img, const std::function<RGBQUAD(LONG, LONG)>& colourAt) {
    int high = 1;
    if (img.IsIndexed()) {
        RGBQUAD* pal = img.GetPalette();
        for (DWORD j = 0; j < img.GetNumColors(); j++) high = std::max<int>(high, px_ops::Gray(pal[j]));
        return high;
    }
    const LONG w = static_cast<LONG>(img.GetWidth()), h = static_cast<LONG>(img.GetHeight());
    for (LONG y = 0; y < h; y++) {
        img.SetProgress(static_cast<LONG>(50LL * y / h));
        if (img.GetEscape()) break;
        for (LONG x = 0; x < w; x++) high = std::max<int>(high, px_ops::Gray(colourAt(x, y)));
    }
    return high;
}

}  // namespace

bool PxImage::HistogramLog() {
    if (!pDib) return false;
    const int high = MaxGray(*this, [this](LONG x, LONG y) { return BlindGetPixelColor(x, y); });
    const double k = 255.0 / std::log(1.0 + high);
    BYTE map[256];
    // A luma above the grey maximum can pass 255; it stays at white.
    for (int v = 0; v < 256; v++) map[v] = px_ops::ClampToByte(k * std::log(1.0 + v));
    OpsRemapLuma(map);
    return true;
}

bool PxImage::HistogramRoot() {
    if (!pDib) return false;
    const int high = MaxGray(*this, [this](LONG x, LONG y) { return BlindGetPixelColor(x, y); });
    const double k = 128.0 / std::log(1.0 + high);
    BYTE map[256];
    for (int v = 0; v < 256; v++) map[v] = px_ops::ClampToByte(k * std::sqrt(static_cast<double>(v)));
    OpsRemapLuma(map);
    return true;
}
