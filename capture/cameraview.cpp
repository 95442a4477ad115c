#include "capture/cameraview.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRect>
#include <QStorageInfo>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ui/promptservice.h"
#include "capture/areawhitebalance.h"
#include "video/avifile.h"
#include "capture/backcorrection.h"
#include "capture/cameradisplay.h"
#include "capture/cameramodeltraits.h"
#include "capture/camerathread.h"
#include "capture/camerasettings.h"
#include "capture/regionchooser.h"
#include "ui/messages.h"
#include "controls/progressdialog.h"
#include "platform/clock.h"
#include "vekcamera/VekCamera.h"

namespace {

const char kCannotSaveText[] = "This path can't save image!";  // string 61451

// The extension a writer really gives a file of this type.
QString WrittenExtension(int fileType, bool captureToFile) {
    switch (fileType) {
    case CAPTURE_FILE_JPEG: return QStringLiteral(".jpg");
    case CAPTURE_FILE_RAW: return QStringLiteral(".raw");
    case CAPTURE_FILE_TIFF: return captureToFile ? QStringLiteral(".tif") : QStringLiteral(".tiff");
    default: return QStringLiteral(".bmp");
    }
}

// The path without its extension, its folder as written.
QString StemOf(const QString& path) {
    const QFileInfo info(path);
    return path.left(path.size() - info.fileName().size()) + info.completeBaseName();
}

// A stem whose written file does not exist yet: the stem itself, else stem_1, stem_2, ...
QString FreeStem(const QString& stem, const QString& ext) {
    if (!QFileInfo::exists(stem + ext))
        return stem;
    for (int n = 1;; ++n) {
        const QString candidate = stem + QStringLiteral("_%1").arg(n);
        if (!QFileInfo::exists(candidate + ext))
            return candidate;
    }
}

bool WrittenFileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && info.size() > 0;
}

// A folder that is missing or on a read-only filesystem cannot take a snap.
bool FolderCanSave(const QString& path) {
    const QFileInfo info(QFileInfo(path).absolutePath());
    if (!info.exists() || !info.isDir())
        return false;
    const QStorageInfo storage(info.absoluteFilePath());
    return storage.isValid() && !storage.isReadOnly();
}

}  // namespace

CCameraView::CCameraView(QWidget* parent)
    : CLiveView(parent, Style{.mapOnlyShown = false, .recordTimeLimit = true},
                m_source) {
    m_snapTimer.setInterval(100);
    QObject::connect(&m_snapTimer, &QTimer::timeout, this, [this] { OnSnapTimer(); });
}

CCameraView::~CCameraView() {
    // No job of the camera thread may still use the view.
    CCameraThread::Instance().Drain();
    if (m_source.Running())
        Shutdown(m_pSettings);
}

// ---- lifecycle ----------------------------------------------------------------------------

int CCameraView::Init(CameraSettings* settings) {
    if (m_byRunState.load() != kStop || m_source.Running() || !settings)
        return 0;
    int w = 0, h = 0;
    if (VekCameraGetImageSize(&w, &h) != CAMERA_OK || w <= 0 || h <= 0)
        return 0;
    m_pSettings = settings;
    m_nCameraId = settings->nCameraId;
    m_source.Allocate(*settings, w, h);
    const size_t rgbBytes = static_cast<size_t>(w) * h * 3;
    // The crop buffer holds any region of the frame, so a cut never reallocates it.
    SetFrameSize(w, h, rgbBytes);
    {
        std::lock_guard<std::mutex> g(m_targetLock);
        if (m_pTarget)
            m_pTarget->Configure(w, h);
    }
    m_bRecording = 0;
    StartThreads();
    LayoutDisplay();
    return 1;
}

int CCameraView::Shutdown(CameraSettings*) {
    if (!BeginShutdown())
        return 0;
    // A snap still being written finishes first: it restarts the threads when it is done.
    CCameraThread::Instance().Drain();
    StopThreads();
    EndShutdown();
    return 1;
}

