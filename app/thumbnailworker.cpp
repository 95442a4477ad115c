#include "app/thumbnailworker.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

#include "ui/msgbridge.h"

namespace {
// Tiles drawn at once: each holds a decoded picture (a full one for formats that cannot be read
// reduced), and the list shows twenty.
constexpr int kMaxTileThreads = 4;
}  // namespace

CThumbnailWorker::CThumbnailWorker(QObject* receiver, ScanDone onScan, TileDone onTile)
    : m_receiver(receiver), m_onScan(std::move(onScan)), m_onTile(std::move(onTile)) {
    m_pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, kMaxTileThreads));
    m_thread = std::thread([this] { Run(); });
}

CThumbnailWorker::~CThumbnailWorker() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bQuit = true;
        m_jobs.clear();
    }
    m_generation++;
    m_wake.notify_all();
    m_pool.clear();
    m_pool.waitForDone();
    m_thread.join();
}

quint64 CThumbnailWorker::NewGeneration() {
    std::lock_guard<std::mutex> g(m_lock);
    m_jobs.clear();
    m_pool.clear();  // tiles not yet started; those being drawn see the new generation
    return ++m_generation;
}

void CThumbnailWorker::Scan(quint64 generation, const QString& folder, int maxFiles) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_jobs.push_back(Job{generation, folder, maxFiles});
    }
    m_wake.notify_one();
}

void CThumbnailWorker::Render(quint64 generation, const QString& path, bool useCache, bool first) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_bQuit || generation != m_generation.load()) return;
    // Equal priorities keep their order in the pool's queue.
    m_pool.start([this, generation, path, useCache] { DrawTile(generation, path, useCache); }, first ? 1 : 0);
}

void CThumbnailWorker::DrawTile(quint64 generation, const QString& path, bool useCache) {
    if (generation != m_generation.load()) return;
    QImage tile = m_renderer.Tile(path, useCache);
    if (generation != m_generation.load()) return;
    TileDone cb = m_onTile;
    if (m_receiver) PostCall(m_receiver, [cb, generation, path, tile] { cb(generation, path, tile); });
}

QStringList CThumbnailWorker::ScanFolder(const QString& folder, int maxFiles, const std::function<bool()>& stop) {
    QStringList out;
    if (folder.isEmpty() || maxFiles <= 0) return out;
    QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& fi : files) {
        if (stop && stop()) return QStringList();
        if (!fi.isFile()) continue;
        // The path as the folder holds it: names differing only in case are different files.
        const QString path = fi.absoluteFilePath();
        if (!CThumbnailRenderer::TileFormat(path)) continue;
        out.prepend(path);
        if (out.size() >= maxFiles) break;
    }
    return out;
}

void CThumbnailWorker::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> g(m_lock);
            m_wake.wait(g, [this] { return m_bQuit || !m_jobs.empty(); });
            if (m_bQuit) return;
            job = m_jobs.front();
            m_jobs.pop_front();
        }
        const quint64 gen = job.generation;
        if (gen != m_generation.load()) continue;
        QStringList paths = ScanFolder(job.path, job.maxFiles, [this, gen] { return gen != m_generation.load(); });
        if (gen != m_generation.load()) continue;
        ScanDone cb = m_onScan;
        const QString folder = job.path;
        if (m_receiver) PostCall(m_receiver, [cb, gen, folder, paths] { cb(gen, folder, paths); });
    }
}
