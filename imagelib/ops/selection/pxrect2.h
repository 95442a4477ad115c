// A rectangle with float corners: bottom-left (smaller x and y) and top-right.
#pragma once

#include "imagelib/ops/selection/pxpoint2.h"

class PxRect2 {
public:
    PxRect2() = default;
    PxRect2(float const x1, float const y1, float const x2, float const y2) : botLeft(x1, y1), topRight(x2, y2) {}
    PxRect2(const PxRect2& r) = default;
    PxRect2& operator=(const PxRect2& r) = default;

    float Width() const { return topRight.x - botLeft.x; }
    float Height() const { return topRight.y - botLeft.y; }
    float Surface() const { return Width() * Height(); }
    PxPoint2 Center() const { return PxPoint2((topRight.x + botLeft.x) / 2.0f, (topRight.y + botLeft.y) / 2.0f); }

    // The overlap of two rectangles. Touching ones give a zero-width (or zero-height) overlap,
    // disjoint ones the all-zero rectangle.
    PxRect2 CrossSection(PxRect2 const& r) const {
        PxRect2 cs;
        cs.botLeft.x = botLeft.x > r.botLeft.x ? botLeft.x : r.botLeft.x;
        cs.botLeft.y = botLeft.y > r.botLeft.y ? botLeft.y : r.botLeft.y;
        cs.topRight.x = topRight.x < r.topRight.x ? topRight.x : r.topRight.x;
        cs.topRight.y = topRight.y < r.topRight.y ? topRight.y : r.topRight.y;
        if (cs.botLeft.x <= cs.topRight.x && cs.botLeft.y <= cs.topRight.y) return cs;
        return PxRect2();
    }

    PxPoint2 botLeft;
    PxPoint2 topRight;
};
