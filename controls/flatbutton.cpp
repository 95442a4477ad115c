#include "controls/flatbutton.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "controls/edgedraw.h"
#include "ui/messages.h"
#include "controls/syscolors.h"
#include "controls/zarnmenu.h"
#include "resources/resourcetable.h"

CFlatButton::CFlatButton(QWidget* parent, DWORD style)
    : QPushButton(parent),
      m_hoverBk(CSysColors::GetSysColor(COLOR_BTNFACE)),
      m_hoverText(CSysColors::GetSysColor(COLOR_BTNTEXT)),
      m_normalBk(m_hoverBk),
      m_normalText(m_hoverText),
      m_focusBk(m_hoverBk),
      m_focusText(m_hoverText) {
    // What taking over a dialog's button reads from its style.
    const DWORD low = style & 0x1F;
    m_defaultLook = (low & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    m_checkMode = (low & BS_CHECKBOX) != 0;
    setMouseTracking(true);
    QObject::connect(this, &QAbstractButton::clicked, this, [this] { OnClicked(); });
}

CFlatButton::~CFlatButton() = default;

void CFlatButton::SetFlat(bool flat) {
    m_flat = flat;
    if (!flat) m_mouseOver = false;
    update();
}

void CFlatButton::SetButtonStyle(DWORD style, bool redraw) {
    const DWORD type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) m_defaultLook = type == BS_DEFPUSHBUTTON;
    if (redraw) update();
}

void CFlatButton::SetCheck(int state) {
    if (!m_checkMode) return;
    m_checked = state == 1 || state == 2;
    update();
}

void CFlatButton::SetHoverColor(COLORREF background, COLORREF text) {
    m_hoverBk = background;
    m_hoverText = text;
    update();
}

void CFlatButton::SetNormalColor(COLORREF background, COLORREF text) {
    m_normalBk = background;
    m_normalText = text;
    update();
}

void CFlatButton::SetFocusColor(COLORREF background, COLORREF text) {
    m_focusBk = background;
    m_focusText = text;
    update();
}

bool CFlatButton::SetIcon(int normalId, int hoverId, int alignment) {
    m_icon = ResourcePixmap(normalId);
    m_iconHover = hoverId ? ResourcePixmap(hoverId) : QPixmap();
    if (m_iconHover.isNull()) m_iconHover = m_icon;
    m_iconAlign = alignment == IconAbove || alignment == IconRight ? alignment : IconLeft;
    update();
    return !m_icon.isNull();
}

void CFlatButton::SetHoverCursor(const QCursor& cursor) { setCursor(cursor); }

void CFlatButton::SetURL(const QString& url) {
    // The address field holds 260 bytes with its terminator.
    QByteArray bytes = url.toUtf8();
    if (bytes.size() > 259) bytes.truncate(259);
    m_url = QString::fromUtf8(bytes);
}

void CFlatButton::SetMenu(ZarnMenu* menu, HWND receiver) {
    m_menu = menu;
    m_menuReceiver = receiver;
}

bool CFlatButton::IsPressed() const { return isDown() || (m_checkMode && m_checked); }

void CFlatButton::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (m_checkMode) {
        m_checked = !m_checked;
        update();
        return;
    }
    if (m_menu) {
        // A menu without items would open as an empty box and wait for a click elsewhere.
        if (m_menu->isEmpty()) return;
        QAction* chosen = m_menu->exec(mapToGlobal(QPoint(0, height())));
        if (chosen && m_menuReceiver) {
            PostMessage(m_menuReceiver, WM_COMMAND, static_cast<WPARAM>(chosen->data().toUInt()), 0);
        }
        return;
    }
    if (!m_url.isEmpty()) QDesktopServices::openUrl(QUrl::fromUserInput(m_url));
}

void CFlatButton::EndHover() {
    if (!m_mouseOver) return;
    m_mouseOver = false;
    update();
}

void CFlatButton::mouseMoveEvent(QMouseEvent* e) {
    // A held button that was never hovered (the press started elsewhere) does not light up.
    if (m_flat && !((e->buttons() & Qt::LeftButton) && !m_mouseOver)) {
        const bool over = rect().contains(e->position().toPoint()) &&
                          (m_alwaysTrack || QApplication::activeWindow() != nullptr);
        if (over && !m_mouseOver) {
            m_mouseOver = true;
            update();
        } else if (!over) {
            EndHover();
        }
    }
    QPushButton::mouseMoveEvent(e);
}

void CFlatButton::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void CFlatButton::leaveEvent(QEvent* e) {
    EndHover();
    QPushButton::leaveEvent(e);
}

