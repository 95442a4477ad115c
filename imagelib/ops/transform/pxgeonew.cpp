// The two steps every size- or depth-changing operation shares: an empty result that carries
// this image's settings, and handing the finished result to its destination.
#include "imagelib/pximage.h"

bool PxImage::GeoNewImage(PxImage& dst, DWORD width, DWORD height, DWORD bpp, bool zeroRows) {
    dst.CopyInfo(*this);
    if (dst.CreateBlock(width, height, bpp, info.dwType, zeroRows) == nullptr) {
        SetLastError(dst.GetLastError());
        return false;
    }
    // The copied nearest-colour cache belongs to this image's palette, not the new one.
    dst.info.last_c_isvalid = false;
    if (dst.IsIndexed() && IsIndexed()) dst.SetPalette(GetPalette(), GetNumColors());
    return true;
}

bool PxImage::GeoHandOver(PxImage& result, PxImage* iDst) {
    if (iDst != nullptr && iDst != this) return iDst->Transfer(result);
    return Transfer(result);
}
