#include "app/pelidordoc.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QMdiSubWindow>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/measuredialog.h"
#include "ui/messages.h"
#include "app/pelidorapp.h"
#include "app/pelidorview.h"
#include "ui/promptservice.h"
#include "outside/vekmeasure/qomeasure.h"
#include "platform/surface.h"
#include "resources/resourcetable.h"

namespace {
const float kZoomLadder[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 4.0f, 8.0f, 16.0f};
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

int64_t Counter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

QString PathExtension(const QString& path) {
    const int dot = path.lastIndexOf('.');
    return dot < 0 ? QString() : path.mid(dot + 1);
}

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

CPelidorDoc::CPelidorDoc() {
    m_llFrequency = 1000000000;  // the steady clock counts nanoseconds
    RegisterWindow(this);
    RegisterCommands();
}

CPelidorDoc::~CPelidorDoc() {
    // Ask the running operation to stop early, then wait for both threads: they only post,
    // so waiting here cannot deadlock. A save is left to finish: its file must be whole.
    if (m_pImage && m_bWorkerChangesImage) m_pImage->SetEscape(1);
    {
        std::lock_guard<std::mutex> g(m_threadLock);
        m_bStopPolling = true;
    }
    m_threadWake.notify_all();
    if (m_worker.joinable()) m_worker.join();
    if (m_progress.joinable()) m_progress.join();
    UnregisterWindow();
    delete m_pBefore;
    delete m_pImage;
    CMeasureDialog::CloseTable(m_pMeasure);
    delete m_pMeasure;
    delete m_save.burnt;
}

bool CPelidorDoc::OnNewDocument() {
    delete m_pImage;
    m_pImage = nullptr;
    return true;
}

void CPelidorDoc::SetImage(PxImage* image) {
    if (image == m_pImage) return;
    delete m_pImage;
    m_pImage = image;
}

PxImage* CPelidorDoc::GetDisplayImage() const {
    // A save only reads the image, so it stays what the views draw.
    if (!IsBusy() || !m_bWorkerChangesImage) return m_pImage;
    // The snapshot taken before the command started is what the user saw.
    return m_pBefore;
}

CPelidorView* CPelidorDoc::GetFirstPelidorView() const { return dynamic_cast<CPelidorView*>(FirstView()); }

void CPelidorDoc::CommandTimer(bool start) {
    if (start) {
        m_llStart = Counter();
        return;
    }
    m_llStop = Counter();
    m_fElapsed = m_llFrequency ? static_cast<float>(static_cast<double>(m_llStop - m_llStart) / m_llFrequency) : -1.0f;
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
    if (image->GetType() == 3) {
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

// Burns the measurement units into a copy of the image. The result keeps the source's
// information block (resolution, quality, codec options, transparency), its alpha plane and,
// for indexed images, its depth and palette.
PxImage* CPelidorDoc::RenderMeasureOverlay() {
    const int w = static_cast<int>(m_pImage->GetWidth()), h = static_cast<int>(m_pImage->GetHeight());
    QImage canvas(w, h, QImage::Format_RGB32);
    canvas.fill(Qt::white);  // a defined background under transparent pixels
    PxSurface s = PxSurfaceOver(canvas.bits(), w, h, static_cast<int32_t>(canvas.bytesPerLine()));
    m_pImage->Draw(&s, 0, 0, w, h);
    const QImage plain = canvas.copy();
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing);
        m_pMeasure->SetScale(1.0);
        m_pMeasure->SetInfoFrmZoom(1, m_fZoom < 1.0f ? 0.9 / m_fZoom : 1.0);
        m_pMeasure->DrawAllUnit(&p, QPoint(0, 0));
        m_pMeasure->SetInfoFrmZoom(0, 1.0);
    }
    PxImage burnt;
    if (!burnt.CreateFromHBITMAP(&s)) return nullptr;
    auto* out = new PxImage(*m_pImage, false, false, true);  // information block, palette and alpha
    if (m_pImage->IsIndexed()) {
        // Overlay pixels take the nearest palette colour; where that is the colour already
        // there (a red line on a black-and-white image), the most distant one keeps it visible.
        const DWORD n = out->GetNumColors();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const BYTE old = m_pImage->GetPixelIndex(x, y);
                if (canvas.pixel(x, h - 1 - y) == plain.pixel(x, h - 1 - y)) {
                    out->SetPixelIndex(x, y, old);
                    continue;
                }
                BYTE idx = out->GetNearestIndex(burnt.GetPixelColor(x, y, false));
                if (idx == old) {
                    const RGBQUAD o = out->GetPaletteColor(old);
                    int64_t best = -1;
                    for (DWORD i = 0; i < n; i++) {
                        const RGBQUAD c = out->GetPaletteColor(static_cast<BYTE>(i));
                        const int64_t d = (c.rgbRed - o.rgbRed) * (c.rgbRed - o.rgbRed) +
                                       (c.rgbGreen - o.rgbGreen) * (c.rgbGreen - o.rgbGreen) +
                                       (c.rgbBlue - o.rgbBlue) * (c.rgbBlue - o.rgbBlue);
                        if (d > best) {
                            best = d;
                            idx = static_cast<BYTE>(i);
                        }
                    }
                }
                out->SetPixelIndex(x, y, idx);
            }
    } else {
        // Pixels the overlay left alone keep their exact values (a transparent colour included).
        for (int y = 0; y < h; y++) {
            memcpy(out->GetBits(y), m_pImage->GetBits(y), out->GetEffWidth());
            for (int x = 0; x < w; x++)
                if (canvas.pixel(x, h - 1 - y) != plain.pixel(x, h - 1 - y))
                    memcpy(out->GetBits(y) + x * 3, burnt.GetBits(y) + x * 3, 3);
        }
    }
    return out;
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
    if (!m_pImage || type == 0) return false;
    // A command that changes the image ends before its pixels are written.
    if (IsBusy()) WaitForCommand();
    if (!CommandEnableImageIdle()) return false;
    if (type == 2 && m_pImage->GetBpp() > 8)
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

bool CPelidorDoc::DoSave(const QString& path, bool replace) { return SaveAs(path, replace, true); }

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
        if (DocFormatFromExtension(PathExtension(QFileInfo(name).fileName()).toLower()) == 0) {
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

void CPelidorDoc::RefreshStatusPanes() {
    CMainFrame* mf = AfxGetMainFrame();
    if (!m_pImage || !mf) return;
    PxImage* img = GetDisplayImage() ? GetDisplayImage() : m_pImage;
    mf->SetPaneText(4, QString::asprintf("(%ux%ux%u)", img->GetWidth(), img->GetHeight(), img->GetBpp()));
    const CFormatRow* row = FindFormatRow(static_cast<int>(img == m_pImage ? FileFormat() : img->GetType()));
    mf->SetPaneText(3, row ? QString::fromUtf8(row->description).left(3) : QString());
    mf->SetPaneText(2, QString::asprintf("Time (s): %.3f", m_fElapsed));
}

// ---- zoom ----

void CPelidorDoc::SetZoom(float zoom, bool showInCombo, const QString& text) {
    m_fZoom = zoom;
    if (showInCombo)
        if (CMainFrame* mf = AfxGetMainFrame()) {
            mf->SetPaneText(2, text);
            mf->SetZoomComboText(text);
        }
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
}

void CPelidorDoc::ZoomIn() {
    if (m_fZoom >= 16) return;
    float z = 16;
    for (float step : kZoomLadder)
        if (step > m_fZoom) {
            z = step;
            break;
        }
    SetZoom(z, true, QString::asprintf("%4.0f %%", z * 100));
}

void CPelidorDoc::ZoomOut() {
    if (m_fZoom <= 0.0625f) return;
    float z = 0.25f;
    for (float step : kZoomLadder)
        if (step < m_fZoom) z = step;
    SetZoom(z, true, QString::asprintf("%4.0f %%", z * 100));
}

bool CPelidorDoc::ZoomList(const QString& input) {
    const QString t = input.trimmed();
    for (int i = 0; i < t.size(); i++) {
        if (t[i].isDigit() && t[i].unicode() < 128) continue;
        if (t[i] == '%' && i == t.size() - 1) continue;
        AfxMessageBox("ERROR!");
        return false;
    }
    // Digits beyond what an int holds saturate at the top of the range.
    const QString digits = t.endsWith('%') ? t.left(t.size() - 1) : t;
    long long n = 0;
    for (QChar c : digits) {
        n = n * 10 + (c.unicode() - '0');
        if (n > 1600) {
            n = 1600;
            break;
        }
    }
    n = std::clamp<long long>(n, 25, 1600);
    SetZoom(static_cast<float>(n * 0.01), true, QString("%1%").arg(n));
    return true;
}

const char* const CPelidorDoc::kCommandFailedText = "The command could not be applied to this image.";

// ---- undo ring ----

bool CPelidorDoc::PushUndoSnapshot() {
    if (!m_pImage || !m_pImage->IsValid()) {
        // Nothing to keep, but the steps that could be redone are gone as after any change.
        m_undo.Push(nullptr);
        return false;
    }
    m_undo.Push(std::make_unique<PxImage>(*m_pImage, true, true, true));
    return true;
}

void CPelidorDoc::OnEditUndo() {
    if (!m_pImage || IsBusy() || !m_undo.CanUndo()) return;
    const QTransform moved = m_undo.Undo(m_pImage);
    if (m_pMeasure && !moved.isIdentity()) m_pMeasure->TransformImage(moved.inverted());
    SetModifiedFlag();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    RefreshStatusPanes();
}

void CPelidorDoc::OnEditRedo() {
    if (!m_pImage || IsBusy() || !m_undo.CanRedo()) return;
    const QTransform moved = m_undo.Redo(m_pImage);
    if (m_pMeasure && !moved.isIdentity()) m_pMeasure->TransformImage(moved);
    SetModifiedFlag();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    RefreshStatusPanes();
}

// ---- threaded commands ----

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
    m_bCommandPushed = false;
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

namespace {
struct DocCommandEntry {
    CPelidorDoc::DocCommand handler;
    CPelidorDoc::DocCommandUpdate update;
};
std::unordered_map<UINT, DocCommandEntry>& DocCommands() {
    static std::unordered_map<UINT, DocCommandEntry> commands;  // UI thread only
    return commands;
}
}  // namespace

void CPelidorDoc::RegisterDocumentCommand(UINT id, DocCommand handler, DocCommandUpdate update) {
    DocCommands()[id] = DocCommandEntry{std::move(handler), std::move(update)};
}

bool CPelidorDoc::OnCmdMsg(UINT id) {
    if (CDocument::OnCmdMsg(id)) return true;
    auto it = DocCommands().find(id);
    if (it == DocCommands().end() || !it->second.handler) return false;
    it->second.handler(*this);
    return true;
}

bool CPelidorDoc::OnUpdateCmdUI(CCmdUI* ui) {
    if (CDocument::OnUpdateCmdUI(ui)) return true;
    auto it = DocCommands().find(ui->m_nID);
    if (it == DocCommands().end()) return false;
    if (it->second.update) it->second.update(*this, ui);
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
        PostMessage(target, WM_IMAGE_OP_PROGRESS, static_cast<WPARAM>(p), 0);
    }
    // Done is reported only once the worker really is done.
    {
        std::unique_lock<std::mutex> g(m_threadLock);
        m_threadWake.wait(g, [this] { return m_bWorkerDone; });
    }
    PostMessage(target, WM_IMAGE_OP_PROGRESS, 100, 0);
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
    m_bCommandPushed = m_pBefore != nullptr;
    m_undo.Push(std::unique_ptr<PxImage>(std::exchange(m_pBefore, nullptr)));
    ImageGeometry geometry;
    {
        std::lock_guard<std::mutex> g(OperationsLock());
        auto it = Operations().find(m_ImageCommandId);
        if (it != Operations().end()) geometry = it->second.geometry;
    }
    if (geometry && m_bCommandPushed && m_pImage->IsValid()) {
        const PxImage* before = m_undo.Last();
        RecordGeometry(geometry(m_ImageCommandParams, QSizeF(before->GetWidth(), before->GetHeight()),
                                QSizeF(m_pImage->GetWidth(), m_pImage->GetHeight())));
    }
    SetModifiedFlag();
    return QString();
}

void CPelidorDoc::WaitForCommand() {
    QElapsedTimer t;
    t.start();
    while (IsBusy() && t.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        PumpPrivateMessages();
    }
}

LRESULT CPelidorDoc::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_IMAGE_OP_PROGRESS:
        if (CMainFrame* mf = AfxGetMainFrame()) mf->SetPaneText(2, QString("%1 %").arg(static_cast<int>(wParam)));
        return 0;
    case WM_IMAGE_OP_DONE:
    {
        if (!IsBusy()) return 0;
        const QString failure = FinishImageCommand();
        UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
        RefreshStatusPanes();
        if (CMainFrame* mf = AfxGetMainFrame()) mf->Router()->UpdateAll();
        if (!failure.isEmpty()) AfxMessageBox(failure);
        return 0;
    }
    default: return 0;
    }
}

