#include "app/pelidordoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/thumbnaillistctrl.h"
#include "outside/vekmeasure/qomeasure.h"
#include "resources/resourcetable.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

namespace {
std::atomic<int> g_quickOpenMs{100};
}  // namespace

void CPelidorDoc::SetQuickOpenLimit(int ms) { g_quickOpenMs = ms; }

QString PathExtension(const QString& path) { return QFileInfo(path).suffix(); }

QString FileFailureText(const QString& libraryText, bool opening, const QString& path, int errnoValue) {
    if (!libraryText.trimmed().isEmpty()) return libraryText;
    const QString reason = errnoValue ? QString::fromLocal8Bit(strerror(errnoValue))
                           : opening  ? QString("the file holds no image that can be read")
                                      : QString("the file could not be written");
    return QString("Cannot %1 \"%2\": %3.").arg(opening ? "open" : "save", QDir::toNativeSeparators(path), reason);
}

DWORD DocFormatFromExtension(const QString& e) {
    int n = 0;
    const CExtensionRow* rows = ExtensionTable(&n);
    for (int i = 0; i < n; i++)
        if (e == QLatin1String(rows[i].ext)) return rows[i].format;
    return 0;
}

bool CPelidorDoc::OnOpenDocument(const QString& path) {
    // A name without an extension is read by detection, like one with an unknown extension.
    const QString ext = PathExtension(QFileInfo(path).fileName()).toLower();
    const DWORD type = ext.isEmpty() ? 0 : DocFormatFromExtension(ext);
    CommandTimer(true);
    return StartLoad(path, type, 0, 0);
}

bool CPelidorDoc::StartLoad(const QString& path, DWORD type, LONG frame, LONG frames) {
    auto job = std::make_unique<LoadJob>();
    job->path = path;
    job->type = type;
    job->frame = frame;
    job->frames = frames;
    LoadJob* j = job.get();
    const QByteArray fileName = QFile::encodeName(path);
    m_load = std::move(job);
    QObject::connect(&j->watcher, &QFutureWatcherBase::finished, this, [this, j] {
        // Ended by a wait or a close before this signal came: nothing left to do.
        if (m_load.get() != j) return;
        if (!FinishLoad()) CloseLater();
    });
    j->watcher.setFuture(QtConcurrent::run([j, fileName] {
        try {
            if (j->frame == 0) {
                j->image = new PxImage(fileName.constData(), j->type);
                j->loaded = j->image->IsValid();
            } else {
                j->image = new PxImage(j->type);
                j->image->SetFrame(j->frame);
                j->loaded = j->image->Load(fileName.constData(), j->type) && j->image->IsValid();
            }
            if (!j->loaded) j->error = QString::fromUtf8(j->image->GetLastError());
        } catch (const std::bad_alloc&) {
            j->loaded = false;
            j->error = QStringLiteral("Not enough memory for this command.");
        }
        {
            std::lock_guard<std::mutex> g(j->lock);
            j->done = true;
        }
        j->finished.notify_all();
    }));
    // A small file is read before anyone could notice: the open ends here, as it always did.
    // A longer read goes on in the background; this window shows a wait cursor and takes no
    // command until the picture is there, and every other window works meanwhile.
    bool quick;
    {
        std::unique_lock<std::mutex> g(j->lock);
        quick = j->finished.wait_for(g, std::chrono::milliseconds(g_quickOpenMs.load()), [j] { return j->done; });
    }
    if (quick) return FinishLoad();
    for (CView* v : Views()) v->viewport()->setCursor(Qt::WaitCursor);
    return true;
}

