#include "controls/hoverbitmapbutton.h"

#include <QPainter>

#include "controls/syscolors.h"
#include "resources/resourcetable.h"

CHoverBitmapButton::CHoverBitmapButton(QWidget* owner, QWidget* parent)
    : QAbstractButton(parent ? parent : owner), m_owner(owner) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CHoverBitmapButton::LoadBitmaps(int normal, int selected, int focus, int disabled) {
    const int ids[4] = {normal, selected, focus, disabled};
    for (int i = 0; i < 4; ++i) {
        m_ids[i] = ids[i];
        m_bitmaps[i] = ids[i] ? ResourcePixmap(ids[i]) : QPixmap();
    }
    updateGeometry();
    return !m_bitmaps[0].isNull();
}

int CHoverBitmapButton::OwnerItem() const {
    if (!m_owner) return 0;
    for (int item : {kRegionItem, kOtherItem}) {
        if (m_owner->findChild<QWidget*>(QString::number(item)) == this) return item;
    }
    return 0;
}

QSize CHoverBitmapButton::sizeHint() const {
    return m_bitmaps[0].isNull() ? QSize(38, 24) : m_bitmaps[0].deviceIndependentSize().toSize();
}

QImage CHoverBitmapButton::Render() const {
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    const QRect r = rect();
    // The bitmap of the state: disabled, pushed, focused, else normal; a missing one falls back
    // to the normal bitmap.
    int state = 0;
    if (!isEnabled()) state = 3;
    else if (isDown()) state = 1;
    else if (hasFocus()) state = 2;
    const QPixmap& pm = !m_bitmaps[state].isNull() ? m_bitmaps[state] : m_bitmaps[0];
    p.fillRect(r, CSysColors::Color(COLOR_BTNFACE));
    if (!pm.isNull()) {
        p.drawPixmap(0, 0, pm);
    } else {
        p.setPen(CSysColors::Color(isDown() ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(CSysColors::Color(isDown() ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(CSysColors::Color(isEnabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        p.drawText(r, Qt::AlignCenter, text());
    }
    return img;
}

void CHoverBitmapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

void CHoverBitmapButton::enterEvent(QEnterEvent* e) {
    QAbstractButton::enterEvent(e);
    const int item = OwnerItem();
    if (item == kRegionItem) {
        setFocus(Qt::MouseFocusReason);
        LoadBitmaps(261);
    } else if (item == kOtherItem) {
        setFocus(Qt::MouseFocusReason);
        LoadBitmaps(262);
    }
    update();
}

void CHoverBitmapButton::focusOutEvent(QFocusEvent* e) {
    QAbstractButton::focusOutEvent(e);
    const int item = OwnerItem();
    if (item == kRegionItem) LoadBitmaps(264);
    else if (item == kOtherItem) LoadBitmaps(265);
    update();
}
