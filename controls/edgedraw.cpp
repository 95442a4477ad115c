#include "controls/edgedraw.h"

#include <QImage>

#include "controls/syscolors.h"

void Draw3dFrame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

void DrawRaisedEdge(QPainter& p, const QRect& r) {
    Draw3dFrame(p, r, CSysColors::Color(COLOR_3DLIGHT), CSysColors::Color(COLOR_3DDKSHADOW));
    Draw3dFrame(p, r.adjusted(1, 1, -1, -1), CSysColors::Color(COLOR_BTNHIGHLIGHT), CSysColors::Color(COLOR_BTNSHADOW));
}

void DrawSunkenEdge(QPainter& p, const QRect& r) {
    Draw3dFrame(p, r, CSysColors::Color(COLOR_BTNSHADOW), CSysColors::Color(COLOR_BTNHIGHLIGHT));
    Draw3dFrame(p, r.adjusted(1, 1, -1, -1), CSysColors::Color(COLOR_3DDKSHADOW), CSysColors::Color(COLOR_3DLIGHT));
}

void DrawFocusDots(QPainter& p, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(Qt::white);
    // Every other pixel along the border, as the system's focus rectangle.
    int i = 0;
    for (int x = r.left(); x <= r.right(); ++x, ++i)
        if (i % 2 == 0) p.drawPoint(x, r.top());
    for (int y = r.top() + 1; y <= r.bottom(); ++y, ++i)
        if (i % 2 == 0) p.drawPoint(r.right(), y);
    for (int x = r.right() - 1; x >= r.left(); --x, ++i)
        if (i % 2 == 0) p.drawPoint(x, r.bottom());
    for (int y = r.bottom() - 1; y > r.top(); --y, ++i)
        if (i % 2 == 0) p.drawPoint(r.left(), y);
    p.restore();
}

void DrawDisabledImage(QPainter& p, const QPoint& at, const QImage& image) {
    if (image.isNull()) return;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QImage highlight(argb.size(), QImage::Format_ARGB32);
    QImage shadow(argb.size(), QImage::Format_ARGB32);
    const QRgb hl = CSysColors::Color(COLOR_BTNHIGHLIGHT).rgb();
    const QRgb sh = CSysColors::Color(COLOR_BTNSHADOW).rgb();
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        QRgb* h = reinterpret_cast<QRgb*>(highlight.scanLine(y));
        QRgb* s = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            // Dark, opaque pixels carry the shape; light ones vanish as on the system's emboss.
            const bool ink = qAlpha(src[x]) >= 128 && qGray(src[x]) < 192;
            h[x] = ink ? hl : 0;
            s[x] = ink ? sh : 0;
        }
    }
    p.drawImage(at + QPoint(1, 1), highlight);
    p.drawImage(at, shadow);
}
