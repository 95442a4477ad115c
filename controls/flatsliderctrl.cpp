#include "controls/flatsliderctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "ui/messages.h"
#include "controls/notifytarget.h"
#include "controls/syscolors.h"
#include "controls/timeedit.h"

CFlatSliderCtrl::CFlatSliderCtrl(QWidget* parent) : QWidget(parent), m_bkColor(RGB(236, 233, 216)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(120, 20);
}

void CFlatSliderCtrl::SetBkColor(COLORREF c) {
    m_bkColor = c;
    update();
}

void CFlatSliderCtrl::SetThumbColor(COLORREF c) {
    m_thumbColor = c;
    update();
}

void CFlatSliderCtrl::SetSelectedThumbColor(COLORREF c) {
    m_selThumbColor = c;
    update();
}

void CFlatSliderCtrl::SetPos(int pos) {
    pos = std::clamp(pos, GetRangeMin(), GetRangeMax());
    if (pos == m_pos) return;
    m_pos = pos;
    update();
}

QRect CFlatSliderCtrl::ChannelRect() const {
    const int cy = ThumbRect().center().y();
    return QRect(kMargin, cy - 1, std::max(kThumbWidth, width() - 2 * kMargin), 4);
}

QRect CFlatSliderCtrl::ThumbRect() const {
    const int travel = std::max(0, width() - 2 * kMargin - kThumbWidth);
    const int range = GetRangeMax() - GetRangeMin();
    const int x = static_cast<int>(std::lround(static_cast<double>(m_pos - GetRangeMin()) * travel / range));
    return QRect(kMargin + x, 2, kThumbWidth, std::max(8, height() - 8));
}

int CFlatSliderCtrl::PosAtOffset(int x) const {
    const int travel = Travel();
    if (travel <= 0) return GetRangeMin();
    const double range = GetRangeMax() - GetRangeMin();
    return std::clamp(GetRangeMin() + static_cast<int>(std::lround(x * range / travel)), GetRangeMin(), GetRangeMax());
}

void CFlatSliderCtrl::TimeAtOffset(int x, int* minutes, int* seconds, int* milliseconds) const {
    const double travel = Travel();
    const double third = travel / 3.0;
    const int maxMinutes = m_edit ? m_edit->GetMaxMinutes() : 10;
    int m = 0, s = 0, ms = 1;
    if (third <= 0 || x <= third) {
        ms = third > 0 ? static_cast<int>(std::max(0, x) / third * 999) : 0;
        if (ms == 0) ms = 1;
    } else if (x <= 2 * third) {
        const double t = (x - third) / third * 59000 + 999;
        ms = static_cast<int>(t) % 1000;
        s = static_cast<int>(t * 0.001);
    } else {
        const int span = maxMinutes * 60 - 60;
        if (span > 0) {
            const double t = (x - 2 * third) / third * span + 59;
            s = static_cast<int>(t) % 60;
            m = static_cast<int>(t / 60);
            ms = 0;
        } else {
            // Under 2 maximum minutes there are no whole minutes to spread over the last
            // segment: it runs from 59 s to the control's maximum instead.
            const double limit = m_edit ? m_edit->GetTimeLimit() : 59000.0;
            const double t = 59000 + (x - 2 * third) / third * std::max(0.0, limit - 59000);
            const long long total = static_cast<long long>(t);
            m = static_cast<int>(total / 60000);
            s = static_cast<int>(total / 1000 % 60);
            ms = static_cast<int>(total % 1000);
        }
    }
    // Never 0 and never past the control's maximum, whatever the maximum minutes are.
    const long long limit = m_edit ? m_edit->GetTimeLimit() : CTimeEdit::kMaskMaxTime;
    long long total = static_cast<long long>(m) * 60000 + s * 1000 + ms;
    total = std::clamp<long long>(total, 1, std::max<long long>(1, limit));
    *minutes = static_cast<int>(total / 60000);
    *seconds = static_cast<int>(total / 1000 % 60);
    *milliseconds = static_cast<int>(total % 1000);
}

void CFlatSliderCtrl::SyncToTime() {
    if (!m_edit) return;
    m_minutes = m_edit->GetMinutes();
    m_seconds = m_edit->GetSeconds();
    m_milliseconds = m_edit->GetMilliseconds();
    const double range = GetRangeMax() - GetRangeMin();
    const double travel = Travel();
    if (travel <= 0) {
        SetPos(GetRangeMin());
        return;
    }
    const double third = travel / 3.0;
    double pos;
    if (m_minutes == 0 && m_seconds == 0) {
        pos = range * (m_milliseconds * 0.001001001 * third) / travel;
    } else if (m_minutes == 0) {
        pos = range * ((m_seconds * 1000 + m_milliseconds - 1000) / 59000.0 + 1) * third / travel;
    } else {
        const int span = m_edit->GetMaxMinutes() * 60 - 60;
        if (span > 0) {
            pos = range * ((m_seconds + m_minutes * 60 - 60) / static_cast<double>(span) * third + 2 * third) / travel;
        } else {
            // The inverse of the short last segment of TimeAtOffset.
            const double extra = static_cast<double>(m_edit->GetTimeLimit()) - 59000;
            const double t = m_minutes * 60000.0 + m_seconds * 1000 + m_milliseconds;
            const double frac = extra > 0 ? std::clamp((t - 59000) / extra, 0.0, 1.0) : 1.0;
            pos = range * (2 * third + frac * third) / travel;
        }
    }
    SetPos(GetRangeMin() + static_cast<int>(std::clamp(pos, 0.0, range)));
}

