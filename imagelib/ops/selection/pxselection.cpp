// The selection mask: a byte plane beside the pixels (0 not selected, 255 selected) and its
// bounding box. Filters and colour operations consult it; the view builds it from the shapes the
// user draws and outlines it through a region.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/selection/pxregion.h"
#include "imagelib/pximage.h"

namespace {

LONG ClampTo(int64_t v, LONG limit) { return static_cast<LONG>(std::max<int64_t>(0, std::min<int64_t>(limit, v))); }

// Calls edge(a, b) for every edge of the polygon's sub-polygons: a point with x = -1 separates
// them and each closes from its last point back to its first. A lone point closes onto itself, an
// edge of no length that marks nothing, so it is left out.
template <typename EdgeFn>
void ForEachPolygonEdge(const POINT* points, LONG n, EdgeFn&& edge) {
    LONG first = 0;
    for (LONG i = 0; i <= n; i++) {
        if (i < n && points[i].x != -1) continue;
        if (i - first >= 2) {
            for (LONG k = first; k + 1 < i; k++) edge(points[k], points[k + 1]);
            edge(points[i - 1], points[first]);
        }
        first = i + 1;
    }
}

// The winding number of (px, py) about the polygon. Cross products in 128 bits: coordinates span
// the LONG range.
int64_t PolygonWinding(const POINT* points, LONG n, int64_t px, int64_t py) {
    int64_t wn = 0;
    ForEachPolygonEdge(points, n, [&](const POINT& a, const POINT& b) {
        const __int128 cross = static_cast<__int128>(static_cast<int64_t>(b.x) - a.x) * (py - a.y) -
                               static_cast<__int128>(px - a.x) * (static_cast<int64_t>(b.y) - a.y);
        if (a.y <= py) {
            if (b.y > py && cross > 0) wn++;
        } else if (b.y <= py && cross < 0) {
            wn--;
        }
    });
    return wn;
}

}  // namespace

void PxImage::SelectionResetBox() {
    info.rSelectionBox.left = head.biWidth;
    info.rSelectionBox.bottom = head.biHeight;
    info.rSelectionBox.right = 0;
    info.rSelectionBox.top = 0;
}

bool PxImage::SelectionCreate() {
    SelectionDelete();
    if (pDib == nullptr || head.biWidth <= 0 || head.biHeight <= 0) return false;
    pSelection = static_cast<BYTE*>(calloc(static_cast<size_t>(head.biWidth) * static_cast<size_t>(head.biHeight), 1));
    return pSelection != nullptr;
}

bool PxImage::SelectionDelete() {
    free(pSelection);
    pSelection = nullptr;
    SelectionResetBox();
    return true;
}

bool PxImage::SelectionClear() {
    if (pSelection == nullptr) return false;
    memset(pSelection, 0, static_cast<size_t>(head.biWidth) * static_cast<size_t>(head.biHeight));
    SelectionResetBox();
    return true;
}

bool PxImage::SelectionInvert() {
    if (pSelection == nullptr) return false;
    const size_t n = static_cast<size_t>(head.biWidth) * static_cast<size_t>(head.biHeight);
    for (size_t i = 0; i < n; i++) pSelection[i] = static_cast<BYTE>(255 - pSelection[i]);
    return true;
}

bool PxImage::SelectionIsInside(LONG x, LONG y) {
    if (x < 0 || y < 0 || x >= head.biWidth || y >= head.biHeight) return false;
    if (pSelection == nullptr) return true;
    return pSelection[static_cast<size_t>(y) * static_cast<size_t>(head.biWidth) + x] != 0;
}

bool PxImage::SelectionAddPixel(int x, int y) {
    if (pSelection == nullptr && !SelectionCreate()) return false;
    if (x < 0 || y < 0 || x >= head.biWidth || y >= head.biHeight) return false;
    pSelection[static_cast<size_t>(y) * static_cast<size_t>(head.biWidth) + x] = 255;
    return true;
}

