#include "app/pelidordoc.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "outside/vekmeasure/qomeasure.h"
#include "resources/resourcetable.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

namespace {

// Runs work on a thread while the UI thread keeps painting; the user's clicks and keys meanwhile
// are refused, not queued for later.
class CInputRefuser : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (!e->spontaneous()) return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Close: return true;
        default: return false;
        }
    }
};

void RunWhileRefusingInput(const std::function<void()>& work) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        work();
        {
            std::lock_guard<std::mutex> g(lock);
            done = true;
        }
        finished.notify_all();
        if (dispatcher) dispatcher->wakeUp();
    });
    // A small file is read before anyone could notice; only a longer load turns the window's
    // own events back on.
    bool quick;
    {
        std::unique_lock<std::mutex> g(lock);
        quick = finished.wait_for(g, std::chrono::milliseconds(100), [&] { return done; });
    }
    if (!quick) {
        CInputRefuser refuser;
        qApp->installEventFilter(&refuser);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        for (;;) {
            {
                std::lock_guard<std::mutex> g(lock);
                if (done) break;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QApplication::restoreOverrideCursor();
        qApp->removeEventFilter(&refuser);
    }
    worker.join();
}

}  // namespace

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
    // A large file loads on a thread, so the Open dialog is gone and the window repaints meanwhile.
    const QByteArray fileName = QFile::encodeName(path);
    PxImage* image = nullptr;
    RunWhileRefusingInput([&] { image = new PxImage(fileName.constData(), type); });
    CommandTimer(false);
    if (!image->IsValid()) {
        AfxMessageBox(FileFailureText(QString::fromUtf8(image->GetLastError()), true, path, 0));
        delete image;
        return false;
    }
    SetImage(image);
    m_dwFileFormat = 0;
    RefreshStatusPanes();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    if (image->GetType() == PXIMAGE_FORMAT_JPG) {
        if (FILE* fp = fopen(QFile::encodeName(path).constData(), "rb")) {
            m_exifHolder.DecodeExif(fp);
            fclose(fp);
        }
    }
    const LONG frames = image->GetNumFrames();
    if (frames > 1 &&
        AfxMessageBox(QString("File with %1 images. Read all?").arg(frames), MB_OKCANCEL) == IDOK) {
        for (LONG i = 1; i < frames; i++) {
            auto* doc = dynamic_cast<CPelidorDoc*>(GetDocTemplate()->OpenDocumentFile(QString()));
            if (!doc) break;
            auto* frame = new PxImage(type);
            frame->SetFrame(i);
            bool loaded = false;
            RunWhileRefusingInput([&] { loaded = frame->Load(fileName.constData(), type) && frame->IsValid(); });
            if (!loaded) {
                // A frame that does not read shows why; its document goes, the others stay.
                AfxMessageBox(FileFailureText(QString::fromUtf8(frame->GetLastError()), true, path, 0));
                delete frame;
                delete GetDocTemplate()->FrameOf(doc);
                break;
            }
            doc->SetImage(frame);
            doc->SetTitle(QString("%1 (%2)").arg(QFileInfo(path).fileName()).arg(i + 1));
            doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
        }
    }
    return true;
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
    // A file being written is finished before its document may go.
    if (IsBusy() && !m_bWorkerChangesImage) WaitForCommand();
    CPelidorApp* app = AfxGetPelidorApp();
    if (m_bStartPage && !(app && app->m_bClosing)) {
        AfxMessageBox(ResourceString(1258));
        return false;
    }
    return CDocument::CanCloseFrame();
}

// A document is never saved while a worker changes its image: the command ends first.
bool CPelidorDoc::SaveModified() {
    if (IsModified() && IsBusy()) {
        WaitForCommand();
        if (IsBusy()) return false;  // still running: neither saved nor closed
    }
    return CDocument::SaveModified();
}
