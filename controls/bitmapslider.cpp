#include "controls/bitmapslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "controls/edgedraw.h"
#include "ui/messages.h"
#include "controls/notifytarget.h"
#include "resources/resourcetable.h"

CBitmapSlider::CBitmapSlider(QWidget* parent, int dlgCtrlId) : QWidget(parent), m_ctrlId(dlgCtrlId) {
    setFocusPolicy(Qt::StrongFocus);
}

bool CBitmapSlider::LoadBitmap(UINT id, bool transparent, COLORREF key, int x, int y, QImage* out) {
    *out = QImage();
    const QPixmap pm = ResourcePixmap(static_cast<int>(id));
    if (pm.isNull()) return false;
    QImage image = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    if (transparent) {
        QRgb keyRgb;
        if (key == kColourAtPixel) {
            if (!image.valid(x, y)) return false;
            keyRgb = image.pixel(x, y) | 0xFF000000u;
        } else {
            keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
        }
        // Pixels of the key colour become the mask: fully transparent and black.
        const QImage mask = image.createMaskFromColor(keyRgb, Qt::MaskInColor);
        for (int row = 0; row < image.height(); ++row) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int col = 0; col < image.width(); ++col)
                if (mask.pixelIndex(col, row) == 1) line[col] = 0;
        }
    }
    *out = image;
    return true;
}

// Loads a bitmap and its optional active partner; on any failure both are left empty.
bool CBitmapSlider::LoadPair(UINT id, UINT activeId, bool transparent, COLORREF key, int x, int y, QImage* normal,
                             QImage* active) {
    *active = QImage();
    if (!LoadBitmap(id, transparent, key, x, y, normal)) return false;
    if (activeId != 0 && !LoadBitmap(activeId, transparent, key, x, y, active)) {
        *normal = QImage();
        return false;
    }
    return true;
}

bool CBitmapSlider::SetBitmapChannel(UINT id, UINT activeId, bool transparent, COLORREF key, int x, int y) {
    // Whatever happens below, the old pair is gone: until a new one loads nothing is drawn.
    m_channelLoaded = false;
    m_hasActiveChannel = false;
    update();
    if (id == 0) {
        m_channel = m_channelActive = QImage();
        return true;
    }
    if (!LoadPair(id, activeId, transparent, key, x, y, &m_channel, &m_channelActive)) return false;
    m_hasActiveChannel = !m_channelActive.isNull();
    m_width = m_channel.width();
    m_height = m_channel.height();
    resize(m_width, m_height);
    m_channelTransparent = transparent;
    m_channelLoaded = true;
    return true;
}

bool CBitmapSlider::SetBitmapThumb(UINT id, UINT activeId, bool transparent, COLORREF key, int x, int y) {
    m_thumbLoaded = false;
    m_hasActiveThumb = false;
    update();
    if (id == 0) {
        m_thumb = m_thumbActive = QImage();
        return true;
    }
    if (!LoadPair(id, activeId, transparent, key, x, y, &m_thumb, &m_thumbActive)) return false;
    m_hasActiveThumb = !m_thumbActive.isNull();
    m_thumbWidth = m_thumb.width();
    m_thumbHeight = m_thumb.height();
    if (!m_channelLoaded) {
        m_width = width();
        m_height = height();
    }
    m_thumbTransparent = transparent;
    m_thumbLoaded = true;
    return true;
}

void CBitmapSlider::SetMargin(int left, int top, int right, int bottom) {
    m_marginLeft = left;
    m_marginTop = top;
    m_marginRight = right;
    m_marginBottom = bottom;
}

void CBitmapSlider::SetRange(int minimum, int maximum, bool redraw) {
    m_min = minimum;
    m_max = maximum;
    if (redraw) update();
}

void CBitmapSlider::SetPos(int pos) {
    if (pos > m_max) pos = m_max;
    if (pos < m_min) pos = m_min;
    m_pos = pos;
    update();
}

void CBitmapSlider::Enable(bool enabled) {
    m_enabled = enabled;
    if (!enabled) EndDrag();
    setEnabled(enabled);
    update();
}

bool CBitmapSlider::SetTickCount(int count) {
    m_tickCount = count;
    return true;
}

int CBitmapSlider::Usable() const { return m_width - m_marginRight - m_thumbWidth - m_marginLeft; }

// Equal bounds or no room for the thumb to travel would divide by zero: the thumb then stays
// at the left end and every pixel means the minimum.
int CBitmapSlider::PositionToPixel(int pos) const {
    const int usable = Usable();
    int offset = 0;
    if (m_max != m_min && usable > 0) {
        const double span = static_cast<double>(m_max) - m_min;
        offset = static_cast<int>(usable * ((static_cast<double>(pos) - m_min) / span));
    }
    return m_marginLeft + offset + m_thumbWidth / 2;
}

