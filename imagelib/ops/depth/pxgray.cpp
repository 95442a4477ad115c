// Gray scale and negative. Luminance here is (601 G + 117 B + 306 R) >> 10, the library's one
// gray formula, so gray images, histograms and the pixel read-out agree.
#include <algorithm>
#include <cstring>

#include "imagelib/pximage.h"

namespace {

inline BYTE Luminance(BYTE r, BYTE g, BYTE b) { return static_cast<BYTE>((601 * g + 117 * b + 306 * r) >> 10); }

}  // namespace

bool PxImage::GrayScale() {
    if (pDib == nullptr) return false;
    const LONG w = head.biWidth, h = head.biHeight;

    if (head.biBitCount == 24) {
        PxImage dst;
        if (!GeoNewImage(dst, static_cast<DWORD>(w), static_cast<DWORD>(h), 8)) return false;
        dst.SetGrayPalette();
        for (LONG y = 0; y < h; y++) {
            SetProgress(static_cast<LONG>(100LL * y / h));
            const BYTE* s = GetBits(static_cast<DWORD>(y));
            BYTE* d = dst.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; x++, s += 3) d[x] = Luminance(s[2], s[1], s[0]);
        }
        // The transparent colour's pixels now hold its luminance: that level is the index.
        if (info.nBkgndIndex >= 0) {
            const RGBQUAD& t = info.nBkgndColor;
            dst.info.nBkgndIndex = Luminance(t.rgbRed, t.rgbGreen, t.rgbBlue);
        }
        dst.SelectionCopy(*this);
        dst.AlphaCopy(*this);
        return Transfer(dst);
    }

    // Indexed: the blue byte of each entry carries its luminance while pixels are remapped.
    RGBQUAD* pal = GetPalette();
    const DWORD n = GetNumColors();
    if (pal == nullptr || n == 0) return false;
    // An 8-bit image with a short palette (a quantised JPEG) has no room for a 256-level ramp in
    // place: it is rebuilt like the smaller depths. The result is made before the palette is
    // touched, so a failure leaves the image as it was.
    const bool inPlace = head.biBitCount == 8 && n == 256;
    PxImage dst;
    if (!inPlace && !GeoNewImage(dst, static_cast<DWORD>(w), static_cast<DWORD>(h), 8)) return false;
    for (DWORD i = 0; i < n; i++) pal[i].rgbBlue = Luminance(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue);
    info.last_c_isvalid = false;
    if (info.nBkgndIndex != -1 && info.nBkgndIndex >= 0 && static_cast<DWORD>(info.nBkgndIndex) < n)
        info.nBkgndIndex = pal[info.nBkgndIndex].rgbBlue;
    else if (info.nBkgndIndex >= 0)
        info.nBkgndIndex = -1;  // past the palette it marked no pixel; as a level it would mark some

    if (inPlace) {
        for (LONG y = 0; y < h; y++) {
            SetProgress(static_cast<LONG>(100LL * y / h));
            BYTE* row = GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; x++) row[x] = pal[row[x] < n ? row[x] : 0].rgbBlue;
        }
        SetGrayPalette();
        return true;
    }

    dst.info.nBkgndIndex = info.nBkgndIndex;
    dst.SetGrayPalette();
    for (LONG y = 0; y < h; y++) {
        SetProgress(static_cast<LONG>(100LL * y / h));
        BYTE* d = dst.GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < w; x++) {
            const BYTE idx = BlindGetPixelIndex(x, y);
            d[x] = pal[idx < n ? idx : 0].rgbBlue;
        }
    }
    dst.SelectionCopy(*this);
    dst.AlphaCopy(*this);
    return Transfer(dst);
}

bool PxImage::Negative() {
    if (pDib == nullptr) return false;
    const LONG w = head.biWidth, h = head.biHeight;

    if (head.biBitCount == 24) {
        if (pSelection != nullptr) {
            const RECT& box = info.rSelectionBox;
            const LONG xmin = std::max<LONG>(0, box.left), xmax = std::min<LONG>(w, box.right);
            const LONG ymin = std::max<LONG>(0, box.bottom), ymax = std::min<LONG>(h, box.top);
            for (LONG y = ymin; y < ymax; y++) {
                BYTE* row = GetBits(static_cast<DWORD>(y));
                for (LONG x = xmin; x < xmax; x++) {
                    if (pSelection[static_cast<size_t>(y) * w + x] == 0) continue;
                    BYTE* p = row + 3 * static_cast<size_t>(x);
                    p[0] = static_cast<BYTE>(255 - p[0]);
                    p[1] = static_cast<BYTE>(255 - p[1]);
                    p[2] = static_cast<BYTE>(255 - p[2]);
                }
            }
        } else {
            const size_t n = static_cast<size_t>(info.dwEffWidth) * static_cast<size_t>(h);
            for (size_t i = 0; i < n; i++) pBits[i] = static_cast<BYTE>(~pBits[i]);
        }
        info.nBkgndColor.rgbRed = static_cast<BYTE>(255 - info.nBkgndColor.rgbRed);
        info.nBkgndColor.rgbGreen = static_cast<BYTE>(255 - info.nBkgndColor.rgbGreen);
        info.nBkgndColor.rgbBlue = static_cast<BYTE>(255 - info.nBkgndColor.rgbBlue);
        return true;
    }

    if (!IsGrayScale()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD i = 0; pal != nullptr && i < GetNumColors(); i++) {
            pal[i].rgbRed = static_cast<BYTE>(255 - pal[i].rgbRed);
            pal[i].rgbGreen = static_cast<BYTE>(255 - pal[i].rgbGreen);
            pal[i].rgbBlue = static_cast<BYTE>(255 - pal[i].rgbBlue);
        }
        info.last_c_isvalid = false;
        return true;
    }

    const BYTE mask = static_cast<BYTE>((1u << head.biBitCount) - 1);
    for (LONG y = 0; y < h; y++) {
        for (LONG x = 0; x < w; x++) {
            if (pSelection != nullptr && pSelection[static_cast<size_t>(y) * w + x] == 0) continue;
            SetPixelIndex(x, y, static_cast<BYTE>(~BlindGetPixelIndex(x, y) & mask));
        }
    }
    // The transparent level is complemented with the pixels, as the transparent colour of a
    // 24-bit image is inverted with them.
    if (info.nBkgndIndex >= 0 && info.nBkgndIndex <= mask) info.nBkgndIndex = ~info.nBkgndIndex & mask;
    return true;
}
