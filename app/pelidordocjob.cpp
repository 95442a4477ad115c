#include "app/pelidordoc.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "outside/vekmeasure/qomeasure.h"
#include "ui/messages.h"

namespace {

std::atomic<uintptr_t> g_threadIds{0};

std::mutex& OperationsLock() {
    static std::mutex m;
    return m;
}
struct OperationEntry {
    CPelidorDoc::ImageOperation op;
    CPelidorDoc::ImageGeometry geometry;
};
// Caller holds OperationsLock. The geometric operations of this document come built in.
std::unordered_map<int, OperationEntry>& Operations() {
    using Geometry = CPelidorDoc::ImageGeometry;
    auto turn = [](double degrees) -> Geometry {
        return [degrees](const ImageCommandParams&, const QSizeF& before, const QSizeF& after) {
            return CPelidorDoc::TurnGeometry(degrees, before, after);
        };
    };
    static std::unordered_map<int, OperationEntry> ops{
        {ID_IMAGE_MIRROR,
         {[](PxImage& i, const ImageCommandParams&) { return i.Mirror(); },
          [](const ImageCommandParams&, const QSizeF& b, const QSizeF&) { return QTransform(-1, 0, 0, 1, b.width(), 0); }}},
        {ID_IMAGE_FLIP,
         {[](PxImage& i, const ImageCommandParams&) { return i.Flip(); },
          [](const ImageCommandParams&, const QSizeF& b, const QSizeF&) { return QTransform(1, 0, 0, -1, 0, b.height()); }}},
        {ID_IMAGE_ROTATEL, {[](PxImage& i, const ImageCommandParams&) { return i.RotateLeft(); }, turn(-90)}},
        {ID_IMAGE_ROTATER, {[](PxImage& i, const ImageCommandParams&) { return i.RotateRight(); }, turn(90)}},
        {ID_IMAGE_NEGATIVE, {[](PxImage& i, const ImageCommandParams&) { return i.Negative(); }, nullptr}},
    };
    return ops;
}

int64_t Counter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

const char* const CPelidorDoc::kCommandFailedText = "The command could not be applied to this image.";

void CPelidorDoc::CommandTimer(bool start) {
    if (start) {
        m_llStart = Counter();
        return;
    }
    m_llStop = Counter();
    m_fElapsed = m_llFrequency ? static_cast<float>(static_cast<double>(m_llStop - m_llStart) / m_llFrequency) : -1.0f;
}

bool CPelidorDoc::StartImageCommand(int id, const ImageCommandParams& params) {
    return StartWorker(id, params, true);
}

bool CPelidorDoc::StartWorker(int id, const ImageCommandParams& params, bool changesImage) {
    if (!CommandEnableImageIdle()) return false;
    m_ImageCommandId = id;
    m_ImageCommandParams = params;
    m_bWorkerChangesImage = changesImage;
    // The snapshot is taken here, on the UI thread, and the document is busy before either
    // thread exists. It joins the undo ring only when the command succeeds.
    delete m_pBefore;
    m_pBefore = changesImage && m_pImage->IsValid() ? new PxImage(*m_pImage, true, true, true) : nullptr;
    m_bOperationOk = true;
    m_operationError.clear();
    m_pImage->SetProgress(0);
    m_pImage->SetEscape(0);
    m_bWorkerDone = false;
    m_bStopPolling = false;
    m_hWorkerThread = ++g_threadIds;
    m_hProgressThread = ++g_threadIds;
    m_worker = std::thread(&CPelidorDoc::RunImageCommand, this);
    m_progress = std::thread(&CPelidorDoc::PollProgress, this);
    for (CView* v : Views()) v->viewport()->setCursor(Qt::WaitCursor);
    // Its commands show disabled at once, not at the next idle update.
    if (CMainFrame* mf = AfxGetMainFrame()) mf->Router()->UpdateAll();
    return true;
}

void CPelidorDoc::RegisterImageOperation(int id, ImageOperation op, ImageGeometry geometry) {
    std::lock_guard<std::mutex> g(OperationsLock());
    Operations()[id] = OperationEntry{std::move(op), std::move(geometry)};
}

QTransform CPelidorDoc::TurnGeometry(double degrees, const QSizeF& before, const QSizeF& after) {
    // The picture turns about its centre, and the centre lands on the new image's centre.
    return QTransform()
        .translate(after.width() / 2, after.height() / 2)
        .rotate(degrees)
        .translate(-before.width() / 2, -before.height() / 2);
}

void CPelidorDoc::RecordGeometry(const QTransform& t) {
    if (!m_undo.CanUndo() || t.isIdentity()) return;
    m_undo.SetLastGeometry(t);
    if (m_pMeasure) m_pMeasure->TransformImage(t);
}

void CPelidorDoc::RunImageCommand() {
    PxImage* img = m_pImage;
    ImageOperation registered;
    {
        std::lock_guard<std::mutex> g(OperationsLock());
        auto it = Operations().find(m_ImageCommandId);
        if (it != Operations().end()) registered = it->second.op;
    }
    m_llWorkerStart = Counter();
    // Whatever the operation does, the command finishes: progress 100 and the done flag.
    const std::string errorBefore = img->GetLastError();
    bool ok = true;
    QString error;
    try {
        if (m_ImageCommandId == kSaveCommand) {
            PxImage* source = m_save.burnt ? m_save.burnt : img;
            errno = 0;
            m_save.ok = source->Save(QFile::encodeName(m_save.path).constData(), m_save.type);
            m_save.errnoValue = m_save.ok ? 0 : errno;
            m_save.error = QString::fromUtf8(source->GetLastError());
        } else if (registered) {
            // An id without an operation runs nothing; its snapshot and 100 % still happen.
            ok = registered(*img, m_ImageCommandParams);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        error = QStringLiteral("Not enough memory for this command.");
    } catch (const std::exception& e) {
        ok = false;
        error = QString::fromUtf8(e.what());
    } catch (...) {
        ok = false;
    }
    // The library's text, unless it is the one left from an earlier failure.
    if (!ok && error.isEmpty() && errorBefore != img->GetLastError()) error = QString::fromUtf8(img->GetLastError());
    if (m_ImageCommandId == kSaveCommand && !ok) m_save.ok = false;
    m_bOperationOk = ok;
    m_operationError = error;
    m_llWorkerStop = Counter();
    img->SetProgress(100);
    {
        std::lock_guard<std::mutex> g(m_threadLock);
        m_bWorkerDone = true;
    }
    m_threadWake.notify_all();
}

void CPelidorDoc::PollProgress() {
    const HWND target = GetSafeHwnd();
    PxImage* img = m_pImage;
    // Each report names its command, so one that comes after the command has ended is known.
    const LPARAM command = static_cast<LPARAM>(m_hProgressThread);
    for (;;) {
        const LONG p = img->GetProgress();
        if (p >= 100) break;
        {
            std::unique_lock<std::mutex> g(m_threadLock);
            m_threadWake.wait_for(g, std::chrono::milliseconds(333), [this] { return m_bStopPolling || m_bWorkerDone; });
            if (m_bStopPolling) break;
        }
        if (img->GetEscape()) break;
        if (img->GetProgress() >= 100) break;
        PostMessage(target, WM_IMAGE_OP_PROGRESS, static_cast<WPARAM>(p), command);
    }
    // Done is reported only once the worker really is done.
    {
        std::unique_lock<std::mutex> g(m_threadLock);
        m_threadWake.wait(g, [this] { return m_bWorkerDone; });
    }
    PostMessage(target, WM_IMAGE_OP_PROGRESS, 100, command);
    {
        std::unique_lock<std::mutex> g(m_threadLock);
        m_threadWake.wait_for(g, std::chrono::milliseconds(111), [this] { return m_bStopPolling; });
    }
    PostMessage(target, WM_IMAGE_OP_DONE, 0, 0);
}

QString CPelidorDoc::FinishImageCommand() {
    if (m_worker.joinable()) m_worker.join();
    if (m_progress.joinable()) m_progress.join();
    m_hWorkerThread = 0;
    m_hProgressThread = 0;
    // The worker's stopwatch becomes the document's once the worker is gone.
    m_llStart = m_llWorkerStart;
    m_llStop = m_llWorkerStop;
    m_fElapsed = static_cast<float>(static_cast<double>(m_llStop - m_llStart) / m_llFrequency);
    for (CView* v : Views()) v->viewport()->unsetCursor();
    if (!m_bWorkerChangesImage) return FinishSave();
    if (!m_bOperationOk) {
        // The picture from before the command comes back; the ring and the modified flag stay.
        if (m_pBefore) {
            delete m_pImage;
            m_pImage = std::exchange(m_pBefore, nullptr);
        }
        return m_operationError.isEmpty() ? QString::fromUtf8(kCommandFailedText) : m_operationError;
    }
    const bool pushed = m_pBefore != nullptr;
    m_undo.Push(std::unique_ptr<PxImage>(std::exchange(m_pBefore, nullptr)));
    ImageGeometry geometry;
    {
        std::lock_guard<std::mutex> g(OperationsLock());
        auto it = Operations().find(m_ImageCommandId);
        if (it != Operations().end()) geometry = it->second.geometry;
    }
    if (geometry && pushed && m_pImage->IsValid()) {
        const PxImage* before = m_undo.Last();
        RecordGeometry(geometry(m_ImageCommandParams, QSizeF(before->GetWidth(), before->GetHeight()),
                                QSizeF(m_pImage->GetWidth(), m_pImage->GetHeight())));
    }
    SetModifiedFlag();
    return QString();
}

void CPelidorDoc::WaitForCommand() {
    if (!IsBusy()) return;
    // No event is handled meanwhile: the worker and the progress thread only post, so they end
    // by themselves; the progress thread is told not to wait before its last report.
    {
        std::lock_guard<std::mutex> g(m_threadLock);
        m_bStopPolling = true;
    }
    m_threadWake.notify_all();
    if (m_worker.joinable()) m_worker.join();
    if (m_progress.joinable()) m_progress.join();
    // The ending the done message would have run; that message, when it comes, finds nothing.
    EndCommand();
}