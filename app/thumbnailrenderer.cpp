#include "app/thumbnailrenderer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include "app/imageconvert.h"
#include "app/pelidorapp.h"
#include "video/avifile.h"
#include "imagelib/pximage.h"

namespace {
constexpr DWORD kAviFormat = 17;
}

DWORD CThumbnailRenderer::TileFormat(const QString& path) {
    const QString ext = QFileInfo(path).suffix();
    if (ext.isEmpty()) return 0;
    if (ext.compare(QLatin1String("avi"), Qt::CaseInsensitive) == 0) return kAviFormat;
    int n = 0;
    const CExtensionRow* rows = ExtensionTable(&n);
    for (int i = 0; i < n; i++)
        if (ext.compare(QLatin1String(rows[i].ext), Qt::CaseInsensitive) == 0) return rows[i].format;
    return 0;
}

QRect CThumbnailRenderer::FitRect(int width, int height) {
    if (width <= 0 || height <= 0) return QRect();
    const double e = static_cast<double>(height) / width;
    if (e > static_cast<double>(kTileHeight) / kTileWidth) {
        const int w = std::max(1, static_cast<int>(kTileHeight / e));
        return QRect((kTileWidth - w) / 2, 0, w, kTileHeight);
    }
    const int h = std::max(1, static_cast<int>(kTileWidth * e));
    return QRect(0, (kTileHeight - h) / 2, kTileWidth, h);
}

QString CThumbnailRenderer::CacheFolder() {
    std::lock_guard<std::mutex> g(m_cacheLock);
    if (!m_bCacheChecked) {
        m_bCacheChecked = true;
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        const QString folder = base.isEmpty() ? QString() : base + "/Quillory/thumbnails";
        if (!folder.isEmpty() && QDir().mkpath(folder) && QFileInfo(folder).isWritable()) m_cacheFolder = folder;
    }
    return m_cacheFolder;
}

QString CThumbnailRenderer::CacheFile(const QString& path) {
    const QString folder = CacheFolder();
    if (folder.isEmpty()) return QString();
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return QString();
    const long long ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(native);
    h.addData(QByteArray("\n") + QByteArray::number(static_cast<qlonglong>(st.st_size)) + "\n" + QByteArray::number(ns));
    return folder + "/" + QString::fromLatin1(h.result().toHex()) + ".png";
}

QImage CThumbnailRenderer::Tile(const QString& path, bool useCache) {
    const DWORD format = TileFormat(path);
    if (!format) return QImage();
    const QString cached = CacheFile(path);
    if (useCache && !cached.isEmpty() && QFileInfo::exists(cached)) {
        QImage hit(cached, "PNG");
        if (hit.width() == kTileWidth && hit.height() == kTileHeight) {
            m_nCacheHits++;
            return hit.convertToFormat(QImage::Format_RGB32);
        }
    }
    QImage tile = Draw(path, format);
    if (tile.isNull()) return tile;
    m_nDrawn++;
    if (!cached.isEmpty()) {
        // Written whole or not at all: a reader never sees half a tile.
        QSaveFile out(cached);
        if (out.open(QIODevice::WriteOnly) && tile.save(&out, "PNG")) out.commit();
        else out.cancelWriting();
    }
    return tile;
}

QImage CThumbnailRenderer::Draw(const QString& path, DWORD format) {
    const QFileInfo fi(path);
    if (!fi.isFile() || !fi.isReadable() || fi.size() <= 0) return QImage();
    // A recording's tile reads its first frame only, however long the recording runs.
    if (format == kAviFormat) return DrawVideo(path);
    if (fi.size() > kMaxFileBytes) return QImage();
    return DrawImage(path, format, true);
}

QImage CThumbnailRenderer::DrawImage(const QString& path, DWORD format, bool shrinkOnLoad) {
    PxImage image(format);
    // A codec that can read a reduced picture (JPEG, a TIFF with reduced copies of its page)
    // delivers the smallest one the tile needs.
    if (shrinkOnLoad) image.SetDecodeHint(kTileWidth, kTileHeight);
    image.Load(QFile::encodeName(path).constData(), format);
    if (!image.IsValid() || image.GetWidth() == 0 || image.GetHeight() == 0) return QImage();
    const QRect fit = FitRect(static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight()));
    PxImage small;
    if (!image.Resample(fit.width(), fit.height(), 1, &small) || !small.IsValid()) return QImage();
    return Compose(QImageFromImage(small), false);
}

QImage CThumbnailRenderer::DrawVideo(const QString& path) {
    CAviFile avi;
    if (!avi.OpenForRead(QFile::encodeName(path).toStdString()) || !avi.ReadFrame(0) || !avi.FrameBits()) return QImage();
    const int w = avi.Width(), h = avi.Height();
    QImage frame(w, h, QImage::Format_RGB888);
    if (frame.isNull()) return QImage();
    const BYTE* bits = avi.FrameBits();
    for (int y = 0; y < h; y++) {
        // Bottom-up BGR rows.
        const BYTE* src = bits + static_cast<size_t>(h - 1 - y) * w * 3;
        uchar* dst = frame.scanLine(y);
        for (int x = 0; x < w; x++) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    const QRect fit = FitRect(w, h);
    return Compose(frame.scaled(fit.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation), true);
}

QImage CThumbnailRenderer::Compose(const QImage& picture, bool video) {
    QImage tile(kTileWidth, kTileHeight, QImage::Format_RGB32);
    tile.fill(Qt::white);
    QPainter p(&tile);
    if (video)
        for (int x = 0; x < kTileWidth; x += 31) p.fillRect(x, 0, 15, kTileHeight, QColor(155, 155, 155));
    if (!picture.isNull()) {
        // The picture comes at its fitted size: centred as FitRect places it.
        p.drawImage(QPoint((kTileWidth - picture.width()) / 2, (kTileHeight - picture.height()) / 2), picture);
    }
    p.setPen(QColor(130, 130, 130));
    p.drawRect(0, 0, kTileWidth - 1, kTileHeight - 1);
    p.end();
    return tile;
}
