#include "controls/offscreendc.h"

COffscreenDC::COffscreenDC(QPainter* target, const QRect& rect, const QPoint& origin, const QColor& background)
    : m_target(target), m_rect(rect), m_image(rect.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32) {
    m_image.fill(background);
    m_surface = PxSurfaceOver(m_image.bits(), m_image.width(), m_image.height(), static_cast<int32_t>(m_image.bytesPerLine()));
    m_surface.origin = POINT{origin.x(), origin.y()};
}

QPainter* COffscreenDC::Painter() {
    if (!m_painter) {
        m_painter = new QPainter(&m_image);
        m_painter->translate(-m_surface.origin.x, -m_surface.origin.y);
    }
    return m_painter;
}

COffscreenDC::~COffscreenDC() {
    if (m_painter) {
        m_painter->end();
        delete m_painter;
    }
    if (m_target) m_target->drawImage(m_rect.topLeft(), m_image);
}
