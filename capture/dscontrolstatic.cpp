#include "capture/dscontrolstatic.h"

#include <QPainter>

#include <algorithm>

namespace {
constexpr int kMinAcross = 22;
}

CDSControlStatic::CDSControlStatic(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CDSControlStatic::SetCaption(const QString& caption) {
    m_caption = caption;
    updateGeometry();
    update();
}

void CDSControlStatic::SetVertical(bool vertical) {
    m_bVertical = vertical;
    updateGeometry();
    update();
}

QSize CDSControlStatic::sizeHint() const {
    const QFontMetrics fm(font());
    const int along = fm.horizontalAdvance(m_caption);
    const int across = std::max(fm.height(), kMinAcross);
    return m_bVertical ? QSize(across, along) : QSize(along, across);
}

void CDSControlStatic::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    if (m_bVertical) {
        // Read from top to bottom, as a vertical bar's captions are.
        p.translate(width(), 0);
        p.rotate(90);
        p.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, m_caption);
    } else {
        p.drawText(rect(), Qt::AlignCenter, m_caption);
    }
}
