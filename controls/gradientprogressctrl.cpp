#include "controls/gradientprogressctrl.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

#include "controls/syscolors.h"

CGradientProgressCtrl::CGradientProgressCtrl(QWidget* parent) : QWidget(parent), m_painter(&m_style) {
    // The painter covers every pixel of the client area, so nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGradientProgressCtrl::ModifyStyle(DWORD remove, DWORD add) {
    m_painter.ModifyStyle(remove, add);
    update();
}

void CGradientProgressCtrl::SetBorder(bool on) {
    m_border = on;
    update();
}

void CGradientProgressCtrl::SetStaticEdge(bool on) {
    m_staticEdge = on;
    update();
}

DWORD CGradientProgressCtrl::SetRange(DWORD lowHigh) {
    return SetRange32(LOWORD(lowHigh), HIWORD(lowHigh));
}

DWORD CGradientProgressCtrl::SetRange32(int a, int b) {
    const DWORD old = (static_cast<DWORD>(m_painter.GetLower()) & 0xFFFF) | (static_cast<DWORD>(m_painter.GetUpper()) << 16);
    const int oldPos = m_painter.GetPos();
    m_painter.SetRange(a, b);
    if (m_painter.GetPos() != oldPos) PositionChanged();
    update();
    return old;
}

int CGradientProgressCtrl::GetRange(bool wantLow, PBRANGE* range) const {
    if (range) {
        range->iLow = m_painter.GetLower();
        range->iHigh = m_painter.GetUpper();
    }
    return wantLow ? m_painter.GetLower() : m_painter.GetUpper();
}

int CGradientProgressCtrl::SetPos(int pos) {
    const int old = m_painter.GetPos();
    m_painter.SetPos(pos);
    PositionChanged();
    update();
    return old;
}

int CGradientProgressCtrl::DeltaPos(int delta) {
    const int old = m_painter.GetPos();
    m_painter.OffsetPos(delta);
    PositionChanged();
    update();
    return old;
}

int CGradientProgressCtrl::SetStep(int step) {
    const int old = m_painter.SetStep(step);
    update();
    return old;
}

int CGradientProgressCtrl::StepIt() {
    const int old = m_painter.GetPos();
    m_painter.StepIt();
    PositionChanged();
    update();
    return old;
}

COLORREF CGradientProgressCtrl::SetBarColor(COLORREF start, COLORREF end) {
    m_painter.SetColors({start, end ? end : start});
    update();
    return CLR_DEFAULT;
}

COLORREF CGradientProgressCtrl::SetBkColor(COLORREF colour) {
    m_painter.SetBkColor(colour);
    update();
    return CLR_DEFAULT;
}

bool CGradientProgressCtrl::SetWindowText(const QString& format) {
    // Only the stored text changes; the text mode stays as the style has it.
    m_painter.SetTextFormat(format, m_style & PBS_TEXT_MASK);
    update();
    return true;
}

int CGradientProgressCtrl::GetWindowText(char* buffer, int maxBytes) const {
    const QByteArray text = GetText().toUtf8();
    const int n = std::min(maxBytes, static_cast<int>(text.size()));
    if (buffer && maxBytes > 0) {
        // Room for the terminator comes out of maxBytes, as the edit of a window text does.
        const int copy = std::min(n, maxBytes - 1);
        std::memcpy(buffer, text.constData(), static_cast<size_t>(copy));
        buffer[copy] = '\0';
    }
    return n;
}

int CGradientProgressCtrl::GetWindowTextLength() const { return static_cast<int>(GetText().toUtf8().size()); }

void CGradientProgressCtrl::SetFont(const QFont& font, bool redraw) {
    m_painter.SetFont(font);
    if (redraw) repaint();
}

bool CGradientProgressCtrl::OnTimer(int id) {
    if (id == 11) {
        StepIt();
        return true;
    }
    if (id == 12) {
        const int period = static_cast<int>(static_cast<double>(m_painter.GetUpper() - m_painter.GetLower()) *
                                            m_painter.GetGradientScale());
        // An empty range leaves the gradient where it is rather than taking a modulo of zero.
        if (period > 0) m_painter.SetGradientOffset((m_painter.GetGradientOffset() + m_animationStep) % period);
        update();
        return true;
    }
    return false;
}

void CGradientProgressCtrl::SetTooltipFormat(const QString& format, DWORD mode) {
    m_tooltipFormat = format;
    m_tooltipMode = mode & PBS_TEXT_MASK;
    setToolTip(GetTooltipText());
}

QString CGradientProgressCtrl::GetTooltipText() const {
    if (m_tooltipFormat.isEmpty() || !m_tooltipMode) return {};
    const int lower = m_painter.GetLower(), upper = m_painter.GetUpper(), pos = m_painter.GetPos();
    int value = 0;
    if (m_tooltipMode == PBS_TEXT_PERCENT) {
        value = upper > lower ? static_cast<int>((static_cast<double>(pos) - lower) * 100.0 / (upper - lower)) : 0;
    } else if (m_tooltipMode == PBS_TEXT_POSITION) {
        value = pos;
    }
    return CProgressPainter::FormatText(m_tooltipFormat, value);
}

void CGradientProgressCtrl::PositionChanged() {
    if (!m_tooltipFormat.isEmpty() && m_tooltipMode) setToolTip(GetTooltipText());
}

void CGradientProgressCtrl::PaintAll(QPainter& p) {
    const QRect all = rect();
    const int frame = FrameWidth();
    if (m_border) {
        p.setPen(CSysColors::Color(COLOR_WINDOWFRAME));
        p.drawRect(all.adjusted(0, 0, -1, -1));
    }
    if (m_staticEdge) {
        const QRect e = all.adjusted(m_border ? 1 : 0, m_border ? 1 : 0, m_border ? -1 : 0, m_border ? -1 : 0);
        p.setPen(CSysColors::Color(COLOR_BTNSHADOW));
        p.drawLine(e.topLeft(), e.topRight());
        p.drawLine(e.topLeft(), e.bottomLeft());
        p.setPen(CSysColors::Color(COLOR_BTNHIGHLIGHT));
        p.drawLine(e.bottomLeft(), e.bottomRight());
        p.drawLine(e.topRight(), e.bottomRight());
    }
    p.setFont(font());
    m_painter.Draw(&p, all.adjusted(frame, frame, -frame, -frame));
}

QImage CGradientProgressCtrl::Render() {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PaintAll(p);
    return image;
}

void CGradientProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintAll(p);
}
