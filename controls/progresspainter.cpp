#include "controls/progresspainter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include "controls/syscolors.h"

namespace {

// A run [from, to) of the bar in widget coordinates; the orientation says where the bar starts.
QRect SpanRect(const QRect& r, int from, int to, int orientation) {
    const int len = to - from;
    switch (orientation) {
        case 1: return QRect(r.left() + r.width() - to, r.top(), len, r.height());
        case 2: return QRect(r.left(), r.top() + from, r.width(), len);
        case 3: return QRect(r.left(), r.top() + r.height() - to, r.width(), len);
        default: return QRect(r.left() + from, r.top(), len, r.height());
    }
}

void ClipTo(QPainter& p, const QRect& r) { p.setClipRect(r, p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip); }

int ClampInt(int64_t v, int lo, int hi) { return static_cast<int>(std::clamp<int64_t>(v, lo, hi)); }

}  // namespace

CProgressPainter::CProgressPainter(DWORD* styleWord)
    : m_styleWord(styleWord),
      m_bkColor(CSysColors::GetSysColor(COLOR_BTNFACE)),
      m_barTextColor(CSysColors::GetSysColor(COLOR_CAPTIONTEXT)),
      m_bkTextColor(CSysColors::GetSysColor(COLOR_BTNTEXT)) {
    const COLORREF first = CSysColors::GetSysColor(COLOR_ACTIVECAPTION);
    SetColors({first, CSysColors::GradientCaptions() ? CSysColors::GetSysColor(COLOR_GRADIENTACTIVECAPTION) : first});
}

DWORD CProgressPainter::GetStyle() const { return m_styleWord ? *m_styleWord : m_ownStyle; }

void CProgressPainter::ModifyStyle(DWORD remove, DWORD add) {
    DWORD& word = m_styleWord ? *m_styleWord : m_ownStyle;
    word = (word & ~remove) | add;
}

void CProgressPainter::SetColors(const std::vector<COLORREF>& colors) {
    if (colors.empty()) return;
    m_colors = colors;
    m_shares.assign(colors.size() - 1, colors.size() > 1 ? 100.0 / static_cast<double>(colors.size() - 1) : 0.0);
}

void CProgressPainter::SetRange(int a, int b) {
    m_lower = std::min(a, b);
    m_upper = std::max(a, b);
    m_blockTail = std::clamp(m_blockTail, m_lower, m_upper);
    StorePos(std::clamp(m_pos, m_lower, m_upper));
}

void CProgressPainter::GetRange(int* lower, int* upper) const {
    if (lower) *lower = m_lower;
    if (upper) *upper = m_upper;
}

void CProgressPainter::StorePos(int pos) {
    if (pos == m_pos) return;
    if (!OnPosChanging(m_pos, pos)) return;
    m_pos = pos;
    OnPosChanged(pos);
}

void CProgressPainter::SetPos(int pos) {
    if (GetStyle() & PBS_BLOCK) {
        SetBlockPos(pos, false, 0);
        return;
    }
    StorePos(std::clamp(pos, m_lower, m_upper));
}

void CProgressPainter::OffsetPos(int delta) {
    if (GetStyle() & PBS_BLOCK) {
        SetBlockPos(0, true, delta);
        return;
    }
    StorePos(ClampInt(static_cast<int64_t>(m_pos) + delta, m_lower, m_upper));
}

int CProgressPainter::SetStep(int step) {
    const int old = m_step;
    m_step = step;
    return old;
}

// The block runs from the tail to the position; past the end it turns round (the reverse bit
// mirrors the bar) and starts again from the lower end.
void CProgressPainter::SetBlockPos(int target, bool offset, int delta) {
    const int64_t lower = m_lower, upper = m_upper, length = m_blockLength;
    int64_t a = target;
    if (offset) {
        int64_t pos = m_pos;
        if (pos == upper && pos - m_blockTail < length) pos = m_blockTail + length;
        a = std::llabs(static_cast<int64_t>(delta)) + pos;
    }
    if (a > upper + length) {
        const DWORD style = GetStyle();
        ModifyStyle(style & PBS_REVERSE, (style & PBS_REVERSE) ? 0 : PBS_REVERSE);
        a = std::min(upper + length, a + lower - length - upper);
    }
    m_blockTail = ClampInt(std::max(a - length, lower), m_lower, m_upper);
    StorePos(ClampInt(a, m_lower, m_upper));
}

