#include "app/rulerbar.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kLabelPixels = 10;  // label font height
constexpr int kLabelGap = 8;      // room between two labels
constexpr int kMinorPixels = 3;   // closest short ticks

// The steps 1, 2, 5, 10, 20, 50, ... up to a bound.
QList<int> Steps() {
    QList<int> out;
    for (int decade = 1; decade <= 100000000; decade *= 10)
        for (int m : {1, 2, 5}) out << m * decade;
    return out;
}

QFont RulerFont(const QFont& base) {
    QFont f = base;
    f.setPixelSize(kLabelPixels);
    return f;
}
}  // namespace

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

int CRulerBar::LabelStep() const {
    const int extent = m_bHorz ? m_rcImage.width() : m_rcImage.height();
    const int visible = m_bHorz ? width() : height();
    const QFontMetrics fm(RulerFont(font()));
    // The widest label is the largest value the image reaches.
    const double need = fm.horizontalAdvance(QString::number(std::max(extent / m_fZoom, 100.0f), 'f', 0)) + kLabelGap;
    auto fits = [&](int step) { return step * m_fZoom >= need; };
    auto twoShow = [&](int step) { return step * m_fZoom * 2 <= visible; };
    if (fits(100) && twoShow(100)) return 100;
    const QList<int> steps = Steps();
    if (!fits(100)) {
        for (int step : steps)
            if (step > 100 && fits(step)) return step;
        return steps.last();
    }
    // Too sparse: the largest finer step that shows two labels, as long as they do not overlap.
    int best = 100;
    for (int step : steps) {
        if (step >= 100) break;
        if (fits(step)) {
            best = step;
            if (twoShow(step)) return step;
        }
    }
    for (int step : steps)
        if (step < 100 && fits(step)) return step;  // the finest that fits
    return best;
}

int CRulerBar::MinorStep() const {
    const int step = LabelStep();
    for (int parts : {20, 10, 5, 4, 2}) {
        if (step % parts) continue;
        if (step / parts * m_fZoom >= kMinorPixels) return step / parts;
    }
    return 0;
}

QList<int> CRulerBar::LabelValues() const {
    QList<int> out;
    const int step = LabelStep();
    const double d = step * m_fZoom;
    const int len = m_bHorz ? m_rcImage.width() : m_rcImage.height();
    for (double p = 0; p <= len && out.size() < 100000; p += d) out << static_cast<int>(std::lround(p / m_fZoom));
    return out;
}

void CRulerBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_bg);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(RulerFont(font()));
    const int inset = 0;  // the ruler sits right over the view, beside its partner
    const int labelStep = LabelStep();
    for (int step : {MinorStep(), labelStep}) {
        if (step <= 0) continue;
        const int l = step == labelStep ? 10 : 3;
        for (int pos : TickPositions(step)) {
            if (m_bHorz)
                p.drawLine(pos + inset, height() - l, pos + inset, height());
            else
                p.drawLine(width() - l, pos, width(), pos);
        }
    }
    const QList<int> ticks = TickPositions(labelStep);
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
