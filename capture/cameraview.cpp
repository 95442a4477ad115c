#include "capture/cameraview.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRect>

#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ui/promptservice.h"
#include "capture/areawhitebalance.h"
#include "video/avifile.h"
#include "capture/backcorrection.h"
#include "capture/cameradisplay.h"
#include "capture/cameramodeltraits.h"
#include "capture/camerasettings.h"
#include "capture/regionchooser.h"
#include "ui/messages.h"
#include "controls/progressdialog.h"
#include "platform/clock.h"
#include "vekcamera/VekCamera.h"

namespace {

const char kCannotSaveText[] = "This path can't save image!";  // string 61451
// Exposures up to this end a grab soon enough that a stop need not force them shorter.
constexpr int kShortExposureMs = 100;

size_t RawBufferSize(int id, int width, int height) {
    const size_t picture = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    return std::max(CameraModelTraits::Of(id).rawBytes, picture);
}

// The extension a writer really gives a file of this type.
QString WrittenExtension(int fileType, bool captureToFile) {
    switch (fileType) {
    case CAPTURE_FILE_JPEG: return QStringLiteral(".jpg");
    case CAPTURE_FILE_RAW: return QStringLiteral(".raw");
    case CAPTURE_FILE_TIFF: return captureToFile ? QStringLiteral(".tif") : QStringLiteral(".tiff");
    default: return QStringLiteral(".bmp");
    }
}

// The path without its extension (the last '.' after the last '/').
QString StemOf(const QString& path) {
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return dot > slash ? path.left(dot) : path;
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
    struct statvfs fs {};
    if (statvfs(QFile::encodeName(info.absoluteFilePath()).constData(), &fs) != 0)
        return false;
    return (fs.f_flag & ST_RDONLY) == 0;
}

uint64_t SteadyMicros() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

CCameraView::CCameraView(QWidget* parent)
    : CLiveView(parent, Style{.mapOnlyShown = false, .recordTimeLimit = true, .closeOnThread = true, .closeWaitMs = 0}) {
    m_snapTimer.setInterval(100);
    QObject::connect(&m_snapTimer, &QTimer::timeout, this, [this] { OnSnapTimer(); });
}

CCameraView::~CCameraView() {
    if (m_grabThread.joinable() || m_displayThread.joinable())
        Shutdown(m_pSettings);
}

// ---- lifecycle ----------------------------------------------------------------------------

int CCameraView::Init(CameraSettings* settings) {
    if (m_byRunState.load() != kStop || m_grabThread.joinable() || !settings)
        return 0;
    int w = 0, h = 0;
    if (VekCameraGetImageSize(&w, &h) != CAMERA_OK || w <= 0 || h <= 0)
        return 0;
    m_pSettings = settings;
    m_nCameraId = settings->nCameraId;
    m_pBackApply = &settings->bBackCorrApply;
    if (settings->pBackPoints && settings->nBackPoints > 0)
        m_backPoints.assign(settings->pBackPoints, settings->pBackPoints + settings->nBackPoints);
    else
        m_backPoints.clear();
    m_nRawSize = RawBufferSize(m_nCameraId, w, h);
    for (auto& raw : m_rawStore)
        raw.assign(m_nRawSize, 0);
    m_pGrabRaw = m_rawStore[0].data();
    m_mailbox.Reset(m_rawStore[1].data());
    m_pDisplayRaw = m_rawStore[2].data();
    const size_t rgbBytes = static_cast<size_t>(w) * h * 3;
    m_rgb.assign(rgbBytes, 0);
    {
        std::lock_guard<std::mutex> g(m_snapLock);
        m_snap.assign(rgbBytes, 0);
    }
    // The crop buffer holds any region of the frame, so a cut never reallocates it.
    SetFrameSize(w, h, rgbBytes);
    {
        std::lock_guard<std::mutex> g(m_targetLock);
        if (m_pTarget)
            m_pTarget->Configure(w, h);
    }
    m_bSkipNext = 0;
    m_bRecording = 0;
    StartThreads();
    LayoutDisplay();
    return 1;
}

int CCameraView::Shutdown(CameraSettings*) {
    if (!m_grabThread.joinable() && !m_displayThread.joinable())
        return 0;
    if (StopRecording())
        SleepMs(200);  // the display may be writing its last frame
    StopThreads();
    FinishPendingClose();
    if (m_snapTimer.isActive() || m_pProgress) {
        // A snap waiting on its exposure ends without a file, so the snap thread goes on.
        m_snapTimer.stop();
        DestroyProgress();
        FinishSnap(QString());
    }
    FreeBuffers();
    LayoutDisplay();
    return 1;
}

void CCameraView::FreeBuffers() {
    for (auto& raw : m_rawStore)
        std::vector<BYTE>().swap(raw);
    m_pGrabRaw = m_pDisplayRaw = nullptr;
    m_mailbox.Reset(nullptr);
    std::vector<BYTE>().swap(m_rgb);
    {
        std::lock_guard<std::mutex> g(m_snapLock);
        std::vector<BYTE>().swap(m_snap);
    }
    FreeCrop();
}

void CCameraView::StartThreads() {
    if (m_grabThread.joinable() || m_displayThread.joinable() || !m_pGrabRaw)
        return;
    const bool bigPreview = CameraModelTraits::Of(m_nCameraId).sensorWindowMean && m_pSettings &&
                            (m_pSettings->byPreviewRes == 2 || m_pSettings->byPreviewRes == 3);
    m_nMeanBytes =
        std::min(m_nRawSize, bigPreview ? size_t{2048} * 1536 : static_cast<size_t>(m_nWidth) * m_nHeight);
    m_mailbox.Restart();
    ChangeRunState(kRun);
    m_grabThread = std::thread(&CCameraView::GrabThread, this);
    m_displayThread = std::thread(&CCameraView::DisplayThread, this);
}

void CCameraView::StopThreads() {
    if (!m_grabThread.joinable() && !m_displayThread.joinable()) {
        ChangeRunState(kStop);
        return;
    }
    ChangeRunState(kStop);
    int exposure = 0;
    const bool known = VekCameraGetExposureTime(&exposure) == CAMERA_OK;
    // Any exposure longer than a short one keeps the grab blocked for up to its whole length,
    // whether or not a frame came since the start: a 1 ms exposure lets it return now. A short
    // exposure returns by itself, and forcing it would only make the sensor settle again (the
    // next capture's frames are lost). An exposure that cannot be read (the camera is gone) is
    // neither forced nor "restored" to 0.
    const bool forced = known && exposure > kShortExposureMs;
    if (forced) {
        VekCameraSetExposureTime(1);
        VekCameraReStartLongExpTime(0);
    }
    m_mailbox.Stop();  // the display thread waiting for a frame ends now
    if (m_grabThread.joinable())
        m_grabThread.join();
    if (m_displayThread.joinable())
        m_displayThread.join();
    if (forced) {
        VekCameraSetExposureTime(static_cast<unsigned>(exposure));
        m_bFrameGrabbed = 0;
    }
}

void CCameraView::SetRunState(BYTE state) {
    if (state == kStop) {
        StopThreads();
        return;
    }
    if (m_grabThread.joinable())
        ChangeRunState(state);
}

void CCameraView::ChangeRunState(BYTE state) {
    m_byRunState = state;
    m_byRunState.notify_all();
}

void CCameraView::WaitWhilePaused() {
    while (m_byRunState.load() == kPause)
        m_byRunState.wait(kPause);
}

// ---- the threads --------------------------------------------------------------------------

void CCameraView::GrabThread() {
    uint64_t lastTick = 0;
    uint64_t lastMicros = 0;
    int failures = 0;
    const size_t meanBytes = m_nMeanBytes;
    while (m_byRunState.load() != kStop) {
        if (m_byRunState.load() != kRun) {
            WaitWhilePaused();
            continue;
        }
        if (VekCameraGrabFrame(m_pGrabRaw) != CAMERA_OK) {
            // A camera that fails again and again (unplugged, stalled) is asked less often: these
            // pauses pace the camera, no frame is on its way.
            if (++failures > 2)
                SleepMs(std::min(1u << std::min(failures - 3, 6), 50u));
            continue;
        }
        failures = 0;
        int exposure = 0;
        VekCameraGetExposureTime(&exposure);
        m_nLastExposure = exposure;
        m_bFrameGrabbed = 1;
        const uint64_t tick = GetTickCountMs();
        const uint64_t micros = SteadyMicros();
        if (lastTick && tick > lastTick)
            m_nFps = static_cast<int>(1000 / (tick - lastTick));  // same tick: keep the last value
        if (lastMicros && micros > lastMicros) {
            const int64_t interval = static_cast<int64_t>(micros - lastMicros);
            const int64_t before = m_nFrameIntervalUs.load();
            m_nFrameIntervalUs = before ? (before * 3 + interval) / 4 : interval;
        }
        lastTick = tick;
        lastMicros = micros;
        ++m_nGrabbed;
        if (m_bSkipNext.exchange(0))
            continue;
        uint64_t sequence = ++m_nSequence;
        const int mean = MeanBrightness(m_pGrabRaw, meanBytes);
        if (m_hFrame)
            PostMessage(m_hFrame, WM_CAMERA_FRAME, static_cast<WPARAM>(mean), 0);
        ++m_nReported;
        // An untaken frame comes back as the next grab buffer: a slow display drops frames.
        m_mailbox.Put(m_pGrabRaw, sequence);
    }
}

void CCameraView::DisplayThread() {
    bool pending = false;
    uint64_t sequence = 0;
    int decodeFailures = 0;
    while (m_byRunState.load() != kStop) {
        if (m_byRunState.load() != kRun) {
            WaitWhilePaused();
            continue;
        }
        // A frame the driver refused to decode is tried again after a millisecond, unless a
        // newer one arrives first; otherwise the wait lasts until a frame or the stop.
        const CFrameMailbox::TakeResult taken = m_mailbox.Take(m_pDisplayRaw, &sequence, pending ? 1 : -1);
        if (taken == CFrameMailbox::kStopped)
            break;
        if (taken == CFrameMailbox::kFrame) {
            pending = true;
            decodeFailures = 0;
        }
        if (!pending || m_byRunState.load() != kRun)
            continue;
        if (VekCameraDecode(m_pDisplayRaw, m_rgb.data(), m_nWidth, m_nHeight) != CAMERA_OK) {
            // The driver may be busy with a grab; give the frame up when it keeps refusing.
            if (++decodeFailures > 100)
                pending = false;
            continue;
        }
        pending = false;
        ProcessFrame(sequence);
    }
}

void CCameraView::ProcessFrame(uint64_t sequence) {
    {
        std::lock_guard<std::mutex> g(m_snapLock);
        std::memcpy(m_snap.data(), m_rgb.data(), m_rgb.size());
    }
    if (m_pBackApply && m_pBackApply->Get() && !m_backPoints.empty())
        ApplyBackCorrection(m_rgb.data(), m_nWidth, m_nHeight, m_backPoints.data(),
                            static_cast<int>(m_backPoints.size()));
    RECT source = SourceRect();
    {
        // Held while presenting, so a target being taken away is not in use when it goes.
        std::lock_guard<std::mutex> g(m_targetLock);
        IViewFinder* target = m_pTarget ? m_pTarget : static_cast<IViewFinder*>(m_pDisplay);
        target->PresentFrame(m_rgb.data(), source, sequence);
    }
    m_nShownSequence = sequence;
    ++m_nShown;
    RecordFrame(m_rgb.data());
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

// Mean of the raw bytes; a full-resolution frame sums past 32 bits.
int CCameraView::MeanBrightness(const BYTE* raw, size_t count) {
    if (!raw || count == 0)
        return 1;
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += raw[i];
    const uint64_t mean = sum / count;
    return mean < 1 ? 1 : static_cast<int>(mean);
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
    std::vector<BYTE>& scratch = m_rgb;
    const ChannelMeans m = AreaChannelMeans(m_pDisplayRaw, scratch.data(), m_nWidth, m_nHeight, pattern, area);
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

bool CCameraView::SnapPending() const { return m_snapTimer.isActive(); }

void CCameraView::CreateProgress() {
    if (m_pProgress)
        return;
    QWidget* parent = window();
    m_pProgress = new CProgressDialog(parent);
    m_pProgress->Create(parent);
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
    m_pProgress->EnableCancel(true);
}

void CCameraView::DestroyProgress() {
    if (!m_pProgress)
        return;
    m_pProgress->Close();
    delete m_pProgress;
    m_pProgress = nullptr;
}

void CCameraView::StartSnap(const QString& path, CameraSettings* settings) {
    m_strSnapPath = path;
    if (settings) {
        // The display thread reads the pointer: rewrite it only when another record is handed in.
        if (settings != m_pSettings) m_pSettings = settings;
        m_bySnapType = static_cast<BYTE>(settings->snap.uiFiletype);
    }
    const CameraModelTraits& traits = CameraModelTraits::Of(m_nCameraId);
    if (m_pSettings && m_pSettings->bLongExposure && !traits.snapIgnoresLongExposure) {
        if (m_grabThread.joinable()) {
            StopThreads();  // a fresh exposure starts now
            StartThreads();
        }
        SetSkipNext();
        int exposure = 0;
        VekCameraGetExposureTime(&exposure);
        m_nTick = 0;
        m_nTickTotal = (exposure + 99) / 100 + 20;
        if (!traits.delayedSnap) {
            CreateProgress();
            m_pProgress->SetText(QStringLiteral("Wait a moment!"));
            SaveSnap();
            DestroyProgress();
            return;
        }
    }
    // Outside long-exposure mode the counters are not reset, so the first tick saves.
    CreateProgress();
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
    if (m_pSettings && m_pSettings->bFineMode) {
        int exposure = 0, gain = 0;
        BYTE speed = 0;
        VekCameraGetExposureTime(&exposure);
        VekCameraGetAnalogGain(&gain);
        VekCameraGetSpeedMode(&speed);
        VekCameraSetSpeedMode(3);
        VekCameraSetAnalogGain(171);
        VekCameraSetExposureTime(static_cast<unsigned>(exposure));
        SaveSnap();
        VekCameraSetSpeedMode(speed);
        VekCameraSetAnalogGain(gain & 0xFFFF);
        VekCameraSetExposureTime(static_cast<unsigned>(exposure));
    } else {
        SaveSnap();
    }
}

void CCameraView::SaveSnap() {
    const QString path = m_strSnapPath;
    if (path.isEmpty() || !FolderCanSave(path)) {
        AfxMessageBox(QString::fromUtf8(kCannotSaveText));
        FinishSnap(QString());
        return;
    }
    if (!m_grabThread.joinable() || m_byRunState.load() == kStop) {
        FinishSnap(QString());
        return;
    }
    const int type = m_bySnapType;
    const CameraModelTraits& traits = CameraModelTraits::Of(m_nCameraId);
    QString written;
    bool ok = false;
    RECT region;
    int cropped;
    cropped = CurrentRegion(&region);
    auto saveDecoded = [&](const BYTE* pixels, int w, int h) {
        // The hub writes exactly the path it is given: a RAW file is named for what it holds,
        // and an existing file is never overwritten.
        QString ext = QFileInfo(path).suffix();
        ext = type == CAPTURE_FILE_RAW || ext.isEmpty() ? WrittenExtension(type, false) : QStringLiteral(".") + ext;
        written = FreeStem(StemOf(path), ext) + ext;
        ok = VekCameraSave(static_cast<unsigned>(type), written.toUtf8().constData(), pixels, w, h) == 1;
    };
    auto captureToFile = [&](bool wide) {
        const QString ext = WrittenExtension(type, true);
        const QString stem = FreeStem(StemOf(path), ext);
        StopThreads();
        BYTE speed = 0;
        if (wide) {
            VekCameraGetSpeedMode(&speed);
            VekCameraSetSpeedMode(1);
            VekCameraSetDataWide(1);
        }
        const int res = m_pSettings ? m_pSettings->byCaptureRes : 0;
        ok = VekCameraCaptureFile(stem.toUtf8().constData(), type, res) == CAMERA_OK;
        if (wide) {
            VekCameraSetDataWide(0);
            VekCameraSetSpeedMode(speed);
        }
        StartThreads();
        written = stem + ext;
    };
    if (cropped) {
        const int rw = region.right - region.left, rh = region.bottom - region.top;
        std::vector<BYTE> crop(static_cast<size_t>(rw) * rh * 3);
        {
            std::lock_guard<std::mutex> g(m_snapLock);
            CopyRegion(m_snap.data(), m_nWidth, m_nHeight, region, crop.data());
        }
        saveDecoded(crop.data(), rw, rh);
    } else if (traits.writesNoSnap) {
        FinishSnap(QString());  // this model writes nothing
        return;
    } else if (traits.decodedSnap) {
        if (type == CAPTURE_FILE_RAW || (traits.wideTiffCapture && type == CAPTURE_FILE_TIFF)) {
            captureToFile(true);
        } else {
            std::vector<BYTE> copy;
            {
                std::lock_guard<std::mutex> g(m_snapLock);
                copy = m_snap;
            }
            saveDecoded(copy.data(), m_nWidth, m_nHeight);
        }
    } else {
        captureToFile(false);
    }
    if (!ok || !WrittenFileExists(written)) {
        AfxMessageBox(QString::fromUtf8(kCannotSaveText));
        FinishSnap(QString());
        return;
    }
    FinishSnap(written);
}

void CCameraView::FinishSnap(const QString& path) {
    if (!m_hFrame)
        return;
    if (path.isEmpty()) {
        SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, 0);
        return;
    }
    const QByteArray utf8 = path.toUtf8();
    SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, reinterpret_cast<LPARAM>(utf8.constData()));
}

// ---- recording ----------------------------------------------------------------------------

void CCameraView::ChooseRecordRate(CAviFile& avi) const {
    const int64_t interval = m_nFrameIntervalUs.load();
    if (interval > 0)
        avi.SetFrameInterval(static_cast<uint64_t>(interval));
    else
        avi.SetRate(static_cast<unsigned>(std::max(1, m_nFps.load()) * 1000000));
}
