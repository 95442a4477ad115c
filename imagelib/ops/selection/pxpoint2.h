// A point with float coordinates, used by area sampling and free rotation.
#pragma once

#include <cmath>

class PxPoint2 {
public:
    PxPoint2() : x(0), y(0) {}
    PxPoint2(float const x_, float const y_) : x(x_), y(y_) {}
    PxPoint2(const PxPoint2& p) = default;
    PxPoint2& operator=(const PxPoint2& p) = default;

    float Distance(PxPoint2 const p) const {
        return static_cast<float>(std::sqrt((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y)));
    }

    float x, y;
};