int CBitmapSlider::PixelToPosition(int pixel) const {
    const int usable = Usable();
    if (m_max == m_min || usable <= 0) return m_min;
    const double span = static_cast<double>(m_max) - m_min;
    return static_cast<int>((static_cast<double>(pixel) - m_thumbWidth / 2 - m_marginLeft) / usable * span + m_min);
}

void CBitmapSlider::Notify(UINT message) {
    PostToParent(this, message, static_cast<WPARAM>(m_ctrlId), static_cast<LPARAM>(m_pos));
}

void CBitmapSlider::EndDrag() {
    m_dragging = false;
    if (mouseGrabber() == this) releaseMouse();
}

void CBitmapSlider::HandleMove(int x) {
    if (!m_dragging || !m_enabled) return;
    int t = x - m_grabOffset;
    t = std::max(t, m_marginLeft + m_thumbWidth / 2);
    t = std::min(t, m_width - m_thumbWidth / 2 - m_marginRight);
    if (t != PositionToPixel(m_pos)) {
        SetPos(PixelToPosition(t));
        Notify(WM_SLIDER_CHANGING);
    }
}

void CBitmapSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_enabled) {
        QWidget::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const int x = e->position().toPoint().x();
    const int c = PositionToPixel(m_pos);
    m_grabOffset = std::abs(x - c) > m_thumbWidth / 2 ? 0 : x - c;
    HandleMove(x);
    update();
}

void CBitmapSlider::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void CBitmapSlider::mouseMoveEvent(QMouseEvent* e) {
    HandleMove(e->position().toPoint().x());
    QWidget::mouseMoveEvent(e);
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_enabled) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    EndDrag();
    update();
    Notify(WM_SLIDER_CHANGED);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* e) {
    if (!m_enabled) {
        QWidget::keyPressEvent(e);
        return;
    }
    int pos = m_pos;
    switch (e->key()) {
    case Qt::Key_PageUp: pos = m_pos - m_page; break;
    case Qt::Key_PageDown: pos = m_pos + m_page; break;
    case Qt::Key_End: pos = m_max; break;
    case Qt::Key_Home: pos = m_min; break;
    case Qt::Key_Left:
    case Qt::Key_Up: pos = m_pos - 1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: pos = m_pos + 1; break;
    default: QWidget::keyPressEvent(e); return;
    }
    SetPos(pos);
    Notify(WM_SLIDER_CHANGED);
}

void CBitmapSlider::focusInEvent(QFocusEvent* e) {
    m_hasFocus = true;
    update();
    QWidget::focusInEvent(e);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* e) {
    m_hasFocus = false;
    update();
    QWidget::focusOutEvent(e);
}

void CBitmapSlider::changeEvent(QEvent* e) {
    // Disabling through the widget (a dialog greying its controls) is the same as Enable(false).
    if (e->type() == QEvent::EnabledChange && m_enabled != isEnabled()) {
        m_enabled = isEnabled();
        if (!m_enabled) EndDrag();
        update();
    }
    QWidget::changeEvent(e);
}

QSize CBitmapSlider::sizeHint() const {
    if (m_channelLoaded) return QSize(m_width, m_height);
    return QWidget::sizeHint();
}

void CBitmapSlider::PaintInto(QPainter& p, const QRect& client) const {
    // A transparent channel lets the parent show through; the widget is not opaque.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(client, m_channelTransparent ? QColor(Qt::transparent) : QColor(Qt::white));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int pixel = PositionToPixel(m_pos);
    if (m_channelLoaded) {
        if (m_hasActiveChannel && m_enabled) {
            const int split = std::clamp(pixel, 0, m_width);
            p.drawImage(QPoint(split, 0), m_channel, QRect(split, 0, m_width - split, m_height));
            p.drawImage(QPoint(0, 0), m_channelActive, QRect(0, 0, split, m_height));
        } else {
            p.drawImage(QPoint(0, 0), m_channel);
        }
        p.setPen(QColor(0, 0, 0));
        auto mark = [&](int x) {
            p.drawLine(x, 0, x, 2);
            p.drawLine(x - 1, 0, x - 1, 1);
            p.drawLine(x + 1, 0, x + 1, 1);
        };
        if (m_centreMark) mark(m_width / 2);
        if (m_tickCount > 0) {
            const int step = m_width / m_tickCount;
            for (int i = 1; i < m_tickCount; ++i) mark(i * step);
        }
    }
    if (m_thumbLoaded && m_enabled) {
        const QImage& thumb = m_dragging && m_hasActiveThumb ? m_thumbActive : m_thumb;
        p.drawImage(QPoint(pixel - m_thumbWidth / 2, m_marginTop), thumb);
    }
    if (m_drawFocusRect && m_hasFocus && m_enabled) DrawFocusDots(p, client);
}

QImage CBitmapSlider::Render() const {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PaintInto(p, QRect(QPoint(0, 0), size()));
    return image;
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    const QImage image = Render();
    QPainter target(this);
    target.drawImage(0, 0, image);
}