bool CCameraView::BeginShutdown() {
    if (!m_source.Running())
        return false;
    StopRecording();
    if (!m_bSaving && (m_snapTimer.isActive() || m_pProgress)) {
        // A snap waiting on its exposure ends without a file, so the snap thread goes on.
        m_snapTimer.stop();
        FinishSnap(QString());
    }
    ChangeRunState(kStop);
    return true;
}

void CCameraView::EndShutdown() {
    if (m_source.Running())
        return;  // opened again meanwhile
    FinishPendingClose();
    FreeBuffers();
    LayoutDisplay();
}

void CCameraView::FreeBuffers() {
    m_source.Free();
    FreeCrop();
}

bool CCameraView::SensorWindow() const {
    return CameraModelTraits::Of(m_nCameraId).sensorWindowMean && m_pSettings &&
           (m_pSettings->byPreviewRes == 2 || m_pSettings->byPreviewRes == 3);
}

void CCameraView::StartThreads() {
    if (m_source.Running() || !m_source.Allocated())
        return;
    // The record is the UI thread's: a restart on the camera thread uses what Init read.
    if (!CCameraThread::Instance().IsCurrent())
        m_bSensorWindow = SensorWindow();
    ChangeRunState(kRun);
    m_source.Start(this, m_bSensorWindow);
}

void CCameraView::StopThreads() {
    ChangeRunState(kStop);
    m_source.Stop();
}

void CCameraView::SetRunState(BYTE state) {
    if (state == kStop) {
        StopThreads();
        return;
    }
    if (m_source.Running())
        ChangeRunState(state);
}

void CCameraView::ChangeRunState(BYTE state) {
    m_byRunState = state;
    m_byRunState.notify_all();
}

void CCameraView::OnFrame(const BYTE* bgr24, uint64_t sequence) {
    const RECT source = SourceRect();
    {
        // Held while presenting, so a target being taken away is not in use when it goes.
        std::lock_guard<std::mutex> g(m_targetLock);
        IViewFinder* target = m_pTarget ? m_pTarget : static_cast<IViewFinder*>(m_pDisplay);
        target->PresentFrame(bgr24, source, sequence);
    }
    m_nShownSequence = sequence;
    ++m_nShown;
    RecordFrame(bgr24);
}

// ---- layout and input ---------------------------------------------------------------------

void CCameraView::mouseDoubleClickEvent(QMouseEvent*) {
    if (m_hFrame)
        PostMessage(m_hFrame, WM_COMMAND, kCmdFullScreen, 0);
}

void CCameraView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && m_hFrame) {
        PostMessage(m_hFrame, WM_COMMAND, kCmdRestoreRegion, 0);
        return;
    }
    QWidget::keyPressEvent(e);
}

void CCameraView::SetCross(int show, COLORREF colour) { m_pDisplay->SetCross(show != 0, colour); }
int CCameraView::CrossShown() const { return m_pDisplay->CrossShown() ? 1 : 0; }
COLORREF CCameraView::CrossColour() const { return m_pDisplay->CrossColour(); }

void CCameraView::SetDisplayTarget(IViewFinder* target) {
    std::lock_guard<std::mutex> g(m_targetLock);
    if (target && m_nWidth > 0)
        target->Configure(m_nWidth, m_nHeight);
    m_pTarget = target;
}

