// Jitter and noise: pixels moved or changed by the library's 15-bit random generator.
#include <cstdint>
#include <cstring>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

using px_ops::FromBGR;

namespace {

// trunc((rand / 32767 - 0.5) * span) from the library's 15-bit generator, kept within the
// 32-bit range whatever span is.
int64_t RandomOffset(float span) {
    const float v = (static_cast<float>(px::rand15()) / 32767.0f - 0.5f) * span;
    if (!(v > -2147483648.0f)) return v != v ? 0 : -2147483648LL;
    if (v >= 2147483648.0f) return 2147483647LL;
    return static_cast<int64_t>(v);
}

}  // namespace

bool PxImage::Jitter(LONG radius) {
    if (!pDib) return false;
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    const LONG w = head.biWidth, h = head.biHeight;
    const float span = 2.0f * static_cast<float>(radius);
    const bool indexed = IsIndexed();
    // One generator, drawn in row order: kept on one thread so a seed gives one result.
    for (LONG y = ymin; y < ymax; y++) {
        info.nProgress = static_cast<LONG>(100LL * y / h);
        if (info.nEscape) break;
        for (LONG x = xmin; x < xmax; x++) {
            if (!OpsSelected(x, y)) continue;
            int64_t nx = x + RandomOffset(span);
            int64_t ny = y + RandomOffset(span);
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) {
                nx = x;
                ny = y;
            }
            if (indexed)
                tmp.SetPixelIndex(x, y, BlindGetPixelIndex(static_cast<LONG>(nx), static_cast<LONG>(ny)));
            else
                tmp.SetPixelColor(x, y, BlindGetPixelColor(static_cast<LONG>(nx), static_cast<LONG>(ny)), false);
            tmp.AlphaSet(x, y, AlphaGet(static_cast<LONG>(nx), static_cast<LONG>(ny)));
        }
    }
    Transfer(tmp);
    return true;
}

bool PxImage::Noise(LONG level) {
    if (!pDib) return false;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    const float span = static_cast<float>(level);
    for (LONG y = ymin; y < ymax; y++) {
        info.nProgress = static_cast<LONG>(100LL * y / ymax);
        for (LONG x = xmin; x < xmax; x++) {
            if (!OpsSelected(x, y)) continue;
            RGBQUAD c = BlindGetPixelColor(x, y);
            c.rgbRed = px_ops::ClampInt(c.rgbRed + RandomOffset(span));
            c.rgbGreen = px_ops::ClampInt(c.rgbGreen + RandomOffset(span));
            c.rgbBlue = px_ops::ClampInt(c.rgbBlue + RandomOffset(span));
            SetPixelColor(x, y, c, false);
        }
    }
    return true;
}
