#include "app/rulerbar.h"

#include <QPainter>

CRulerBar::CRulerBar(bool horizontal, QWidget* parent) : QWidget(parent), m_bHorz(horizontal) {
    m_bg = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (m_bHorz)
        setFixedHeight(22);
    else
        setFixedWidth(22);
}

QSize CRulerBar::sizeHint() const { return m_bHorz ? QSize(100, 22) : QSize(22, 100); }

void CRulerBar::SetBackgroundColor(const QColor& c) {
    m_bg = c;
    update();
}

int CRulerBar::Inset() const { return m_bHorz && m_pPartner && m_pPartner->isVisible() ? m_pPartner->width() : 0; }

void CRulerBar::Update(int code, const QPoint& scroll, const QPoint& mouse, const QRect& rc, float zoom) {
    m_scroll = scroll;
    m_rcImage = rc;
    m_fZoom = zoom > 0 ? zoom : 1.0f;
    const int mark = m_bHorz ? mouse.x() + 1 : mouse.y() + 1;
    if (code == 3) {
        // Only the two mark columns change.
        const int old = m_nMark;
        m_nMark = mark;
        if (m_bHorz) {
            update(QRect(old, 0, 1, height()));
            update(QRect(m_nMark, 0, 1, height()));
        } else {
            update(QRect(0, old, width(), 1));
            update(QRect(0, m_nMark, width(), 1));
        }
        return;
    }
    update();
}

QList<int> CRulerBar::TickPositions(int step) const {
    QList<int> out;
    // The view's image rectangle is logical; subtracting the scroll gives view pixels.
    const int start = (m_bHorz ? m_rcImage.left() - m_scroll.x() : m_rcImage.top() - m_scroll.y()) + 1;
    const int len = m_bHorz ? m_rcImage.width() : m_rcImage.height();
    const double d = step * m_fZoom;
    if (d <= 0) return out;
    for (double p = start; p <= start + len && out.size() < 100000; p += d) out << static_cast<int>(p);
    return out;
}

QList<int> CRulerBar::LabelValues() const {
    QList<int> out;
    const double d = 100 * m_fZoom;
    const int len = m_bHorz ? m_rcImage.width() : m_rcImage.height();
    for (double p = 0; p <= len && out.size() < 100000; p += d) out << static_cast<int>(std::lround(p / m_fZoom));
    return out;
}

void CRulerBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_bg);
    p.setPen(palette().color(QPalette::WindowText));
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    const int inset = 0;  // the ruler sits right over the view, beside its partner
    for (int step : {5, 100}) {
        const int l = step == 5 ? 3 : 10;
        for (int pos : TickPositions(step)) {
            if (m_bHorz)
                p.drawLine(pos + inset, height() - l, pos + inset, height());
            else
                p.drawLine(width() - l, pos, width(), pos);
        }
    }
    const QList<int> ticks = TickPositions(100);
    const QList<int> labels = LabelValues();
    for (int i = 0; i < ticks.size() && i < labels.size(); i++) {
        const QString t = QString::number(labels[i]);
        if (m_bHorz) {
            p.drawText(ticks[i] + 2, 11, t);
        } else {
            p.save();
            p.translate(10, ticks[i] + 2);
            p.rotate(90);
            p.drawText(0, 0, t);
            p.restore();
        }
    }
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(Qt::white);
    if (m_nMark >= 0) {
        if (m_bHorz)
            p.drawLine(m_nMark, 2, m_nMark, height());
        else
            p.drawLine(2, m_nMark, width() - 2, m_nMark);
    }
}