void CFlatButton::focusInEvent(QFocusEvent* e) {
    update();
    QPushButton::focusInEvent(e);
}

void CFlatButton::focusOutEvent(QFocusEvent* e) {
    EndHover();
    update();
    QPushButton::focusOutEvent(e);
}

void CFlatButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && !isActiveWindow()) EndHover();
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        EndHover();
        // A disabled button cannot keep the focus: it goes on to the next control.
        if (hasFocus() && !focusNextChild()) clearFocus();
    }
    QPushButton::changeEvent(e);
}

void CFlatButton::DrawBackground(QPainter& p, const QRect& r) const {
    COLORREF c = m_normalBk;
    if (m_mouseOver || IsPressed()) {
        c = m_hoverBk;
    } else if (hasFocus()) {
        c = m_focusBk;
    }
    p.fillRect(r, CSysColors::ToQColor(c));
}

void CFlatButton::DrawBorder(QPainter& p, const QRect& r) const {
    const QColor shadow = CSysColors::Color(COLOR_BTNSHADOW), light = CSysColors::Color(COLOR_BTNHIGHLIGHT);
    if (IsPressed()) {
        Draw3dFrame(p, r, shadow, light);
    } else {
        Draw3dFrame(p, r, light, shadow);
    }
}

void CFlatButton::PaintInto(QPainter& p, const QRect& item) const {
    QRect r = item;
    const bool pressed = IsPressed();
    if (!m_flat && (hasFocus() || m_defaultLook)) {
        Draw3dFrame(p, r, Qt::black, Qt::black);
        r.adjust(1, 1, -1, -1);
    }
    if (m_drawTransparent) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(r, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        DrawBackground(p, r);
    }
    if (pressed) {
        if (!m_flat) {
            Draw3dFrame(p, r, CSysColors::Color(COLOR_BTNSHADOW), CSysColors::Color(COLOR_BTNSHADOW));
        } else if (m_drawBorder) {
            DrawBorder(p, r);
        }
    } else if (!m_flat) {
        Draw3dFrame(p, r, CSysColors::Color(COLOR_BTNHIGHLIGHT), CSysColors::Color(COLOR_3DDKSHADOW));
        Draw3dFrame(p, r.adjusted(1, 1, -1, -1), CSysColors::Color(COLOR_3DLIGHT), CSysColors::Color(COLOR_BTNSHADOW));
    } else if (m_mouseOver && m_drawBorder) {
        DrawBorder(p, r);
    }
    // The pressed shift belongs to a push; a checked button stays put.
    const QPoint shift = pressed && !m_checkMode ? QPoint(1, 1) : QPoint(0, 0);
    QRect text = r.adjusted(3, 3, -3, -3);
    const QPixmap& icon = m_mouseOver ? m_iconHover : m_icon;
    if (!icon.isNull()) {
        QPoint at;
        if (m_iconAlign == IconAbove) {
            at = QPoint(r.center().x() - icon.width() / 2 + 1, text.top());
            text.setTop(text.top() + icon.height() + 2);
        } else if (m_iconAlign == IconRight) {
            at = QPoint(text.right() - icon.width() + 1, r.center().y() - icon.height() / 2 + 1);
            text.setRight(text.right() - icon.width() - 2);
        } else {
            at = QPoint(text.left(), r.center().y() - icon.height() / 2 + 1);
            text.setLeft(text.left() + icon.width() + 2);
        }
        if (isEnabled()) {
            p.drawPixmap(at + shift, icon);
        } else {
            DrawDisabledImage(p, at, m_icon.toImage());
        }
    }
    text.translate(shift);
    p.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    const QString label = this->text();
    if (!isEnabled()) {
        p.setPen(CSysColors::Color(COLOR_BTNHIGHLIGHT));
        p.drawText(text.translated(1, 1), flags, label);
        p.setPen(CSysColors::Color(COLOR_BTNSHADOW));
        p.drawText(text, flags, label);
    } else {
        p.setPen(CSysColors::ToQColor(m_mouseOver || pressed ? m_hoverText : m_normalText));
        p.drawText(text, flags, label);
    }
    if (hasFocus() && (!m_flat || m_drawFlatFocus)) DrawFocusDots(p, item.adjusted(3, 3, -3, -3));
}

QImage CFlatButton::Render() const {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PaintInto(p, QRect(QPoint(0, 0), size()));
    return image;
}

void CFlatButton::paintEvent(QPaintEvent*) {
    const QImage image = Render();
    QPainter target(this);
    target.drawImage(0, 0, image);
}
