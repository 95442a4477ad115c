// The colour of a pixel whose bytes hold a colour space's components (first in red, second in
// green, third in blue), back in RGB: 1 HSL, 2 YUV, 3 YIQ, 4 XYZ, any other number RGB already.
#pragma once

#include "imagelib/pximage.h"

namespace px_ops {

inline RGBQUAD SpaceToRGB(LONG space, RGBQUAD c) {
    switch (space) {
        case 1: return PxImage::HSLtoRGB(c);
        case 2: return PxImage::YUVtoRGB(c);
        case 3: return PxImage::YIQtoRGB(c);
        case 4: return PxImage::XYZtoRGB(c);
        default: return c;
    }
}

}  // namespace px_ops
