// Thumbnail: the picture scaled to fit a box, keeping its aspect ratio, centred on a canvas of
// the box's size. The start page and the dialog previews use it.
#include <algorithm>
#include <cstdint>

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
        const bool byHeight = aspect * static_cast<float>(h) > static_cast<float>(w);
        // The scaled sizes in whole numbers: newx / width x width in floats comes out just below
        // newx for some widths, and the picture would miss the box's last column.
        const int64_t tw64 = byHeight ? int64_t{w} * newy / h : int64_t{newx};
        const int64_t th64 = byHeight ? int64_t{newy} : int64_t{h} * newx / w;
        // A very thin picture keeps at least one pixel across, so the resample cannot fail on it.
        const LONG tw = static_cast<LONG>(std::clamp<int64_t>(tw64, 1, newx));
        const LONG th = static_cast<LONG>(std::clamp<int64_t>(th64, 1, newy));
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
