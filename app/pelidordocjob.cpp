#include "app/pelidordoc.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

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
    // The snapshot is taken here, on the UI thread, before the job exists. It joins the undo
    // ring only when the command succeeds.
    delete m_pBefore;
    m_pBefore = changesImage && m_pImage->IsValid() ? new PxImage(*m_pImage, true, true, true) : nullptr;
    m_bOperationOk = true;
    m_operationError.clear();
    m_pImage->SetProgress(0);
    m_pImage->SetEscape(0);
    m_bBusy = true;
    const uint64_t command = ++m_nCommand;
    // A watcher of its own for each job: a signal of an earlier one can never end this one.
    m_job = std::make_unique<QFutureWatcher<void>>();
    QObject::connect(m_job.get(), &QFutureWatcherBase::finished, this, [this, command] { JobFinished(command); });
    m_job->setFuture(QtConcurrent::run([this] { RunImageCommand(); }));
    m_progressTimer.start(333);
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
}

void CPelidorDoc::ShowProgress() {
    if (!m_bBusy || !m_pImage) return;
    // The job writes the field, the UI thread reads it; the last word is the job's end.
    const LONG p = m_pImage->GetProgress();
    if (p >= 100 || m_pImage->GetEscape()) return;
    SendMessage(GetSafeHwnd(), WM_IMAGE_OP_PROGRESS, static_cast<WPARAM>(p), static_cast<LPARAM>(m_nCommand));
}

void CPelidorDoc::JobFinished(uint64_t command) {
    if (!m_bBusy || command != m_nCommand) return;  // already ended by a wait
    m_progressTimer.stop();
    SendMessage(GetSafeHwnd(), WM_IMAGE_OP_PROGRESS, 100, static_cast<LPARAM>(command));
    // The 100 % stays a moment before the time replaces it.
    QTimer::singleShot(111, this, [this, command] {
        if (m_bBusy && command == m_nCommand) EndCommand();
    });
}

QString CPelidorDoc::FinishImageCommand() {
    // Waiting here runs no event loop: the job touches nothing of the UI.
    if (m_job) m_job->waitForFinished();
    m_progressTimer.stop();
    m_bBusy = false;
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
    // No event is handled meanwhile: the job only reads and writes the image, so it ends by
    // itself; the ending its watcher would have started runs now, and that signal, when it
    // comes, finds nothing to do.
    EndCommand();
}