bool PxImage::SelectionAddRect(RECT r) {
    if (pSelection == nullptr && !SelectionCreate()) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    const LONG x0 = std::min(r.left, r.right), x1 = std::max(r.left, r.right);
    const LONG y0 = std::min(r.top, r.bottom), y1 = std::max(r.top, r.bottom);

    RECT& box = info.rSelectionBox;
    if (box.top < y1) box.top = ClampTo(y1, h);
    if (box.left > x0) box.left = ClampTo(x0, w);
    if (box.right < x1) box.right = ClampTo(x1, w);
    if (box.bottom > y0) box.bottom = ClampTo(y0, h);

    const LONG xmin = ClampTo(x0, w), xmax = ClampTo(x1, w);
    const LONG ymin = ClampTo(y0, h), ymax = ClampTo(y1, h);
    for (LONG y = ymin; y < ymax; y++)
        memset(pSelection + static_cast<size_t>(y) * w + xmin, 255, static_cast<size_t>(xmax - xmin));
    return true;
}

bool PxImage::SelectionAddEllipse(RECT r) {
    if (pSelection == nullptr && !SelectionCreate()) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    // 64-bit: sums and differences of extreme coordinates must not overflow.
    const int64_t rx = std::llabs(static_cast<int64_t>(r.right) - r.left) / 2;
    const int64_t ry = std::llabs(static_cast<int64_t>(r.top) - r.bottom) / 2;
    if (rx == 0 || ry == 0) return false;
    const int64_t xc = (static_cast<int64_t>(r.left) + r.right) / 2;
    const int64_t yc = (static_cast<int64_t>(r.top) + r.bottom) / 2;

    RECT& box = info.rSelectionBox;
    box.left = std::min(box.left, ClampTo(xc - rx, w));
    box.right = std::max(box.right, ClampTo(xc + rx, w));
    box.bottom = std::min(box.bottom, ClampTo(yc - ry, h));
    box.top = std::max(box.top, ClampTo(yc + ry, h));

    const LONG xmin = ClampTo(xc - rx, w), xmax = ClampTo(xc + rx, w);
    // Every row range is clamped to the plane: a centre outside the image must not write beyond it.
    const LONG ylow = ClampTo(yc - ry, h), ymid = ClampTo(yc, h), yhigh = ClampTo(yc + ry, h);
    const double dxc = static_cast<double>(xc), dyc = static_cast<double>(yc);
    const double drx = static_cast<double>(rx), dry = static_cast<double>(ry);
    for (LONG y = ylow; y < ymid; y++) {
        BYTE* row = pSelection + static_cast<size_t>(y) * w;
        for (LONG x = xmin; x < xmax; x++) {
            const double t = (x - dxc) / drx;
            if (std::trunc(dyc - dry * std::sqrt(1 - t * t)) < y) row[x] = 255;
        }
    }
    for (LONG y = ymid; y < yhigh; y++) {
        BYTE* row = pSelection + static_cast<size_t>(y) * w;
        for (LONG x = xmin; x < xmax; x++) {
            const double t = (x - dxc) / drx;
            if (y < std::trunc(dyc + dry * std::sqrt(1 - t * t))) row[x] = 255;
        }
    }
    return true;
}

