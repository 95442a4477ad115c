// The mix dialog's thumbnail, without widgets: both images shrink by the scale that brings the
// destination to at most 200 pixels, the source is mixed into a copy of the destination's
// thumbnail at the scaled offset, and with alpha mixing the result is flattened over white.
#pragma once

#include <memory>

#include "imagelib/pximage.h"

class CMixPreview {
public:
    struct Request {
        PxImage::ImageOpType op = PxImage::OpAnd;
        LONG x = 0, y = 0;
        bool mixAlpha = false;
    };
    // Null when either image is missing or invalid or a thumbnail cannot be made.
    static std::unique_ptr<PxImage> Build(PxImage* dst, PxImage* src, const Request& request, float* scale = nullptr);
};