void CFlatSliderCtrl::WriteTime() {
    if (!m_edit) return;
    int m = 0, s = 0, ms = 1;
    TimeAtOffset(ThumbOffset(), &m, &s, &ms);
    m_edit->WriteField(CTimeEdit::kMinutes, m, false);
    m_edit->WriteField(CTimeEdit::kSeconds, s, false);
    m_edit->WriteField(CTimeEdit::kMilliseconds, ms, false);
}

QImage CFlatSliderCtrl::Render() const {
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.fillRect(rect(), CSysColors::ToQColor(m_bkColor));
    // The channel in a sunken edge, 2 pixels taller than the channel itself.
    const QRect ch = ChannelRect().adjusted(0, -2, 0, 2);
    const QRect e = ch.adjusted(0, 0, -1, -1);
    p.setPen(CSysColors::Color(COLOR_BTNSHADOW));
    p.drawLine(e.topLeft(), e.topRight());
    p.drawLine(e.topLeft(), e.bottomLeft());
    p.setPen(CSysColors::Color(COLOR_BTNHIGHLIGHT));
    p.drawLine(e.bottomLeft(), e.bottomRight());
    p.drawLine(e.topRight(), e.bottomRight());
    const QRect in = e.adjusted(1, 1, -1, -1);
    p.setPen(CSysColors::Color(COLOR_3DDKSHADOW));
    p.drawLine(in.topLeft(), in.topRight());
    p.drawLine(in.topLeft(), in.bottomLeft());
    p.setPen(CSysColors::Color(COLOR_3DLIGHT));
    p.drawLine(in.bottomLeft(), in.bottomRight());
    p.drawLine(in.topRight(), in.bottomRight());
    // Tick marks at both ends of the range.
    p.setPen(Qt::black);
    const int tickTop = ThumbRect().bottom() + 2;
    for (int x : {kMargin + kThumbWidth / 2, kMargin + Travel() + kThumbWidth / 2}) p.drawLine(x, tickTop, x, tickTop + 2);
    // The thumb.
    const COLORREF fill = m_dragging ? (m_selThumbColor ? m_selThumbColor : CSysColors::GetSysColor(COLOR_BTNHIGHLIGHT))
                                     : (m_thumbColor ? m_thumbColor : CSysColors::GetSysColor(COLOR_BTNFACE));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::black);
    p.setBrush(CSysColors::ToQColor(fill));
    p.drawEllipse(ThumbRect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    return img;
}

void CFlatSliderCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

void CFlatSliderCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const int x = e->position().toPoint().x();
    const QRect thumb = ThumbRect();
    if (x >= thumb.left() && x <= thumb.right()) {
        m_grab = x - thumb.left();
    } else {
        // A press beside the thumb moves it a page towards the press.
        m_grab = kThumbWidth / 2;
        SetPos(m_pos + (x < thumb.left() ? -kPageSize : kPageSize));
        WriteTime();
    }
    update();
}

void CFlatSliderCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (!m_dragging) return;
    const int pos = PosAtOffset(e->position().toPoint().x() - m_grab - ChannelRect().left());
    if (pos == m_pos) return;
    SetPos(pos);
    WriteTime();
}

void CFlatSliderCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    update();
}

void CFlatSliderCtrl::keyPressEvent(QKeyEvent* e) {
    int pos = m_pos;
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: pos -= 1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: pos += 1; break;
    case Qt::Key_PageUp: pos -= kPageSize; break;
    case Qt::Key_PageDown: pos += kPageSize; break;
    case Qt::Key_Home: pos = GetRangeMin(); break;
    case Qt::Key_End: pos = GetRangeMax(); break;
    default: QWidget::keyPressEvent(e); return;
    }
    SetPos(pos);
    WriteTime();
    if (HWND h = NearestMessageTarget(this)) PostMessage(h, WM_TIMECHANGE, 0, 0);
}

void CFlatSliderCtrl::focusInEvent(QFocusEvent*) { update(); }
void CFlatSliderCtrl::focusOutEvent(QFocusEvent*) { update(); }
