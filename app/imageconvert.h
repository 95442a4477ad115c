// Between the image library's DIB and Qt's images, through the BGRA drawing surface.
#pragma once

#include <QImage>

#include "imagelib/pximage.h"
#include "platform/surface.h"

// A surface over the QImage's own pixels (32-bit formats only), no copy.
PxSurface SurfaceOver(QImage& image);
// The image at its own size, composited over white where it is transparent.
QImage QImageFromImage(PxImage& image);
// A 24-bit image (with alpha plane when the QImage has alpha) from a QImage.
bool ImageFromQImage(const QImage& q, PxImage& out);
