#include "app/imageconvert.h"

PxSurface SurfaceOver(QImage& image) {
    return PxSurfaceOver(image.bits(), image.width(), image.height(), static_cast<int32_t>(image.bytesPerLine()));
}

QImage QImageFromImage(PxImage& image) {
    if (!image.IsValid()) return QImage();
    QImage q(static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight()), QImage::Format_RGB32);
    q.fill(Qt::white);
    PxSurface s = SurfaceOver(q);
    image.Draw(&s, 0, 0);
    return q;
}

bool ImageFromQImage(const QImage& src, PxImage& out) {
    QImage q = src.convertToFormat(src.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    PxSurface s = PxSurfaceOver(const_cast<uchar*>(q.constBits()), q.width(), q.height(),
                                static_cast<int32_t>(q.bytesPerLine()));
    return src.hasAlphaChannel() ? out.CreateFromHICON(&s) : out.CreateFromHBITMAP(&s);
}