bool CPelidorDoc::FinishLoad() {
    std::unique_ptr<LoadJob> job = std::move(m_load);
    // Without an event loop: the job touches nothing of the UI.
    job->watcher.waitForFinished();
    for (CView* v : Views()) v->viewport()->unsetCursor();
    if (job->frame == 0) CommandTimer(false);
    if (!job->loaded) {
        AfxMessageBox(FileFailureText(job->error, true, job->path, 0));
        delete job->image;
        return false;
    }
    PxImage* image = job->image;
    SetImage(image);
    if (job->frame == 0) {
        m_dwFileFormat = 0;
        RefreshStatusPanes();
    }
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    LONG frames = job->frames;
    if (job->frame == 0) {
        if (image->GetType() == PXIMAGE_FORMAT_JPG) {
            if (FILE* fp = fopen(QFile::encodeName(job->path).constData(), "rb")) {
                m_exifHolder.DecodeExif(fp);
                fclose(fp);
            }
        }
        frames = image->GetNumFrames();
        if (frames <= 1 ||
            AfxMessageBox(QString("File with %1 images. Read all?").arg(frames), MB_OKCANCEL) != IDOK)
            return true;
    }
    if (job->frame + 1 < frames) OpenFrame(job->path, job->type, job->frame + 1, frames);
    return true;
}

void CPelidorDoc::OpenFrame(const QString& path, DWORD type, LONG frame, LONG frames) {
    CDocTemplate* t = GetDocTemplate();
    auto* doc = t ? dynamic_cast<CPelidorDoc*>(t->OpenDocumentFile(QString())) : nullptr;
    if (!doc) return;
    doc->SetTitle(QString("%1 (%2)").arg(QFileInfo(path).fileName()).arg(frame + 1));
    // A frame that does not read shows why; its document goes, the others stay. Each frame
    // read starts the next one, so the first that fails ends the open.
    if (!doc->StartLoad(path, type, frame, frames)) delete t->FrameOf(doc);
}

void CPelidorDoc::WaitForLoad() {
    if (m_load && !FinishLoad()) CloseLater();
}

void CPelidorDoc::DiscardLoad() {
    if (!m_load) return;
    std::unique_ptr<LoadJob> job = std::move(m_load);
    job->watcher.waitForFinished();
    delete job->image;
}

bool CPelidorDoc::OnSaveDocument(const QString& path) {
    if (!StartSave(path, false)) return false;
    WaitForCommand();
    return m_save.ok;
}

DWORD CPelidorDoc::FileFormat() const {
    if (m_dwFileFormat) return m_dwFileFormat;
    return m_pImage ? m_pImage->GetType() : 0;
}

bool CPelidorDoc::StartSave(const QString& path, bool rename) {
    const QString ext = PathExtension(path).toLower();
    const DWORD type = ext.isEmpty() ? 0 : DocFormatFromExtension(ext);
    if (!m_pImage) return false;
    if (type == PXIMAGE_FORMAT_UNKNOWN) {
        // The library's own words for a format it does not know: a name no format claims.
        AfxMessageBox(FileFailureText("Encode: Unknown format", false, path, 0));
        return false;
    }
    // A command that changes the image ends before its pixels are written.
    if (IsBusy()) WaitForCommand();
    if (!CommandEnableImageIdle()) return false;
    if (type == PXIMAGE_FORMAT_GIF && m_pImage->GetBpp() > 8)
        AfxMessageBox("The image will be saved as a true color GIF!\nThis is ok for Pelidor, but not for many other "
                      "programs.\nFor better compatibility, please use DecreaseBpp to 8 bits or less.",
                      MB_OK | MB_ICONINFORMATION);
    // Without measurement units the image is saved as it is; with them a burnt copy (drawn
    // here, on the UI thread) is saved and the open image stays clean.
    PxImage* burnt = nullptr;
    if (m_pMeasure && m_pMeasure->UnitCount() > 0) burnt = RenderMeasureOverlay();
    delete m_save.burnt;
    m_save = SaveJob();
    m_save.path = path;
    m_save.type = type;
    m_save.burnt = burnt;
    m_save.rename = rename;
    m_save.wasModified = IsModified();
    if (!StartWorker(kSaveCommand, ImageCommandParams(), false)) {
        delete m_save.burnt;
        m_save.burnt = nullptr;
        return false;
    }
    if (CMainFrame* mf = AfxGetMainFrame()) mf->SetPaneText(0, QString("Saving %1...").arg(QFileInfo(path).fileName()));
    return true;
}

