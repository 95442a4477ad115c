#include "app/thumbnailworker.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "ui/msgbridge.h"

namespace {
// Tiles drawn at once: each holds a decoded picture (the whole of it for formats that cannot be
// read reduced), and the list shows twenty.
constexpr unsigned kMaxThreads = 4;
}  // namespace

CThumbnailWorker::CThumbnailWorker(QObject* receiver, ScanDone onScan, TileDone onTile)
    : m_receiver(receiver), m_onScan(std::move(onScan)), m_onTile(std::move(onTile)) {
    const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    for (unsigned i = 0; i < n; i++) m_threads.emplace_back([this] { Run(); });
}

CThumbnailWorker::~CThumbnailWorker() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bQuit = true;
        m_jobs.clear();
    }
    m_generation++;
    m_wake.notify_all();
    for (std::thread& t : m_threads) t.join();
}

quint64 CThumbnailWorker::NewGeneration() {
    std::lock_guard<std::mutex> g(m_lock);
    m_jobs.clear();
    return ++m_generation;
}

void CThumbnailWorker::Scan(quint64 generation, const QString& folder, int maxFiles) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_jobs.push_back(Job{generation, true, folder, maxFiles, false, false});
    }
    m_wake.notify_one();
}

void CThumbnailWorker::Render(quint64 generation, const QString& path, bool useCache, bool first) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        auto at = m_jobs.end();
        if (first) at = std::find_if(m_jobs.begin(), m_jobs.end(), [](const Job& j) { return !j.scan && !j.first; });
        m_jobs.insert(at, Job{generation, false, path, 0, useCache, first});
    }
    m_wake.notify_one();
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
        if (job.generation != m_generation.load()) continue;
        if (job.scan) {
            const quint64 gen = job.generation;
            QStringList paths = ScanFolder(job.path, job.maxFiles, [this, gen] { return gen != m_generation.load(); });
            if (gen != m_generation.load()) continue;
            ScanDone cb = m_onScan;
            const QString folder = job.path;
            if (m_receiver)
                PostCall(m_receiver, [cb, gen, folder, paths] { cb(gen, folder, paths); });
        } else {
            QImage tile = m_renderer.Tile(job.path, job.useCache);
            if (job.generation != m_generation.load()) continue;
            TileDone cb = m_onTile;
            const quint64 gen = job.generation;
            const QString path = job.path;
            if (m_receiver)
                PostCall(m_receiver, [cb, gen, path, tile] { cb(gen, path, tile); });
        }
    }
}
