// A window region as the selection outline needs it: the union of the rectangles ORed into it.
// The Qt layer turns it into a QRegion; the library itself only ever adds to it.
#pragma once

#include <vector>

#include "platform/wintypes.h"

struct PxRegion {
    std::vector<RECT> rects;  // right and bottom exclusive, y counted from the image's bottom

    void CombineOr(const RECT& r) {
        if (r.right > r.left && r.bottom > r.top) rects.push_back(r);
    }
    bool Contains(LONG x, LONG y) const {
        for (const RECT& r : rects)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
        return false;
    }
};