int CCameraView::AreaWhiteBalance() {
    if (m_byRunState.load() != kRun || !m_pChooser)
        return 0;
    const int pattern = VekCameraDecodeType();
    if (pattern == 4)
        return 0;
    RECT chosen{};
    if (!m_pChooser->ChooseRegion(ScreenRect(), &chosen))
        return 0;
    RECT area{};
    if (!MapScreenToImage(chosen, &area))
        return 0;
    StopThreads();
    // The threads are stopped: the display's raw frame and the RGB buffer are free to use.
    const ChannelMeans m = AreaChannelMeans(m_source.DisplayRaw(), m_source.Scratch(), m_nWidth, m_nHeight, pattern, area);
    const int red = m.m1 * 64 / m.m2, green = 64, blue = m.m1 * 64 / m.m0;
    VekCameraSetGain(red, green, blue);
    if (m_pSettings) {
        m_pSettings->redGain.nValue = red;
        m_pSettings->greenGain.nValue = green;
        m_pSettings->blueGain.nValue = blue;
    }
    StartThreads();
    return 1;
}

int CCameraView::WhiteBalanceWizard() {
    if (!m_wizardFactory)
        return 0;
    WizardHandle wizard = m_wizardFactory(this, m_pDisplay->width(), m_pDisplay->height());
    if (!wizard.dialog)
        return 0;
    SetDisplayTarget(wizard.display);
    const int result = wizard.dialog->exec();
    SetDisplayTarget(nullptr);
    wizard.dialog.reset();
    return result;
}

// ---- snaps --------------------------------------------------------------------------------

bool CCameraView::SnapPending() const { return m_snapTimer.isActive() || m_bSaving; }

void CCameraView::StartSnap(const QString& path, CameraSettings* settings) {
    m_strSnapPath = path;
    if (settings) {
        // The display thread reads the pointer: rewrite it only when another record is handed in.
        if (settings != m_pSettings) m_pSettings = settings;
        m_bySnapType = static_cast<BYTE>(settings->snap.uiFiletype);
    }
    const CameraModelTraits& traits = CameraModelTraits::Of(m_nCameraId);
    if (m_pSettings && m_pSettings->bLongExposure && !traits.snapIgnoresLongExposure) {
        if (m_source.Running()) {
            StopThreads();  // a fresh exposure starts now
            StartThreads();
        }
        SetSkipNext();
        int exposure = 0;
        VekCameraGetExposureTime(&exposure);
        m_nTick = 0;
        m_nTickTotal = (exposure + 99) / 100 + 20;
        if (!traits.delayedSnap) {
            // Shown while the file is written; the snap's end takes it down.
            CreateProgress(false, QStringLiteral("Wait a moment!"));
            SaveSnap();
            return;
        }
    }
    // Outside long-exposure mode the counters are not reset, so the first tick saves.
    CreateProgress(true);
    m_snapTimer.start();
}

void CCameraView::OnSnapTimer() {
    if (m_nTick < m_nTickTotal) {
        if (m_pProgress && m_pProgress->IsCancelled()) {
            m_snapTimer.stop();
            DestroyProgress();
            FinishSnap(QString());
            return;
        }
        ++m_nTick;
        if (m_pProgress)
            m_pProgress->SetPos(m_nTick * 100 / m_nTickTotal);
        return;
    }
    m_snapTimer.stop();
    DestroyProgress();
    SaveSnap(m_pSettings && m_pSettings->bFineMode);
}

