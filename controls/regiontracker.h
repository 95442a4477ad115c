// The rectangle tracker of the screen-region overlay: while tracking it draws no frame of its
// own but repaints the owner's whole client area, whose paint shows the region (m_rect).
#pragma once

#include "controls/recttracker.h"

class CRegionTracker : public CRectTracker {
public:
    CRegionTracker() = default;
    CRegionTracker(const RECT& rect, UINT style) : CRectTracker(rect, style) {}

protected:
    void DrawTrackerRect(const RECT& rect, QWidget* owner, bool erase) override;
};