bool PxImage::SelectionAddPolygon(POINT* points, LONG npoints) {
    if (points == nullptr || npoints < 3) return false;
    if (pSelection == nullptr && !SelectionCreate()) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);

    // 0 untouched, 1 outline, 2 reached from outside.
    std::vector<BYTE> plane(area, 0);
    auto mark = [&](LONG x, LONG y) {
        if (x >= 0 && y >= 0 && x < w && y < h) plane[static_cast<size_t>(y) * w + x] = 1;
    };
    auto edge = [&](const POINT& a, const POINT& b) {
        const int64_t x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y;
        // Both directions: steep and flat edges both stay closed. Only the part of an edge that
        // crosses the image can mark anything, so the loops keep to it.
        if (x0 != x1) {
            const float slope = static_cast<float>(y1 - y0) / static_cast<float>(x1 - x0);
            const int64_t from = std::max<int64_t>(std::min(x0, x1), 0),
                          to = std::min<int64_t>(std::max(x0, x1), w - 1);
            for (int64_t x = from; x <= to; x++)
                mark(static_cast<LONG>(x),
                     pxgeo::TruncSat(slope * static_cast<float>(x - x0) + static_cast<float>(y0)));
        }
        if (y0 != y1) {
            const float slope = static_cast<float>(x1 - x0) / static_cast<float>(y1 - y0);
            const int64_t from = std::max<int64_t>(std::min(y0, y1), 0),
                          to = std::min<int64_t>(std::max(y0, y1), h - 1);
            for (int64_t y = from; y <= to; y++)
                mark(pxgeo::TruncSat(slope * static_cast<float>(y - y0) + static_cast<float>(x0)),
                     static_cast<LONG>(y));
        }
    };

    ForEachPolygonEdge(points, npoints, edge);
    int64_t minx = 0, maxx = -1, miny = 0, maxy = -1;
    bool any = false;
    for (LONG i = 0; i < npoints; i++) {
        const POINT& p = points[i];
        if (p.x == -1) continue;
        if (!any) {
            minx = maxx = p.x;
            miny = maxy = p.y;
            any = true;
        } else {
            minx = std::min<int64_t>(minx, p.x);
            maxx = std::max<int64_t>(maxx, p.x);
            miny = std::min<int64_t>(miny, p.y);
            maxy = std::max<int64_t>(maxy, p.y);
        }
    }
    if (!any) return true;

    // Work box: the polygon's bounds grown by one pixel, inside the image.
    const LONG bl = static_cast<LONG>(std::max<int64_t>(0, minx - 1));
    const LONG br = static_cast<LONG>(std::min<int64_t>(w - 1, maxx + 1));
    const LONG bb = static_cast<LONG>(std::max<int64_t>(0, miny - 1));
    const LONG bt = static_cast<LONG>(std::min<int64_t>(h - 1, maxy + 1));
    if (bl > br || bb > bt) return true;

    // Fill the outside from every free pixel of the work box's border, 4-connected, scan-line.
    std::vector<std::pair<LONG, LONG>> pending;
    auto at = [&](LONG x, LONG y) -> BYTE& { return plane[static_cast<size_t>(y) * w + x]; };
    auto fill = [&](LONG sx, LONG sy) {
        if (at(sx, sy) != 0) return;
        pending.emplace_back(sx, sy);
        while (!pending.empty()) {
            auto [x, y] = pending.back();
            pending.pop_back();
            if (at(x, y) != 0) continue;
            LONG xl = x, xr = x;
            while (xl > bl && at(xl - 1, y) == 0) xl--;
            while (xr < br && at(xr + 1, y) == 0) xr++;
            for (LONG xx = xl; xx <= xr; xx++) at(xx, y) = 2;
            for (LONG ny : {y - 1, y + 1}) {
                if (ny < bb || ny > bt) continue;
                for (LONG xx = xl; xx <= xr; xx++)
                    if (at(xx, ny) == 0 && (xx == xl || at(xx - 1, ny) != 0)) pending.emplace_back(xx, ny);
            }
        }
    };
    // Where the polygon reaches past the image, the work box is cut at the image's edge and its
    // border there runs through the polygon's inside: seeding the fill there would empty the
    // inside. So each run of free border pixels between outline pixels seeds the fill only when
    // it lies outside the polygon, judged at its middle, away from the rounding next to the
    // outline. A work box that is not cut lies wholly outside, as before.
    auto seedLine = [&](LONG x0, LONG y0, LONG dx, LONG dy, LONG count) {
        for (LONG k = 0; k < count;) {
            if (at(x0 + k * dx, y0 + k * dy) == 1) {
                k++;
                continue;
            }
            LONG end = k;
            while (end < count && at(x0 + end * dx, y0 + end * dy) != 1) end++;
            const LONG mid = k + (end - k) / 2;
            if (PolygonWinding(points, npoints, x0 + mid * dx, y0 + mid * dy) == 0)
                for (; k < end; k++) fill(x0 + k * dx, y0 + k * dy);
            k = end;
        }
    };
    seedLine(bl, bb, 1, 0, br - bl + 1);
    seedLine(br, bb, 0, 1, bt - bb + 1);
    seedLine(bl, bt, 1, 0, br - bl + 1);
    seedLine(bl, bb, 0, 1, bt - bb + 1);

    for (LONG y = bb; y <= bt; y++)
        for (LONG x = bl; x <= br; x++)
            if (at(x, y) != 2) pSelection[static_cast<size_t>(y) * w + x] = 255;

    RECT& box = info.rSelectionBox;
    if (box.top < bt + 1) box.top = bt + 1;
    if (box.left > bl) box.left = bl;
    if (box.right < br + 1) box.right = br + 1;
    if (box.bottom > bb) box.bottom = bb;
    return true;
}