// ---- synchronous commands ----

void CPelidorDoc::Crop() {
    if (!CommandEnableImageIdle() || m_nSelPoints < 3) return;
    int l = m_SelPoints[0].x(), r = l, t = m_SelPoints[0].y(), b = t;
    for (int i = 1; i < m_nSelPoints; i++) {
        l = std::min(l, m_SelPoints[i].x());
        r = std::max(r, m_SelPoints[i].x());
        t = std::min(t, m_SelPoints[i].y());
        b = std::max(b, m_SelPoints[i].y());
    }
    // An image without pixels pushes no snapshot; a refusal then has none of its own to drop.
    const bool pushed = m_pImage->IsValid();
    PushUndoSnapshot();
    bool ok;
    // Where the picture's pixels land in the cut image, for the measurements.
    QTransform moved = QTransform::fromTranslate(-std::max(l, 0), -std::max(t, 0));
    if (m_bRotatedSelection && m_nSelPoints == 5) {
        // The turned rectangle: from its top corner (smallest y, then smallest x, the later
        // point when all are equal) along the next point for the width, back to the previous
        // point for the height, at the angle of the edge to the next point.
        int c = 0;
        for (int i = 1; i < 4; i++) {
            const QPoint& p = m_SelPoints[i];
            const QPoint& q = m_SelPoints[c];
            if (p.y() < q.y() || (p.y() == q.y() && p.x() <= q.x())) c = i;
        }
        const QPoint corner = m_SelPoints[c], next = m_SelPoints[(c + 1) % 4], prev = m_SelPoints[(c + 3) % 4];
        const double width = std::hypot(double(next.x() - corner.x()), double(next.y() - corner.y()));
        const double height = std::hypot(double(prev.x() - corner.x()), double(prev.y() - corner.y()));
        const double angle = std::atan2(double(next.y() - corner.y()), double(next.x() - corner.x()));
        ok = m_pImage->CropRotatedRectangle(corner.x(), corner.y(), static_cast<LONG>(width), static_cast<LONG>(height),
                                            static_cast<float>(angle));
        // The rectangle's centre becomes the cut image's, its edge to the next point level.
        const QPointF centre = QPointF(corner) + (QPointF(next - corner) + QPointF(prev - corner)) / 2;
        moved = QTransform()
                    .translate(m_pImage->GetWidth() / 2.0, m_pImage->GetHeight() / 2.0)
                    .rotateRadians(-angle)
                    .translate(-centre.x(), -centre.y());
    } else {
        // Selection points are pixels (inclusive); the crop rectangle's right and bottom are exclusive.
        ok = m_pImage->Crop(l, t, r + 1, b + 1);
    }
    if (!ok) {
        // The library refused: the undo step would restore an unchanged image, drop it.
        if (pushed) m_undo.DropLast();
        AfxMessageBox(QString::fromUtf8(m_pImage->GetLastError()).trimmed().isEmpty()
                          ? QString::fromUtf8(kCommandFailedText)
                          : QString::fromUtf8(m_pImage->GetLastError()));
        return;
    }
    if (pushed) RecordGeometry(moved);
    m_nSelPoints = 0;
    m_bRotatedSelection = false;
    SetModifiedFlag();
    RefreshStatusPanes();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
}

