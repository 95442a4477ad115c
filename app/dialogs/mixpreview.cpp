#include "app/dialogs/mixpreview.h"

#include <cmath>

#include "app/dialogs/previewpair.h"

namespace {

std::unique_ptr<PxImage> Shrunk(PxImage& image, float s) {
    auto out = std::make_unique<PxImage>();
    // A small source under a large destination would round to nothing: keep one pixel each way.
    if (!image.Resample(CPreviewPair::ScaledSide(image.GetWidth(), s), CPreviewPair::ScaledSide(image.GetHeight(), s), 1,
                        out.get()) ||
        !out->IsValid())
        return nullptr;
    return out;
}

}  // namespace

std::unique_ptr<PxImage> CMixPreview::Build(PxImage* dst, PxImage* src, const Request& request, float* scale) {
    if (!dst || !src || !dst->IsValid() || !src->IsValid()) return nullptr;
    const float s = CPreviewPair::Scale(dst->GetWidth(), dst->GetHeight());
    if (scale) *scale = s;
    std::unique_ptr<PxImage> dstThumb = Shrunk(*dst, s);
    std::unique_ptr<PxImage> srcThumb = Shrunk(*src, s);
    if (!dstThumb || !srcThumb) return nullptr;
    auto work = std::make_unique<PxImage>(*dstThumb, true, true, true);
    if (!work->IsValid()) return nullptr;
    work->Mix(*srcThumb, request.op, static_cast<LONG>(std::trunc(request.x * s)),
              static_cast<LONG>(std::trunc(request.y * s)), request.mixAlpha);
    if (request.mixAlpha) {
        RGBQUAD white{};
        white.rgbRed = white.rgbGreen = white.rgbBlue = 255;
        work->SetTransColor(white);
        work->AlphaStrip();
    }
    if (!work->IsValid()) return nullptr;
    return work;
}
