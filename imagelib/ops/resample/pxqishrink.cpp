// QIShrink: integer-only shrinking by averaging whole source pixels into output cells.
#include <cstdint>
#include <vector>

#include "imagelib/pximage.h"

bool PxImage::QIShrink(LONG newx, LONG newy, PxImage* iDst) {
    if (pDib == nullptr) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    // Below one pixel there is no cell to average into.
    if (newx < 1 || newy < 1 || newx > w || newy > h) {
        SetLastError("QIShrink : the new size must lie between one pixel and the current size");
        return false;
    }
    if (newx == w && newy == h) {
        if (iDst != nullptr && iDst != this) iDst->Copy(*this);
        return true;
    }

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(newx), static_cast<DWORD>(newy), head.biBitCount)) return false;
    const bool hasAlpha = pAlpha != nullptr;
    if (hasAlpha) {
        dst.AlphaCreate();
        if (!dst.AlphaIsValid()) {
            SetLastError("PxImage::Create can't allocate memory");
            return false;
        }
    }
    const bool rgb24 = head.biBitCount == 24;

    // Per output column: blue, green, red, alpha, count. 64 bits: a large reduction sums many pixels.
    std::vector<uint64_t> acc(static_cast<size_t>(newx) * 5, 0);
    LONG rowCounter = 0, outRow = 0;
    for (LONG y = 0; y < h; y++) {
        SetProgress(static_cast<LONG>(100LL * outRow / newy));
        if (GetEscape()) break;
        const BYTE* srow = rgb24 ? GetBits(static_cast<DWORD>(y)) : nullptr;
        LONG colCounter = 0, cx = 0;
        for (LONG x = 0; x < w; x++) {
            uint64_t* a = &acc[static_cast<size_t>(cx) * 5];
            if (rgb24) {
                a[0] += srow[3 * x];
                a[1] += srow[3 * x + 1];
                a[2] += srow[3 * x + 2];
            } else {
                const RGBQUAD c = GetPixelColor(x, y, false);
                a[0] += c.rgbBlue;
                a[1] += c.rgbGreen;
                a[2] += c.rgbRed;
            }
            if (hasAlpha) a[3] += pAlpha[static_cast<size_t>(y) * w + x];
            a[4]++;
            // Step to the next cell when the counter reaches the width, as rows do with the height:
            // every cell then gets whole pixels, and the last step ends the row exactly.
            colCounter += newx;
            if (colCounter >= w) {
                colCounter -= w;
                if (cx < newx - 1) cx++;
            }
        }
        rowCounter += newy;
        if (rowCounter >= h) {
            rowCounter -= h;
            if (outRow < newy) {
                BYTE* drow = dst.GetBits(static_cast<DWORD>(outRow));
                for (LONG x = 0; x < newx; x++) {
                    const uint64_t* a = &acc[static_cast<size_t>(x) * 5];
                    const uint64_t n = a[4] ? a[4] : 1;
                    const RGBQUAD c{static_cast<BYTE>(a[0] / n), static_cast<BYTE>(a[1] / n),
                                    static_cast<BYTE>(a[2] / n), static_cast<BYTE>(a[3] / n)};
                    if (rgb24) {
                        drow[3 * x] = c.rgbBlue;
                        drow[3 * x + 1] = c.rgbGreen;
                        drow[3 * x + 2] = c.rgbRed;
                        if (hasAlpha) dst.AlphaSet(x, outRow, c.rgbReserved);
                    } else {
                        // Indexed pixels take no alpha through SetPixelColor: the plane gets it here.
                        dst.SetPixelColor(x, outRow, c, true);
                        if (hasAlpha) dst.AlphaSet(x, outRow, c.rgbReserved);
                    }
                }
                outRow++;
            }
            std::fill(acc.begin(), acc.end(), 0);
        }
    }
    return GeoHandOver(dst, iDst);
}
