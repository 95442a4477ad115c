// The "Before" and "After" thumbnails of a point-operation dialog, without widgets: the source is
// shrunk to at most 200 pixels on its longer side (never below one pixel each way), and the after
// image is the thumbnail passed through the dialog's operation.
#pragma once

#include <functional>
#include <memory>

#include "imagelib/pximage.h"

class CPreviewPair {
public:
    static constexpr int kMaxSide = 200;

    // Builds the thumbnail from the source; false (no thumbnail) when the source is not valid or
    // cannot be shrunk.
    bool Open(PxImage& source);
    // Replaces the after image by a copy of the thumbnail passed through `op` (none: a plain copy).
    void Recompute(const std::function<void(PxImage&)>& op = nullptr);
    // OK and Cancel let the after image go before the dialog closes.
    void DropAfter() { m_after.reset(); }
    void Clear();

    // Null before a successful Open.
    PxImage* Thumbnail() const { return m_thumb.get(); }
    PxImage* After() const { return m_after.get(); }

    // The size a side of `width` x `height` takes in a thumbnail of at most `maxSide` pixels.
    static LONG ScaledSide(DWORD side, float scale);
    static float Scale(DWORD width, DWORD height, int maxSide = kMaxSide);

private:
    std::unique_ptr<PxImage> m_thumb;
    std::unique_ptr<PxImage> m_after;
};
