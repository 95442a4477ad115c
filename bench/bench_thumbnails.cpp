// The start page's tiles: 20 tiles of 20-megapixel JPEGs drawn from their files (cold: on the
// worker's threads, and one after the other on one thread) and taken from the disk cache (warm), a
// scan of a folder of 10,000 files, and an AVI's first frame. The JPEGs are written into
// QUILLORY_BENCH_WORK when it names a folder, so that bench/peers/thumbnails.py times other
// programs on the same files.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "app/thumbnailrenderer.h"
#include "app/thumbnailworker.h"
#include "video/avifile.h"

namespace {

struct Files {
    QTemporaryDir dir;
    QStringList jpegs;
    QString scanFolder;
    QString avi;
    Files() {
        QImage big(5472, 3648, QImage::Format_RGB32);  // 20 megapixels
        for (int y = 0; y < big.height(); y++) {
            auto* row = reinterpret_cast<QRgb*>(big.scanLine(y));
            for (int x = 0; x < big.width(); x++) row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
        }
        const QString work = qEnvironmentVariable("QUILLORY_BENCH_WORK");
        const QDir jpegDir(work.isEmpty() ? dir.filePath("jpeg") : work);
        for (int i = 0; i < 20; i++) {
            const QString p = jpegDir.filePath(QString("p%1.jpg").arg(i, 2, 10, QChar('0')));
            QDir().mkpath(QFileInfo(p).path());
            QFile::remove(p);  // copy() would keep a file of an earlier run
            if (i == 0) big.save(p, "JPG", 90);
            else QFile::copy(jpegs.first(), p);
            jpegs << p;
        }
        scanFolder = dir.filePath("scan");
        QDir().mkpath(scanFolder);
        for (int i = 0; i < 10000; i++) {
            QFile f(scanFolder + QString("/f%1.%2").arg(i).arg(i % 3 ? "png" : "txt"));
            f.open(QIODevice::WriteOnly);
        }
        avi = dir.filePath("clip.avi");
        CAviFile w;
        w.Open(QFile::encodeName(avi).toStdString(), 1280, 960);
        std::vector<BYTE> frame(1280 * 960 * 3, 90);
        for (int i = 0; i < 10; i++) w.WriteFrame(frame.data());
        w.Close();
    }
};

Files& TheFiles() {
    static Files f;
    return f;
}

// As the start page asks for them: the worker's threads draw the tiles and hands them to the UI
// thread, which the clock waits for.
void BM_TwentyTilesCold(benchmark::State& state) {
    Files& f = TheFiles();
    QObject receiver;
    int done = 0, drawn = 0;
    CThumbnailWorker worker(
        &receiver, [](quint64, const QString&, const QStringList&) {},
        [&](quint64, const QString&, const QImage& tile) {
            done++;
            drawn += tile.isNull() ? 0 : 1;
        });
    worker.Renderer().SetCacheFolder(QString());
    for (auto _ : state) {
        done = drawn = 0;
        const quint64 gen = worker.NewGeneration();
        for (const QString& p : f.jpegs) worker.Render(gen, p, false);
        while (done < f.jpegs.size()) {
            QCoreApplication::sendPostedEvents();
            if (done < f.jpegs.size()) QThread::usleep(200);
        }
    }
    if (drawn != f.jpegs.size()) state.SkipWithError("a tile was not drawn");
}
BENCHMARK(BM_TwentyTilesCold)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// One tile after the other on the calling thread: the decoder's and the resampling's share.
void BM_TwentyTilesColdOneThread(benchmark::State& state) {
    Files& f = TheFiles();
    for (auto _ : state) {
        CThumbnailRenderer r;
        r.SetCacheFolder(QString());
        for (const QString& p : f.jpegs) benchmark::DoNotOptimize(r.Tile(p));
    }
}
BENCHMARK(BM_TwentyTilesColdOneThread)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TwentyTilesWarm(benchmark::State& state) {
    Files& f = TheFiles();
    CThumbnailRenderer r;
    r.SetCacheFolder(f.dir.filePath("cache"));
    QDir().mkpath(r.CacheFolder());
    for (const QString& p : f.jpegs) r.Tile(p);
    for (auto _ : state)
        for (const QString& p : f.jpegs) benchmark::DoNotOptimize(r.Tile(p));
}
BENCHMARK(BM_TwentyTilesWarm)->Unit(benchmark::kMillisecond);

void BM_ScanTenThousandFiles(benchmark::State& state) {
    Files& f = TheFiles();
    for (auto _ : state) benchmark::DoNotOptimize(CThumbnailWorker::ScanFolder(f.scanFolder, 20));
}
BENCHMARK(BM_ScanTenThousandFiles)->Unit(benchmark::kMillisecond);

void BM_AviFirstFrameTile(benchmark::State& state) {
    Files& f = TheFiles();
    CThumbnailRenderer r;
    r.SetCacheFolder(QString());
    for (auto _ : state) benchmark::DoNotOptimize(r.Tile(f.avi));
}
BENCHMARK(BM_AviFirstFrameTile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
