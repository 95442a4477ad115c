// The only two conversions between Windows rectangles (right and bottom exclusive) and Qt
// rectangles (right and bottom inclusive). Header only and without a Qt include: any type with
// QRect's interface works, so the libraries can include this file too.
#pragma once

#include "wintypes.h"

template <typename QRectT>
QRectT RectToQRect(const RECT& r) {
    return QRectT(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

template <typename QRectT>
RECT QRectToRect(const QRectT& q) {
    return RECT{static_cast<LONG>(q.left()), static_cast<LONG>(q.top()), static_cast<LONG>(q.left() + q.width()),
                static_cast<LONG>(q.top() + q.height())};
}
