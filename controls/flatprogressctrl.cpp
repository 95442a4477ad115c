#include "controls/flatprogressctrl.h"

#include <QPainter>

#include <algorithm>

#include "controls/offscreendc.h"
#include "controls/syscolors.h"

CFlatProgressCtrl::CFlatProgressCtrl(QWidget* parent)
    : QWidget(parent), m_bkColor(CSysColors::GetSysColor(COLOR_BTNFACE)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFlatProgressCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    m_pos = static_cast<UINT>(lower);
    update();
}

void CFlatProgressCtrl::GetRange(int* lower, int* upper) const {
    if (lower) *lower = m_lower;
    if (upper) *upper = m_upper;
}

void CFlatProgressCtrl::SetPos(UINT pos) {
    m_pos = pos;
    m_highMark = std::max(m_highMark, pos);
    update();
}

// The bar is measured from 0 (the lower bound is not subtracted), as the meters set it up.
void CFlatProgressCtrl::PaintInto(QPainter& p, const QRect& client) const {
    const int64_t w = client.width(), h = client.height();
    p.fillRect(client, CSysColors::ToQColor(m_bkColor));
    // Without a positive upper bound there is nothing to scale against: an empty meter.
    if (m_upper <= 0) return;
    const int bar = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(m_pos) * w / m_upper, w));
    const int mark = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(m_highMark) * w / m_upper, w));
    p.fillRect(QRect(client.left(), client.top(), bar, static_cast<int>(h)), QColor(0, 255, 0));
    p.fillRect(QRect(client.left() + mark, client.top(), 3, static_cast<int>(h)), QColor(255, 0, 0));
}

QImage CFlatProgressCtrl::Render() const {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter p(&image);
    PaintInto(p, QRect(QPoint(0, 0), size()));
    return image;
}

void CFlatProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter target(this);
    const QRect client = rect();
    COffscreenDC dc(&target, client, client.topLeft(), CSysColors::ToQColor(m_bkColor));
    PaintInto(*dc.Painter(), client);
}
