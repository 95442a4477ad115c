#include "app/clipboardimage.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include "app/imageconvert.h"

bool ClipboardHasImage() {
    const QMimeData* m = QApplication::clipboard()->mimeData();
    return m && (m->hasFormat(kDibMimeType) || m->hasFormat("image/bmp") || m->hasImage());
}

PxImage* ImageFromClipboard() {
    const QMimeData* m = QApplication::clipboard()->mimeData();
    if (!m) return nullptr;
    QByteArray dib;
    if (m->hasFormat(kDibMimeType)) {
        dib = m->data(kDibMimeType);
    } else if (m->hasFormat("image/bmp")) {
        // A BMP file: the packed DIB follows the 14-byte file header.
        QByteArray bmp = m->data("image/bmp");
        if (bmp.size() > 14 && bmp.startsWith("BM")) dib = bmp.mid(14);
    }
    auto* image = new PxImage();
    if (!dib.isEmpty() && image->CreateFromHANDLE(reinterpret_cast<const BYTE*>(dib.constData()), dib.size()))
        return image;
    if (m->hasImage()) {
        QImage q = qvariant_cast<QImage>(m->imageData());
        if (!q.isNull() && ImageFromQImage(q, *image)) return image;
    }
    delete image;
    return nullptr;
}

bool CopyImageToClipboard(PxImage& image) {
    DWORD size = 0;
    BYTE* block = image.CopyToHandle(&size);
    if (!block) return false;
    auto* mime = new QMimeData;
    mime->setData(kDibMimeType, QByteArray(reinterpret_cast<const char*>(block), static_cast<qsizetype>(size)));
    PxImage::FreeMemory(block);
    mime->setImageData(QImageFromImage(image));
    QApplication::clipboard()->setMimeData(mime);
    return QApplication::clipboard()->mimeData() != nullptr;
}
