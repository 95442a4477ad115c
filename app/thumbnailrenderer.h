// Draws the start page's 200 x 180 tiles of image files and AVI recordings, and keeps them in a
// disk cache. Runs on the thumbnail worker's threads, several tiles at once: image library and
// QImage only, no widget or pixmap.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>
#include <mutex>

#include "platform/wintypes.h"

class CThumbnailRenderer {
public:
    static constexpr int kTileWidth = 200;
    static constexpr int kTileHeight = 180;
    // Larger pictures are not decoded for a tile (they get the placeholder); recordings of any
    // size are.
    static constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;

    // Format id of a path by its extension alone (after the last dot of the file name, any case):
    // the image formats, 17 for "avi", 0 for anything else.
    static DWORD TileFormat(const QString& path);
    // Where a picture of width x height goes inside the tile, keeping its aspect ratio and centred;
    // never narrower or lower than one pixel.
    static QRect FitRect(int width, int height);

    // The tile of a file, drawn from the file (or taken from the cache when useCache and the
    // cache holds it for the file's current size and time). A null image when the file cannot be
    // read as a picture: the caller shows the placeholder.
    QImage Tile(const QString& path, bool useCache = true);

    // The cache folder ($XDG_CACHE_HOME/Quillory/thumbnails); empty disables the cache. Defaults to
    // the user's cache location when it can be created and written.
    void SetCacheFolder(const QString& folder) {
        std::lock_guard<std::mutex> g(m_cacheLock);
        m_cacheFolder = folder;
        m_bCacheChecked = true;
    }
    QString CacheFolder();
    // The cache file of a path at its current size and modification time (nanoseconds); empty
    // when the file is missing or there is no cache.
    QString CacheFile(const QString& path);

    // Counts of the last calls, for tests and the benchmark.
    std::atomic<int> m_nDrawn{0};     // tiles drawn from their files
    std::atomic<int> m_nCacheHits{0}; // tiles read from the cache

    // Draws a picture of its fitted size, centred, into a white tile (stripes behind it for a
    // video) with the grey frame.
    static QImage Compose(const QImage& picture, bool video);

    // A picture file's tile without the cache: its picture decoded reduced where the codec can
    // (shrinkOnLoad), or in full and then resampled.
    static QImage DrawImage(const QString& path, DWORD format, bool shrinkOnLoad);

private:
    QImage Draw(const QString& path, DWORD format);
    static QImage DrawVideo(const QString& path);

    std::mutex m_cacheLock;  // guards the two below
    QString m_cacheFolder;
    bool m_bCacheChecked = false;
};
