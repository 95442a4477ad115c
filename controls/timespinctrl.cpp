#include "controls/timespinctrl.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/syscolors.h"
#include "controls/timeedit.h"

CTimeSpinCtrl::CTimeSpinCtrl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(20, 20);
}

void CTimeSpinCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    if (m_pos < lower || m_pos > upper) m_pos = lower;
}

bool CTimeSpinCtrl::OnDeltaPos(int delta) {
    // The spin's own position moves whatever happens to the field.
    m_pos += delta;
    if (m_pos > m_upper) m_pos = m_lower;
    if (m_pos < m_lower) m_pos = m_upper;
    if (!m_edit || delta == 0) return false;
    const int field = m_edit->GetActiveField();
    const int m = m_edit->GetMinutes(), s = m_edit->GetSeconds(), ms = m_edit->GetMilliseconds();
    const int maxM = m_edit->GetMaxMinutes(), maxS = m_edit->GetMaxSeconds(), maxMs = m_edit->GetMaxMilliseconds();
    const long long n = static_cast<long long>(m_edit->GetField(field)) + static_cast<long long>(m_step) * delta;
    bool ok;
    if (delta < 0) {
        ok = n >= 0;
    } else if (field == CTimeEdit::kMinutes) {
        ok = n >= 0 && n <= maxM && (n < maxM || (s == 0 && ms == 0));
    } else if (field == CTimeEdit::kSeconds) {
        ok = n >= 0 && (n < maxS || (n == maxS && ms == 0)) && (m < maxM || m == 0);
    } else {
        ok = n >= 0 && n <= maxMs && (m < maxM || m == 0) && (s < maxS || s == 0);
    }
    if (!ok) return false;
    // 0 ms is no exposure time (the edit mode refuses it too), and the maximum holds here as well.
    const long long total = (field == CTimeEdit::kMinutes ? n : m) * 60000LL + (field == CTimeEdit::kSeconds ? n : s) * 1000LL +
                            (field == CTimeEdit::kMilliseconds ? n : ms);
    if (total < 1 || total > static_cast<long long>(m_edit->GetTimeLimit())) return false;
    return m_edit->WriteField(field, static_cast<int>(n), true);
}

QImage CTimeSpinCtrl::Render() const {
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    const int half = height() / 2;
    const QRect parts[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        const QRect r = parts[i];
        const bool down = m_pressed == (i == 0 ? 1 : -1);
        p.fillRect(r, CSysColors::Color(COLOR_BTNFACE));
        const QRect e = r.adjusted(0, 0, -1, -1);
        p.setPen(CSysColors::Color(down ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT));
        p.drawLine(e.topLeft(), e.topRight());
        p.drawLine(e.topLeft(), e.bottomLeft());
        p.setPen(CSysColors::Color(down ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW));
        p.drawLine(e.bottomLeft(), e.bottomRight());
        p.drawLine(e.topRight(), e.bottomRight());
        // The arrow: a small triangle pointing up or down.
        const QColor c = CSysColors::Color(isEnabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
        const int cx = r.center().x() + (down ? 1 : 0), cy = r.center().y() + (down ? 1 : 0);
        for (int k = 0; k < 3; ++k) {
            const int y = i == 0 ? cy - 1 + k : cy + 1 - k;
            p.setPen(c);
            p.drawLine(cx - k, y, cx + k, y);
        }
    }
    return img;
}

void CTimeSpinCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

void CTimeSpinCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    m_pressed = e->position().y() < height() / 2 ? 1 : -1;
    update();
    OnDeltaPos(m_pressed);
}

void CTimeSpinCtrl::mouseReleaseEvent(QMouseEvent*) {
    m_pressed = 0;
    update();
}
