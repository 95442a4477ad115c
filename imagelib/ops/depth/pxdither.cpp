// Dithering to black and white with ordered matrices or error diffusion. The levels are the
// gray image's indices; diffusion adds each error to pixels not yet visited (the row above the
// current one is the next one processed).
#include <algorithm>
#include <vector>

#include "imagelib/pximage.h"

namespace {

struct Spread {
    int dx, dy, weight;
};

struct DiffusionRule {
    int divisor;
    std::vector<Spread> spread;
};

const DiffusionRule& RuleOf(LONG method) {
    // Offsets (dx, dy) and weights; dy = 1 is the next row processed.
    static const DiffusionRule floyd{16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
    static const DiffusionRule burkes{32, {{1, 0, 8}, {2, 0, 4},
                                           {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}};
    static const DiffusionRule stucki{42, {{1, 0, 8}, {2, 0, 4},
                                           {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
                                           {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}};
    static const DiffusionRule jarvis{48, {{1, 0, 7}, {2, 0, 5},
                                           {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                                           {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}};
    static const DiffusionRule sierra{32, {{1, 0, 5}, {2, 0, 3},
                                           {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
                                           {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}};
    static const DiffusionRule twoRow{200, {{2, 0, 32},
                                            {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},
                                            {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
                                            {-3, 2, 5}, {-1, 2, 12}, {1, 2, 12}, {3, 2, 5}}};
    switch (method) {
        case 2:
            return burkes;
        case 3:
            return stucki;
        case 4:
            return jarvis;
        case 5:
            return sierra;
        case 6:
            return twoRow;
        default:
            return floyd;
    }
}

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
const int kThreshold[4][4] = {{0, 192, 48, 240}, {128, 64, 176, 112}, {32, 224, 16, 208}, {160, 96, 144, 80}};

}  // namespace

bool PxImage::Dither(LONG method) {
    if (pDib == nullptr) return false;
    if (head.biBitCount == 1) return true;
    if (!GrayScale()) return false;
    const LONG w = head.biWidth, h = head.biHeight;

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(w), static_cast<DWORD>(h), 1)) return false;
    dst.SetPaletteColor(0, 0, 0, 0);
    dst.SetPaletteColor(1, 255, 255, 255);

    std::vector<int> level(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (LONG y = 0; y < h; y++) {
        const BYTE* row = GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < w; x++) level[static_cast<size_t>(y) * w + x] = row[x];
    }

    const bool ordered = method == 1 || method == 7;
    const DiffusionRule& rule = RuleOf(method);
    for (LONG y = 0; y < h; y++) {
        SetProgress(static_cast<LONG>(100LL * y / h));
        if (GetEscape()) break;
        BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < w; x++) {
            const int v = level[static_cast<size_t>(y) * w + x];
            bool white;
            if (method == 1) {
                white = kBayer[y & 3][x & 3] < v * 16 / 255;
            } else if (method == 7) {
                white = kThreshold[y & 3][x & 3] < v;
            } else {
                white = v >= 129;
            }
            if (white)
                drow[x >> 3] = static_cast<BYTE>(drow[x >> 3] | (0x80 >> (x & 7)));
            else
                drow[x >> 3] = static_cast<BYTE>(drow[x >> 3] & ~(0x80 >> (x & 7)));
            if (ordered) continue;
            const int err = white ? v - 255 : v;
            for (const Spread& s : rule.spread) {
                const LONG nx = x + s.dx, ny = y + s.dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                int& l = level[static_cast<size_t>(ny) * w + nx];
                l = std::clamp(l + err * s.weight / rule.divisor, 0, 255);
            }
        }
    }
    dst.SelectionCopy(*this);
    dst.AlphaCopy(*this);
    return Transfer(dst);
}
