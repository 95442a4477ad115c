// The start page's background threads: they scan a folder for image files and draw their tiles,
// several files at once, so the list never waits for a decoder. Results come back on the
// receiver's thread; a newer generation (a folder change) drops everything older, queued or in
// flight.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/thumbnailrenderer.h"

class CThumbnailWorker {
public:
    using ScanDone = std::function<void(quint64 generation, const QString& folder, const QStringList& paths)>;
    // A null tile means the file cannot be shown (the caller draws the placeholder).
    using TileDone = std::function<void(quint64 generation, const QString& path, const QImage& tile)>;

    CThumbnailWorker(QObject* receiver, ScanDone onScan, TileDone onTile);
    ~CThumbnailWorker();
    CThumbnailWorker(const CThumbnailWorker&) = delete;
    CThumbnailWorker& operator=(const CThumbnailWorker&) = delete;

    // Starts a new generation: queued jobs of older ones are dropped and their results ignored.
    quint64 NewGeneration();
    quint64 Generation() const { return m_generation.load(); }
    void Scan(quint64 generation, const QString& folder, int maxFiles);
    // Tiles asked for first are drawn first, except that a shown one (first) goes ahead of every
    // tile that is not.
    void Render(quint64 generation, const QString& path, bool useCache, bool first = false);
    // Shared by the threads (its cache folder is settled under its own lock).
    CThumbnailRenderer& Renderer() { return m_renderer; }

    // The image files and videos of a folder as the list shows them: regular files by name
    // (ignoring case), the first maxFiles of them, each in front of the one found before it.
    // Stops early when stop() says so. Empty for a missing or unreadable folder.
    static QStringList ScanFolder(const QString& folder, int maxFiles, const std::function<bool()>& stop = {});

private:
    struct Job {
        quint64 generation;
        bool scan;
        QString path;
        int maxFiles;
        bool useCache;
        bool first;
    };
    void Run();

    QObject* m_receiver;  // outlives the worker (its owner)
    ScanDone m_onScan;
    TileDone m_onTile;
    CThumbnailRenderer m_renderer;
    std::atomic<quint64> m_generation{1};
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_bQuit = false;
    std::vector<std::thread> m_threads;
};
