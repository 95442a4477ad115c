#include "controls/iconbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "controls/edgedraw.h"
#include "ui/messages.h"
#include "controls/syscolors.h"
#include "resources/resourcetable.h"

namespace {

int TypeFromStyle(DWORD style) {
    switch (style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: return CIconButton::Check;
    case BS_AUTORADIOBUTTON: return CIconButton::Radio;
    default: return CIconButton::Push;
    }
}

Qt::Alignment ToQtAlignment(UINT format) {
    Qt::Alignment a = (format & DT_RIGHT) ? Qt::AlignRight : (format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
    a |= (format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    return a;
}

}  // namespace

CIconButton::CIconButton(QWidget* parent, DWORD style)
    : QPushButton(parent), m_textColour(CSysColors::GetSysColor(COLOR_BTNTEXT)) {
    // What taking over a dialog's button reads from its style.
    m_pushLike = (style & BS_PUSHLIKE) != 0;
    m_flat = (style & BS_FLAT) != 0;
    switch (style & BS_CENTER) {
    case BS_LEFT: m_textFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE; break;
    case BS_RIGHT: m_textFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE; break;
    // A button without alignment bits is centred, as the system shows a plain push button.
    default: m_textFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE; break;
    }
    m_type = TypeFromStyle(style);
    setMouseTracking(true);
    RegisterWindow(this);
}

CIconButton::~CIconButton() { UnregisterWindow(); }

QPixmap CIconButton::SetIcon(int normalId, int alignment, int pressedId, int hoverId) {
    m_iconNormal = ResourcePixmap(normalId);
    m_iconPressed = pressedId ? ResourcePixmap(pressedId) : QPixmap();
    m_iconHover = hoverId ? ResourcePixmap(hoverId) : QPixmap();
    if (m_iconPressed.isNull()) m_iconPressed = m_iconNormal;
    if (m_iconHover.isNull()) m_iconHover = m_iconNormal;
    m_iconAlign = alignment == AlignLeft || alignment == AlignRight ? alignment : AlignCentre;
    PlaceIcon();
    update();
    return m_iconNormal.isNull() ? QPixmap() : m_iconHover;
}

void CIconButton::PlaceIcon() {
    if (m_iconNormal.isNull()) {
        m_iconRect = QRect();
        return;
    }
    const int w = m_iconNormal.width(), h = m_iconNormal.height();
    int x;
    if (m_iconAlign == AlignLeft) {
        x = m_margin;
    } else if (m_iconAlign == AlignRight) {
        x = width() - w - m_margin;
    } else {
        x = std::max(width() / 2 - w / 2, 0);
    }
    const int y = std::max(height() / 2 - h / 2, 0);
    m_iconRect = QRect(x, y, w, h);
}

void CIconButton::resizeEvent(QResizeEvent* e) {
    // Dialog layouts size the button after the icon is set: keep the icon where it belongs.
    PlaceIcon();
    QPushButton::resizeEvent(e);
}

void CIconButton::SetButtonStyle(DWORD style, bool redraw) {
    m_pushLike = (style & BS_PUSHLIKE) != 0;
    m_flat = (style & BS_FLAT) != 0;
    m_type = TypeFromStyle(style);
    if (m_type == Push) m_checked = false;
    m_border = m_pushLike;
    if (redraw) update();
}

void CIconButton::SetCornerFrame(bool on) {
    m_cornerMarks = on;
    update();
}

void CIconButton::MakeRadioGroup(const std::vector<CIconButton*>& buttons) {
    for (CIconButton* b : buttons) {
        if (!b) continue;
        b->m_group.clear();
        for (CIconButton* other : buttons)
            if (other && other != b) b->m_group.emplace_back(other);
    }
}

void CIconButton::SetCheck(int state) { WindowProc(BM_SETCHECK, static_cast<WPARAM>(state), 0); }

LRESULT CIconButton::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case BM_GETCHECK: return m_checked ? 1 : 0;
    case BM_SETCHECK:
        m_checked = m_type != Push && wParam != 0;
        if (m_type == Radio && m_checked) {
            for (const QPointer<CIconButton>& other : m_group)
                if (other) PostMessage(other->GetSafeHwnd(), WM_ICONBUTTON_UNCHECK);
        }
        update();
        return 0;
    case WM_ICONBUTTON_UNCHECK:
        if (m_checked) {
            m_checked = false;
            update();
        }
        return 0;
    default: return 0;
    }
}

void CIconButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        m_hover = false;
        QPushButton::mousePressEvent(e);
        m_buttonDown = true;
        update();
        return;
    }
    QPushButton::mousePressEvent(e);
}

void CIconButton::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void CIconButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        if (m_type != Push && m_buttonDown && hitButton(e->position().toPoint())) {
            if (m_type == Check) {
                SetCheck(m_checked ? 0 : 1);
            } else {
                SetCheck(1);
            }
        }
        m_buttonDown = false;
    }
    QPushButton::mouseReleaseEvent(e);
    update();
}

void CIconButton::mouseMoveEvent(QMouseEvent* e) {
    if (m_buttonDown && (e->buttons() & Qt::LeftButton)) {
        // The base class makes the pushed state follow the held cursor.
        const bool before = isDown();
        QPushButton::mouseMoveEvent(e);
        if (before != isDown()) update();
        return;
    }
    if (!m_hover && rect().contains(e->position().toPoint())) {
        m_hover = true;
        update();
    }
    QPushButton::mouseMoveEvent(e);
}

