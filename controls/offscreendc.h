// Flicker-free painting: an off-screen BGRA buffer of the target's clip box, copied back to the
// target when destroyed. On a printer it works straight on the target.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include "platform/surface.h"

class COffscreenDC {
public:
    // target: the painter to copy to; rect: the area (target coordinates); origin: the logical
    // point at the area's top-left (scroll position included); background fills it first.
    COffscreenDC(QPainter* target, const QRect& rect, const QPoint& origin, const QColor& background);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    PxSurface* Surface() { return &m_surface; }
    QImage& Image() { return m_image; }
    // A painter over the buffer in logical coordinates.
    QPainter* Painter();

private:
    QPainter* m_target;
    QRect m_rect;
    QImage m_image;
    PxSurface m_surface;
    QPainter* m_painter = nullptr;
};