void CProgressPainter::SetTextFormat(const QString& format, DWORD mode) {
    if (!format.isEmpty() && (mode & PBS_TEXT_MASK)) {
        ModifyStyle(PBS_TEXT_MASK, mode & PBS_TEXT_MASK);
    } else {
        ModifyStyle(PBS_TEXT_MASK, 0);
    }
    m_textFormat = format;
}

double CProgressPainter::GetTextValue() const {
    switch (GetStyle() & PBS_TEXT_MASK) {
        case PBS_TEXT_PERCENT:
            // An empty range has no percentage to speak of.
            return Span() > 0 ? (static_cast<double>(m_pos) - m_lower) * 100.0 / Span() : 0.0;
        case PBS_TEXT_POSITION: return m_pos;
        default: return 0.0;
    }
}

QString CProgressPainter::FormatText(const QString& format, int value) {
    QString out;
    out.reserve(format.size() + 8);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            if (format[i + 1] == u'd') {
                out += QString::number(value);
                ++i;
                continue;
            }
            if (format[i + 1] == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString CProgressPainter::GetText() const {
    const DWORD mode = GetStyle() & PBS_TEXT_MASK;
    if (!mode) return {};
    QString format = m_textFormat;
    if (format.isEmpty()) {
        if (mode == PBS_TEXT_PERCENT) {
            format = QStringLiteral("%d%%");
        } else if (mode == PBS_TEXT_POSITION) {
            format = QStringLiteral("%d");
        } else {
            return {};
        }
    }
    return FormatText(format, static_cast<int>(GetTextValue()));
}

void CProgressPainter::TwoColorPiece(std::vector<GradientFill>& out, int base, int c, COLORREF a, COLORREF b,
                                     int stepLimit) {
    if (c <= 0) return;
    const int dr = GetRValue(b) - GetRValue(a);
    const int dg = GetGValue(b) - GetGValue(a);
    const int db = GetBValue(b) - GetBValue(a);
    int m = std::max({std::abs(dr), std::abs(dg), std::abs(db)});
    if (stepLimit > 0) m = std::min(m, stepLimit);
    m = std::max(std::min(m, c), 1);
    for (int u = 0; u < m; ++u) {
        const int from = static_cast<int>(static_cast<int64_t>(u) * c / m);
        const int to = u == m - 1 ? c : static_cast<int>(static_cast<int64_t>(u + 1) * c / m);
        if (to <= from) continue;
        const COLORREF colour = RGB(static_cast<BYTE>(GetRValue(a) + u * dr / m), static_cast<BYTE>(GetGValue(a) + u * dg / m),
                                    static_cast<BYTE>(GetBValue(a) + u * db / m));
        out.push_back({base + from, base + to, colour});
    }
}

std::vector<GradientFill> CProgressPainter::Gradient(int length, int start, int end, int offset, int stepLimit) const {
    std::vector<GradientFill> full;
    if (length <= 0 || start >= end || m_colors.empty()) return full;
    if (m_colors.size() == 1) {
        full.push_back({0, length, m_colors[0]});
    } else {
        const size_t segments = m_colors.size() - 1;
        const int segLimit = stepLimit > 0 ? std::max(1, stepLimit / static_cast<int>(segments)) : 0;
        double cumulative = 0;
        int from = 0;
        for (size_t i = 0; i < segments; ++i) {
            cumulative += m_shares[i];
            int to = i == segments - 1 ? length : static_cast<int>(cumulative * length / 100.0);
            to = std::clamp(to, from, length);
            TwoColorPiece(full, from, to - from, m_colors[i], m_colors[i + 1], segLimit);
            from = to;
        }
    }
    std::vector<GradientFill> out;
    const int shift = ((offset % length) + length) % length;
    auto keep = [&](int a, int b, COLORREF c) {
        a = std::max(a, start);
        b = std::min(b, end);
        if (b > a) out.push_back({a, b, c});
    };
    for (const GradientFill& f : full) {
        const int a = f.from + shift, b = f.to + shift;
        if (a >= length) {
            keep(a - length, b - length, f.color);
        } else if (b > length) {
            keep(a, length, f.color);
            keep(0, b - length, f.color);
        } else {
            keep(a, b, f.color);
        }
    }
    std::sort(out.begin(), out.end(), [](const GradientFill& x, const GradientFill& y) { return x.from < y.from; });
    return out;
}

void CProgressPainter::Draw(QPainter* target, const QRect& rect) {
    if (!target || rect.isEmpty()) return;
    target->save();
    if (m_region) target->setClipRegion(*m_region, target->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    const QPaintDevice* device = target->device();
    if (device && device->devType() == QInternal::Printer) {
        DrawContents(*target, rect);
    } else {
        // Transparent where nothing is filled, so "no background" leaves what lies beneath.
        QImage offscreen(rect.size(), QImage::Format_ARGB32_Premultiplied);
        offscreen.fill(Qt::transparent);
        {
            QPainter p(&offscreen);
            p.setFont(target->font());
            p.translate(-rect.topLeft());
            DrawContents(p, rect);
        }
        target->drawImage(rect.topLeft(), offscreen);
    }
    target->restore();
}

void CProgressPainter::DrawContents(QPainter& p, const QRect& rect) {
    if (m_bkBrush) {
        p.fillRect(rect, *m_bkBrush);
    } else if (m_bkColor != CLR_NONE) {
        p.fillRect(rect, CSysColors::ToQColor(m_bkColor));
    }
    const QRect r = rect.adjusted(m_margins.left, m_margins.top, -m_margins.right, -m_margins.bottom);
    if (r.isEmpty() || m_pos < m_lower || m_pos > m_upper) return;

    const DWORD style = GetStyle();
    const bool vertical = style & PBS_VERTICAL;
    m_orientation = (vertical ? 2 : 0) + ((style & PBS_REVERSE) ? 1 : 0);
    const int length = vertical ? r.height() : r.width();
    const int64_t span = Span();
    // An empty range draws an empty bar instead of dividing by zero.
    const int head = span > 0 ? static_cast<int>(static_cast<int64_t>(length) * (m_pos - m_lower) / span) : 0;
    const int tail = (style & PBS_BLOCK) && span > 0
                         ? static_cast<int>(static_cast<int64_t>(length) * (m_blockTail - m_lower) / span)
                         : 0;
    const QRect filled = head > tail ? SpanRect(r, tail, head, m_orientation) : QRect();
    if (head > tail) {
        if (m_barBrush) {
            p.fillRect(filled, *m_barBrush);
        } else {
            const bool overFilled = style & PBS_GRADIENT_FILLED;
            const int refStart = overFilled ? tail : 0;
            const int refLength = overFilled ? head - tail : length;
            const int offset = span > 0 ? static_cast<int>(static_cast<int64_t>(m_gradientOffset) * refLength / span) : 0;
            for (const GradientFill& f : Gradient(refLength, tail - refStart, head - refStart, offset)) {
                p.fillRect(SpanRect(r, f.from + refStart, f.to + refStart, m_orientation), CSysColors::ToQColor(f.color));
            }
        }
    }
    DrawText(p, r, filled);
}

void CProgressPainter::DrawText(QPainter& p, const QRect& bar, const QRect& filled) {
    const DWORD style = GetStyle();
    if (!(style & PBS_TEXT_MASK)) return;
    const QString text = GetText();
    if (text.isEmpty()) return;
    p.save();
    if (m_font) p.setFont(*m_font);
    const QFontMetrics fm(p.font());
    const QSize extent(fm.horizontalAdvance(text), fm.height());
    QRect ref = bar;
    if ((style & PBS_TEXT_ON_BAR) && !filled.isEmpty()) {
        const bool fits = (style & PBS_VERTICAL) ? filled.height() >= extent.height() : filled.width() >= extent.width();
        if (fits) ref = filled;
    }
    QRect box(QPoint(0, 0), extent);
    box.moveCenter(ref.center());
    if (style & PBS_TEXT_LEFT) {
        box.moveLeft(ref.left());
    } else if (style & PBS_TEXT_RIGHT) {
        box.moveRight(ref.right());
    }
    if (style & PBS_TEXT_TOP) {
        box.moveTop(ref.top());
    } else if (style & PBS_TEXT_BOTTOM) {
        box.moveBottom(ref.bottom());
    }
    p.save();
    ClipTo(p, bar);
    p.setPen(CSysColors::ToQColor(m_bkTextColor));
    p.drawText(box, Qt::AlignCenter, text);
    p.restore();
    if (m_barTextColor != m_bkTextColor && !filled.isEmpty()) {
        ClipTo(p, filled);
        p.setPen(CSysColors::ToQColor(m_barTextColor));
        p.drawText(box, Qt::AlignCenter, text);
    }
    p.restore();
}
