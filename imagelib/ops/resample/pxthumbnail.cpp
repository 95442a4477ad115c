// Thumbnail: the picture scaled to fit a box, keeping its aspect ratio, centred on a canvas of
// the box's size. The start page and the dialog previews use it.
#include <algorithm>

#include "imagelib/pximage.h"

bool PxImage::Thumbnail(LONG newx, LONG newy, RGBQUAD canvascolor, PxImage* iDst) {
    if (newx <= 0 || newy <= 0) {
        SetLastError("Thumbnail : the size must be greater than zero");
        return false;
    }
    if (pDib == nullptr) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    if (w > newx || h > newy) {
        const float aspect = static_cast<float>(newx) / static_cast<float>(newy);
        const float scale = aspect * static_cast<float>(h) > static_cast<float>(w)
                                ? static_cast<float>(newy) / static_cast<float>(h)
                                : static_cast<float>(newx) / static_cast<float>(w);
        // A very thin picture keeps at least one pixel across, so the resample cannot fail on it.
        const LONG tw = std::clamp<LONG>(static_cast<LONG>(scale * static_cast<float>(w)), 1, newx);
        const LONG th = std::clamp<LONG>(static_cast<LONG>(scale * static_cast<float>(h)), 1, newy);
        if (!tmp.Resample(tw, th, 0)) {
            SetLastError(tmp.GetLastError());
            return false;
        }
    }
    PxImage* target = (iDst != nullptr) ? iDst : this;
    if (!tmp.Expand(newx, newy, canvascolor, target)) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    return true;
}