void CPelidorDoc::Duplicate() {
    if (!CommandEnableImageIdle()) return;
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(GetDocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return;
    doc->SetImage(new PxImage(*m_pImage, true, true, true));
    doc->SetTitle(QString("Copy %1 of %2").arg(app->m_nNewImage++).arg(GetTitle()));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

void CPelidorDoc::RegisterCommands() {
    auto idle = [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle()); };
    for (UINT id : {ID_IMAGE_MIRROR, ID_IMAGE_FLIP, ID_IMAGE_ROTATEL, ID_IMAGE_ROTATER, ID_IMAGE_NEGATIVE}) {
        OnCommand(id, [this, id] { StartImageCommand(static_cast<int>(id)); });
        OnUpdateUI(id, idle);
    }
    OnCommand(ID_IMAGE_DUPLICATE, [this] { Duplicate(); });
    OnUpdateUI(ID_IMAGE_DUPLICATE, idle);
    OnCommand(ID_IMAGE_CROP, [this] { Crop(); });
    OnUpdateUI(ID_IMAGE_CROP, [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle() && m_nSelPoints >= 3); });

    OnCommand(ID_EDIT_UNDO, [this] { OnEditUndo(); });
    OnUpdateUI(ID_EDIT_UNDO, [this](CCmdUI* ui) {
        ui->Enable(m_pImage && !IsBusy() && m_undo.CanUndo());
        ui->SetText(QString("%1 (%2)\tCtrl+Z").arg(ResourceString(1240)).arg(m_undo.Level()));
    });
    OnCommand(ID_EDIT_REDO, [this] { OnEditRedo(); });
    OnUpdateUI(ID_EDIT_REDO, [this](CCmdUI* ui) {
        ui->Enable(m_pImage && !IsBusy() && m_undo.CanRedo());
    });

    OnCommand(ID_FILE_SAVE_AS, [this] { SaveAsInBackground(); });
    OnUpdateUI(ID_FILE_SAVE_AS, idle);
    OnUpdateUI(ID_FILE_SAVE, [](CCmdUI* ui) { ui->Enable(false); });

    OnCommand(ID_VIEW_ZOOMIN, [this] { ZoomIn(); });
    OnUpdateUI(ID_VIEW_ZOOMIN, [this](CCmdUI* ui) { ui->Enable(m_pImage && !m_bStretch && m_fZoom < 16); });
    OnCommand(ID_VIEW_ZOOMOUT, [this] { ZoomOut(); });
    OnUpdateUI(ID_VIEW_ZOOMOUT, [this](CCmdUI* ui) { ui->Enable(m_pImage && !m_bStretch && m_fZoom > 0.25f); });
    OnCommand(ID_VIEW_NORMALVIEWING11, [this] {
        m_fZoom = 1.0f;
        UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    });
    OnUpdateUI(ID_VIEW_NORMALVIEWING11, [this](CCmdUI* ui) { ui->Enable(!m_bStretch && m_fZoom != 1.0f); });

    OnCommand(ID_IMAGE_SETTRANSPARENCY, [this] { m_bPickTransparency = 1; });
    OnUpdateUI(ID_IMAGE_SETTRANSPARENCY, idle);
    OnCommand(ID_IMAGE_REMOVETRANSPARENCY, [this] {
        PushUndoSnapshot();
        m_pImage->SetTransIndex(-1);
        SetModifiedFlag();
        UpdateAllViews(nullptr, 0);
    });
    OnUpdateUI(ID_IMAGE_REMOVETRANSPARENCY,
             [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle() && m_pImage->GetTransIndex() >= 0); });

    OnCommand(ID_VIEW_TOOLS_MOVE, [this] { m_nTool = 0; });
    OnUpdateUI(ID_VIEW_TOOLS_MOVE, [this](CCmdUI* ui) {
        ui->Enable(m_pImage != nullptr);
        ui->SetCheck(m_nTool == 0);
    });
    OnCommand(ID_VIEW_TOOLS_SELECT, [this] { m_nTool = 1; });
    OnUpdateUI(ID_VIEW_TOOLS_SELECT, [this](CCmdUI* ui) { ui->SetCheck(m_nTool == 1); });
    OnCommand(ID_VIEW_TOOLS_TRACKER, [this] { m_nTool = 4; });
    OnUpdateUI(ID_VIEW_TOOLS_TRACKER, [this](CCmdUI* ui) { ui->SetCheck(m_nTool == 4); });
    OnCommand(ID_FILE_CLOSE, [this] {
        if (QWidget* f = GetDocTemplate() ? reinterpret_cast<QWidget*>(GetDocTemplate()->FrameOf(this)) : nullptr) f->close();
    });
}