bool PxImage::SelectionAddColor(RGBQUAD c) {
    if (pSelection == nullptr && !SelectionCreate()) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    LONG minx = w, maxx = -1, miny = h, maxy = -1;
    for (LONG y = 0; y < h; y++) {
        for (LONG x = 0; x < w; x++) {
            const RGBQUAD p = GetPixelColor(x, y);
            if (p.rgbRed == c.rgbRed && p.rgbGreen == c.rgbGreen && p.rgbBlue == c.rgbBlue) {
                pSelection[static_cast<size_t>(y) * w + x] = 255;
                minx = std::min(minx, x);
                maxx = std::max(maxx, x);
                miny = std::min(miny, y);
                maxy = std::max(maxy, y);
            }
        }
    }
    if (maxx >= 0) {
        // Right and top one past the last match, as every other shape keeps its box.
        RECT& box = info.rSelectionBox;
        box.left = std::min(box.left, minx);
        box.bottom = std::min(box.bottom, miny);
        box.right = std::max(box.right, maxx + 1);
        box.top = std::max(box.top, maxy + 1);
    }
    return true;
}

bool PxImage::SelectionCopy(PxImage& from) {
    if (from.pSelection == nullptr || from.head.biWidth != head.biWidth || from.head.biHeight != head.biHeight)
        return false;
    if (pSelection == nullptr) {
        pSelection = static_cast<BYTE*>(malloc(static_cast<size_t>(head.biWidth) * static_cast<size_t>(head.biHeight)));
        if (pSelection == nullptr) return false;
    }
    memcpy(pSelection, from.pSelection, static_cast<size_t>(head.biWidth) * static_cast<size_t>(head.biHeight));
    info.rSelectionBox = from.info.rSelectionBox;
    return true;
}

bool PxImage::SelectionSplit(PxImage* dest) {
    if (pSelection == nullptr || dest == nullptr) return false;
    PxImage tmp;
    if (tmp.Create(static_cast<DWORD>(head.biWidth), static_cast<DWORD>(head.biHeight), 8, 0) == nullptr) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.SetGrayPalette();
    const LONG w = head.biWidth;
    for (LONG y = 0; y < head.biHeight; y++) memcpy(tmp.GetBits(y), pSelection + static_cast<size_t>(y) * w, w);
    dest->Transfer(tmp);
    return true;
}

bool PxImage::SelectionToHRGN(HRGN& region) {
    if (pSelection == nullptr || region == nullptr) return false;
    const LONG w = head.biWidth;
    for (LONG y = 0; y < head.biHeight; y++) {
        const BYTE* row = pSelection + static_cast<size_t>(y) * w;
        LONG x = 0;
        while (x < w) {
            if (row[x] != 255) {
                x++;
                continue;
            }
            const LONG x0 = x;
            while (x < w && row[x] == 255) x++;
            region->CombineOr(RECT{x0, y, x, y + 1});
        }
    }
    return true;
}
