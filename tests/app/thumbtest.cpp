#include "thumbtest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdlib>

#include "app/thumbnaillistctrl.h"

void ThumbTest::SetUp() {
    AppTest::SetUp();
    m_env.Set("XDG_RUNTIME_DIR", std::getenv("XDG_RUNTIME_DIR"));  // put back as it was, whatever runs
    m_env.Set("HOME", Folder("home").toStdString());
    m_env.Set("XDG_CACHE_HOME", Folder("home/.cache").toStdString());
    m_env.Set("XDG_DATA_HOME", Folder("home/.local/share").toStdString());
    m_env.Set("XDG_CONFIG_HOME", Folder("home/.config").toStdString());
}

void ThumbTest::TearDown() {
    AppTest::TearDown();
    m_env.Restore();
}

QString ThumbTest::Folder(const QString& name) {
    const QString p = Path(name);
    QDir().mkpath(p);
    return p;
}

QString ThumbTest::WriteImage(const QString& path, int w, int h, const QColor& c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    EXPECT_TRUE(img.save(path)) << path.toStdString();
    return path;
}

bool ThumbTest::WriteAvi(const QString& path, FOURCC fcc, int w, int h, const std::vector<QColor>& colours) {
    CAviFile avi;
    avi.SetRate(10000000);
    avi.SetCompressor(fcc);
    if (!avi.Open(QFile::encodeName(path).toStdString(), w, h)) {
        ADD_FAILURE() << avi.LastError();
        return false;
    }
    std::vector<BYTE> frame(static_cast<size_t>(w) * h * 3);
    for (const QColor& c : colours) {
        for (int y = 0; y < h; y++) {
            // Bottom-up rows: row 0 of the buffer is the picture's last line.
            const bool top = y >= h / 2;
            BYTE* row = frame.data() + static_cast<size_t>(y) * w * 3;
            for (int x = 0; x < w; x++) {
                row[x * 3] = top ? static_cast<BYTE>(c.blue()) : 255;
                row[x * 3 + 1] = top ? static_cast<BYTE>(c.green()) : 0;
                row[x * 3 + 2] = top ? static_cast<BYTE>(c.red()) : 0;
            }
        }
        if (!avi.WriteFrame(frame.data())) return false;
    }
    return avi.Close() == 1;
}

void ThumbTest::WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

bool ThumbTest::WaitIdle(CThumbnailListCtrl& list, int ms) {
    QElapsedTimer t;
    t.start();
    while (list.IsBusy()) {
        if (t.elapsed() > ms) return false;
        Pump(5);
    }
    Pump();
    return true;
}

bool ThumbTest::Near(QRgb a, const QColor& b, int tolerance) {
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}