QString CPelidorDoc::FinishSave() {
    delete m_save.burnt;
    m_save.burnt = nullptr;
    if (CMainFrame* mf = AfxGetMainFrame()) mf->SetPaneText(0, QString());
    if (!m_save.ok) return FileFailureText(m_save.error, false, m_save.path, m_save.errnoValue);
    // The start page shows the file as it is now.
    if (CThumbnailListCtrl* list = CThumbnailListCtrl::Instance()) list->RefreshShownFile(m_save.path);
    if (m_save.rename) {
        SetPathName(m_save.path);
        SetModifiedFlag(false);
        m_dwFileFormat = m_save.type;  // the status bar shows the format the file has now
    } else {
        SetModifiedFlag(m_save.wasModified);
    }
    return QString();
}

bool CPelidorDoc::SaveAs(const QString& path, bool replace, bool wait) {
    if (!m_pImage || IsBusy()) return false;
    QString name = path;
    const DWORD current = FileFormat();
    const CFormatRow* row = FindFormatRow(static_cast<int>(current));
    if (name.isEmpty() || !row || !row->canSave) {
        name = GetPathName();
        if (replace && name.isEmpty()) {
            name = GetTitle();
            if (name.contains(QRegularExpression("[#%;/\\\\]"))) name = "UntitledImage";
        }
        // The file's format gives the extension; a name that already carries an extension
        // of that format keeps it, so "photo.jpg" never becomes "photo.jpg.jpg".
        if (current != 0 && row) {
            const QString want = QString::fromUtf8(row->pattern).section(';', 0, 0).mid(1);
            const QString ext = PathExtension(QFileInfo(name).fileName()).toLower();
            const DWORD has = DocFormatFromExtension(ext);
            if (has != current) {
                if (has != 0) name.chop(ext.size() + 1);
                name += want;
            }
        }
        DWORD format = current;
        if (!AfxGetPelidorApp()->AskImageFileName(name, false, 0, format)) return false;
        // A typed name without a known extension gets the one of the chosen filter's format,
        // instead of a save that fails without a word.
        if (DocFormatFromExtension(PathExtension(QFileInfo(name).fileName()).toLower()) == PXIMAGE_FORMAT_UNKNOWN) {
            const CFormatRow* chosen = FindFormatRow(static_cast<int>(format) == -1 ? static_cast<int>(current)
                                                                                    : static_cast<int>(format));
            if (!chosen || chosen->id < 0) chosen = FindFormatRow(1);
            name += QString::fromUtf8(chosen->pattern).section(';', 0, 0).mid(1);
        }
    }
    if (!StartSave(name, replace)) return false;
    if (!wait) return true;
    WaitForCommand();
    return m_save.ok;
}

bool CPelidorDoc::CanCloseFrame() {
    // A file being read is not wanted any more; one being written is finished first.
    DiscardLoad();
    if (IsBusy() && !m_bWorkerChangesImage) WaitForCommand();
    CPelidorApp* app = AfxGetPelidorApp();
    if (m_bStartPage && !(app && app->m_bClosing)) {
        AfxMessageBox(ResourceString(1258));
        return false;
    }
    if (Views().size() > 1 || !IsModified()) return true;
    if (IsBusy()) {
        // What "Save changes?" is about is the command's result: the close goes on when the
        // command has ended, and asks then.
        m_bCloseWhenDone = true;
        return false;
    }
    switch (AskSaveChanges()) {
    case IDCANCEL: return false;
    case IDYES:
        // The file is written in the background; the window closes when it is whole, and
        // stays, with the reason shown, when it cannot be written.
        if (!SaveAs(GetPathName(), true, false)) return false;
        m_bCloseWhenDone = true;
        return false;
    default: return true;
    }
}

// A document is never saved while a worker changes its image: the command ends first.
bool CPelidorDoc::SaveModified() {
    if (IsModified() && IsBusy()) {
        WaitForCommand();
        if (IsBusy()) return false;  // still running: neither saved nor closed
    }
    return CDocument::SaveModified();
}