void CCameraView::SaveSnap(bool fineMode) {
    const QString path = m_strSnapPath;
    if (path.isEmpty() || !FolderCanSave(path)) {
        AfxMessageBox(QString::fromUtf8(kCannotSaveText));
        FinishSnap(QString());
        return;
    }
    if (!m_source.Running() || m_byRunState.load() == kStop) {
        FinishSnap(QString());
        return;
    }
    const int type = m_bySnapType;
    const CameraModelTraits& traits = CameraModelTraits::Of(m_nCameraId);
    // What the camera thread writes: decoded pixels copied here, or the camera's own capture.
    struct Shot {
        std::vector<BYTE> pixels;
        int width = 0, height = 0;
        bool capture = false, wide = false;
        int resolution = 0;
        QString written;
        bool ok = false;
    };
    auto shot = std::make_shared<Shot>();
    RECT region;
    if (CurrentRegion(&region)) {
        shot->width = region.right - region.left;
        shot->height = region.bottom - region.top;
        shot->pixels.resize(static_cast<size_t>(shot->width) * shot->height * 3);
        m_source.CopySnapRegion(region, shot->pixels.data());
    } else if (traits.writesNoSnap) {
        FinishSnap(QString());  // this model writes nothing
        return;
    } else if (traits.decodedSnap && type != CAPTURE_FILE_RAW && !(traits.wideTiffCapture && type == CAPTURE_FILE_TIFF)) {
        shot->pixels = m_source.CopySnap();
        shot->width = m_nWidth;
        shot->height = m_nHeight;
    } else {
        shot->capture = true;
        shot->wide = traits.decodedSnap;
        shot->resolution = m_pSettings ? m_pSettings->byCaptureRes : 0;
    }
    m_bSaving = true;
    CCameraThread::Instance().Post(this, [this, shot, path, type, fineMode] {
        int exposure = 0, gain = 0;
        BYTE speed = 0;
        if (fineMode) {
            VekCameraGetExposureTime(&exposure);
            VekCameraGetAnalogGain(&gain);
            VekCameraGetSpeedMode(&speed);
            VekCameraSetSpeedMode(3);
            VekCameraSetAnalogGain(171);
            VekCameraSetExposureTime(static_cast<unsigned>(exposure));
        }
        if (shot->capture)
            CaptureToFile(path, type, shot->resolution, shot->wide, &shot->written, &shot->ok);
        else
            WriteDecoded(path, type, shot->pixels.data(), shot->width, shot->height, &shot->written, &shot->ok);
        if (fineMode) {
            VekCameraSetSpeedMode(speed);
            VekCameraSetAnalogGain(gain & 0xFFFF);
            VekCameraSetExposureTime(static_cast<unsigned>(exposure));
        }
    }, [this, shot] {
        m_bSaving = false;
        if (!shot->ok || !WrittenFileExists(shot->written)) {
            DestroyProgress();
            AfxMessageBox(QString::fromUtf8(kCannotSaveText));
            FinishSnap(QString());
            return;
        }
        FinishSnap(shot->written);
    });
}

void CCameraView::WriteDecoded(const QString& path, int type, const BYTE* pixels, int w, int h, QString* written,
                               bool* ok) {
    // The hub writes exactly the path it is given: a RAW file is named for what it holds, and an
    // existing file is never overwritten.
    QString ext = QFileInfo(path).suffix();
    ext = type == CAPTURE_FILE_RAW || ext.isEmpty() ? WrittenExtension(type, false) : QStringLiteral(".") + ext;
    *written = FreeStem(StemOf(path), ext) + ext;
    *ok = VekCameraSave(static_cast<unsigned>(type), written->toUtf8().constData(), pixels, w, h) == 1;
}

void CCameraView::CaptureToFile(const QString& path, int type, int resolution, bool wide, QString* written, bool* ok) {
    const QString ext = WrittenExtension(type, true);
    const QString stem = FreeStem(StemOf(path), ext);
    StopThreads();
    BYTE speed = 0;
    if (wide) {
        VekCameraGetSpeedMode(&speed);
        VekCameraSetSpeedMode(1);
        VekCameraSetDataWide(1);
    }
    *ok = VekCameraCaptureFile(stem.toUtf8().constData(), type, resolution) == CAMERA_OK;
    if (wide) {
        VekCameraSetDataWide(0);
        VekCameraSetSpeedMode(speed);
    }
    StartThreads();
    *written = stem + ext;
}

void CCameraView::FinishSnap(const QString& path) {
    DestroyProgress();
    if (!m_hFrame)
        return;
    if (path.isEmpty()) {
        SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, 0);
        return;
    }
    const QByteArray utf8 = path.toUtf8();
    SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, reinterpret_cast<LPARAM>(utf8.constData()));
}