void CIconButton::enterEvent(QEnterEvent* e) {
    if (!m_buttonDown && !m_hover) {
        m_hover = true;
        update();
    }
    QPushButton::enterEvent(e);
}

void CIconButton::leaveEvent(QEvent* e) {
    m_hover = false;
    update();
    QPushButton::leaveEvent(e);
}

void CIconButton::focusOutEvent(QFocusEvent* e) {
    // Losing the focus mid-press ends the press: the base class lets the button up.
    m_buttonDown = false;
    QPushButton::focusOutEvent(e);
    update();
}

void CIconButton::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        if (m_type == Check) SetCheck(m_checked ? 0 : 1);
        if (m_type == Radio) SetCheck(1);
    }
    QPushButton::keyPressEvent(e);
}

// Four L-shaped marks; the corner pixels stand 3 pixels in (4 from the far edges, 5 for
// push-like buttons), arms 4 pixels along and 3 pixels down or up.
void CIconButton::DrawCornerMarks(QPainter& p, const QRect& r, const QColor& colour, int shift) const {
    if (!m_cornerMarks) return;
    const int inset = m_pushLike ? 5 : 4;
    const int left = r.left() + 3 + shift, top = r.top() + 3 + shift;
    const int right = r.left() + r.width() - inset + shift, bottom = r.top() + r.height() - inset + shift;
    p.setPen(colour);
    p.drawLine(left, top, left + 4, top);
    p.drawLine(left, top, left, top + 3);
    p.drawLine(right, top, right - 4, top);
    p.drawLine(right, top, right, top + 3);
    p.drawLine(left, bottom, left + 4, bottom);
    p.drawLine(left, bottom, left, bottom - 3);
    p.drawLine(right, bottom, right - 4, bottom);
    p.drawLine(right, bottom, right, bottom - 3);
}

void CIconButton::PaintInto(QPainter& p, const QRect& item) const {
    const bool hasIcon = !m_iconNormal.isNull();
    QRect text = item.adjusted(m_margin + 2, 0, -(m_margin + 2), 0);
    if (hasIcon) {
        if (m_iconAlign == AlignLeft) {
            text.setLeft(text.left() + m_iconRect.width());
        } else if (m_iconAlign == AlignRight) {
            text.setRight(text.right() - m_iconRect.width());
        } else {
            text.setTop(m_iconRect.bottom() + 1);
            text.setBottom(text.bottom() - (m_margin + 1));
        }
    }
    p.setFont(font());
    const Qt::Alignment align = ToQtAlignment(m_textFormat);
    const QString label = this->text();
    const QColor textColour = CSysColors::ToQColor(m_textColour);
    const bool pushed = isDown() || m_checked;
    bool marksDrawn = false;

    if (!isEnabled()) {
        p.fillRect(item, CSysColors::Color(COLOR_BTNFACE));
        if (hasIcon) DrawDisabledImage(p, m_iconRect.topLeft(), m_iconNormal.toImage());
        if (m_border && !m_flat) DrawRaisedEdge(p, item);
        p.setPen(CSysColors::Color(COLOR_BTNHIGHLIGHT));
        p.drawText(text, align, label);
        p.setPen(CSysColors::Color(COLOR_GRAYTEXT));
        p.drawText(text.translated(-1, -1), align, label);
        return;
    }
    if (pushed) {
        p.fillRect(item, CSysColors::Color(COLOR_BTNHIGHLIGHT));
        if (m_hover) {
            DrawCornerMarks(p, item, textColour, 0);
            marksDrawn = m_cornerMarks;
        }
        const QPoint shift = m_pushLike ? QPoint(1, 1) : QPoint(0, 0);
        if (hasIcon) p.drawPixmap(m_iconRect.topLeft() + shift, m_iconPressed);
        text.translate(shift);
        if (m_border) {
            if (m_flat) {
                Draw3dFrame(p, item, CSysColors::Color(COLOR_BTNSHADOW), CSysColors::Color(COLOR_BTNHIGHLIGHT));
            } else {
                DrawSunkenEdge(p, item);
            }
        }
    } else {
        if (m_hover) {
            p.fillRect(item, CSysColors::Color(COLOR_BTNHIGHLIGHT));
            DrawCornerMarks(p, item, textColour, 0);
            marksDrawn = m_cornerMarks;
        } else {
            p.fillRect(item, CSysColors::Color(COLOR_BTNFACE));
        }
        if (hasIcon) p.drawPixmap(m_iconRect.topLeft(), m_hover ? m_iconHover : m_iconNormal);
        if (m_border && (m_hover || !m_flat)) {
            if (isDefault()) {
                DrawSunkenEdge(p, item);
                DrawRaisedEdge(p, item.adjusted(2, 2, -2, -2));
            } else {
                Draw3dFrame(p, item, CSysColors::Color(COLOR_BTNHIGHLIGHT), CSysColors::Color(COLOR_BTNSHADOW));
            }
        }
    }
    if (hasFocus() && m_margin > 0) {
        if (!m_hover && !pushed) {
            DrawCornerMarks(p, item, CSysColors::Color(COLOR_INFOBK), 0);
        } else if (!marksDrawn) {
            DrawCornerMarks(p, item, textColour, 1);
        }
    }
    p.setPen(textColour);
    p.drawText(text, align, label);
}

QImage CIconButton::Render() const {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter p(&image);
    PaintInto(p, QRect(QPoint(0, 0), size()));
    return image;
}

void CIconButton::paintEvent(QPaintEvent*) {
    const QImage image = Render();
    QPainter target(this);
    target.drawImage(0, 0, image);
}
