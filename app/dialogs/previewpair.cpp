#include "app/dialogs/previewpair.h"

#include <algorithm>
#include <cmath>

float CPreviewPair::Scale(DWORD width, DWORD height, int maxSide) {
    const DWORD side = std::max(width, height);
    if (side == 0) return 1.0f;
    return std::min(1.0f, static_cast<float>(maxSide) / static_cast<float>(side));
}

LONG CPreviewPair::ScaledSide(DWORD side, float scale) {
    // A 1000 x 3 image shrinks to 200 x 0.6: keep at least one row so the thumbnail stays valid.
    const double v = std::trunc(static_cast<double>(side) * scale);
    return std::max<LONG>(1, static_cast<LONG>(v));
}

bool CPreviewPair::Open(PxImage& source) {
    Clear();
    if (!source.IsValid() || source.GetWidth() == 0 || source.GetHeight() == 0) return false;
    const float s = Scale(source.GetWidth(), source.GetHeight());
    auto thumb = std::make_unique<PxImage>();
    if (!source.Resample(ScaledSide(source.GetWidth(), s), ScaledSide(source.GetHeight(), s), 1, thumb.get()) ||
        !thumb->IsValid())
        return false;
    m_thumb = std::move(thumb);
    Recompute();
    return true;
}

void CPreviewPair::Recompute(const std::function<void(PxImage&)>& op) {
    m_after.reset();
    if (!m_thumb) return;
    auto after = std::make_unique<PxImage>(*m_thumb, true, true, true);
    if (!after->IsValid()) return;
    if (op) op(*after);
    if (after->IsValid()) m_after = std::move(after);
}

void CPreviewPair::Clear() {
    m_after.reset();
    m_thumb.reset();
}
