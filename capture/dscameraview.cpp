#include "capture/dscameraview.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cstring>

#include "ui/promptservice.h"
#include "video/avifile.h"
#include "capture/cameradisplay.h"
#include "capture/camerasettings.h"
#include "capture/cameraview.h"
#include "capture/frameratemeter.h"
#include "capture/postedtext.h"
#include "capture/regionchooser.h"
#include "ui/messages.h"
#include "controls/progressdialog.h"
#include "platform/clock.h"
#include "platform/rectconv.h"
#include "qodirectx.h"

namespace {

const char kFrameCountText[] = "Frame Count: ";                // string 1242
const char kCannotSaveText[] = "This path can't save image!";  // string 61451
// Slack behind the frame in the grab buffer.
constexpr size_t kBufferSlack = 512;
constexpr uint32_t kRecordStopWaitMs = 1000;

// A path whose extension says what the file holds: ".raw" for raw data whatever was asked
// for; the writer's usual extension when the path has none.
QString SnapPathFor(const QString& path, int fileType) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const int dot = path.lastIndexOf('.');
    const int slash = path.lastIndexOf('/');
    const QString stem = dot > slash && !suffix.isEmpty() ? path.left(dot) : path;
    if (fileType == kCaptureRaw) return suffix.compare("raw", Qt::CaseInsensitive) == 0 ? path : stem + ".raw";
    if (!suffix.isEmpty()) return path;
    switch (fileType) {
    case kCaptureJpeg: return stem + ".jpg";
    case kCaptureTiff: return stem + ".tiff";
    default: return stem + ".bmp";
    }
}

}  // namespace

CDSCameraView::CDSCameraView(QWidget* parent) : QWidget(parent), m_pAvi(new CAviFile) {
    setFocusPolicy(Qt::StrongFocus);
    m_pDisplay = new CCameraDisplay(this);
    m_pDisplay->hide();
    RegisterWindow(this);
}

CDSCameraView::~CDSCameraView() {
    Shutdown();
    UnregisterWindow();
}

// ---- lifecycle ----------------------------------------------------------------------------

bool CDSCameraView::AllocateFor(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    {
        std::lock_guard<std::mutex> g(m_frameLock);
        m_frame.assign(bytes + kBufferSlack, 0);
        m_bFrameSeen = false;
    }
    m_crop.assign(bytes + kBufferSlack, 0);
    m_nWidth = width;
    m_nHeight = height;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_rcSource = RECT{0, 0, width, height};
        m_bCrop = 0;
    }
    m_pDisplay->Configure(width, height);
    return true;
}

void CDSCameraView::FreeBuffers() {
    {
        std::lock_guard<std::mutex> g(m_frameLock);
        std::vector<BYTE>().swap(m_frame);
        m_bFrameSeen = false;
    }
    std::vector<BYTE>().swap(m_crop);
    std::lock_guard<std::mutex> g(m_cropLock);
    m_bCrop = 0;
}

int CDSCameraView::Init(CameraSettings* settings) {
    if (m_thread.joinable() || m_byRunState.load() != kStop) return 0;
    int w = 0, h = 0;
    if (DSCameraGetImageSize(&w, &h) != 1 || !AllocateFor(w, h)) return 0;
    m_pSettings = settings;
    m_bRecording = 0;
    StartThread();
    LayoutDisplay();
    return 1;
}

int CDSCameraView::Shutdown() {
    if (!m_thread.joinable()) return 0;
    StopRecording();
    StopThread();
    FreeBuffers();
    LayoutDisplay();
    return 1;
}

int CDSCameraView::ChangeResolution() {
    if (!m_thread.joinable() || IsRecording()) return 0;
    StopThread();
    FreeBuffers();
    DSResolution();
    int w = 0, h = 0;
    // The size is read again whatever the dialog did: the buffers fit what the library hands out.
    if (DSCameraGetImageSize(&w, &h) != 1 || !AllocateFor(w, h)) {
        LayoutDisplay();
        return 0;
    }
    StartThread();
    LayoutDisplay();
    return 1;
}

void CDSCameraView::StartThread() {
    if (m_thread.joinable()) return;
    m_byRunState = kRun;
    m_thread = std::thread(&CDSCameraView::GrabThread, this);
}

void CDSCameraView::StopThread() {
    m_byRunState = kStop;
    if (m_thread.joinable()) m_thread.join();
}

void CDSCameraView::SetRunState(BYTE state) {
    if (state == kStop) {
        StopThread();
        return;
    }
    if (m_thread.joinable()) m_byRunState = state;
}

// ---- the grab thread ----------------------------------------------------------------------

int CDSCameraView::FrameBrightness(const BYTE* bgr, int width, int height) {
    if (!bgr || width <= 0 || height <= 0) return 0;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    // A large frame sums well past 32 bits.
    uint64_t sum = 0;
    const BYTE* p = bgr;
    for (size_t i = 0; i < pixels; ++i, p += 3) sum += p[2] + 6u * p[1] + 3u * p[0];
    return static_cast<int>(sum / (pixels + 1) / 10);
}

void CDSCameraView::GrabThread() {
    CFrameRateMeter rate;
    uint64_t sequence = 0;
    while (m_byRunState.load() != kStop) {
        if (m_byRunState.load() != kRun) {
            SleepMs(10);  // paused: idles until run or stop, no frame is polled
            continue;
        }
        bool fresh = false;
        {
            std::lock_guard<std::mutex> g(m_frameLock);
            ++m_nGrabCalls;
            // A frame already handed out is no frame: nothing is drawn, reported or recorded again.
            fresh = !m_frame.empty() && DSGrabFrame(m_frame.data()) == 1;
            if (fresh) m_bFrameSeen = true;
        }
        if (fresh) {
            // Until the new stream has a whole interval, the last rate stands.
            if (const double fps = rate.AddFrame(GetTickCountMs()); fps > 0.0) m_dFps = fps;
            ++m_nGrabbed;
            ProcessFrame(m_frame.data(), ++sequence);
        }
        // DSGrabFrame answers at once, new frame or not, and the library has no call that waits
        // for one: this pause paces the poll of the device's newest frame.
        SleepMs(1);
    }
}

void CDSCameraView::ProcessFrame(const BYTE* frame, uint64_t sequence) {
    const int brightness = FrameBrightness(frame, m_nWidth, m_nHeight);
    m_nLastBrightness = brightness;
    if (m_hFrame) PostMessage(m_hFrame, WM_CAMERA_FRAME, static_cast<WPARAM>(brightness), 0);
    RECT source;
    int cropped;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        source = m_rcSource;
        cropped = m_bCrop;
    }
    // Only the GUI thread paints: the display keeps the frame and repaints itself.
    m_pDisplay->PresentFrame(frame, source, sequence);
    if (!m_bRecording.load()) return;
    int written = 0, count = 0;
    {
        std::lock_guard<std::mutex> g(m_recordLock);
        if (!m_bRecording.load()) return;
        const BYTE* picture = frame;
        if (cropped) {
            CCameraView::CopyRegion(frame, m_nWidth, m_nHeight, source, m_crop.data());
            picture = m_crop.data();
        }
        written = m_pAvi->WriteFrame(picture);
        count = m_pAvi->FrameCount();
    }
    if (written && m_hFrame)
        CPostedTextRelay::Post(m_hFrame, WM_CAMERA_STATUSTEXT, 0, QString::asprintf("%s %d", kFrameCountText, count).toStdString());
}

// ---- layout -------------------------------------------------------------------------------

RECT CDSCameraView::SourceRect() const {
    std::lock_guard<std::mutex> g(m_cropLock);
    return m_rcSource;
}

bool CDSCameraView::IsCropped() const {
    std::lock_guard<std::mutex> g(m_cropLock);
    return m_bCrop != 0;
}

void CDSCameraView::LayoutDisplay() {
    const RECT source = SourceRect();
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    if (!m_thread.joinable() || sw <= 0 || sh <= 0 || width() <= 0 || height() <= 0) {
        m_pDisplay->hide();
        return;
    }
    int w = width();
    int h = static_cast<int>(static_cast<int64_t>(w) * sh / sw);
    if (h > height()) {
        h = height();
        w = static_cast<int>(static_cast<int64_t>(h) * sw / sh);
    }
    m_pDisplay->setGeometry((width() - std::max(w, 1)) / 2, (height() - std::max(h, 1)) / 2, std::max(w, 1), std::max(h, 1));
    m_pDisplay->show();
}

void CDSCameraView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
}

void CDSCameraView::resizeEvent(QResizeEvent*) { LayoutDisplay(); }

RECT CDSCameraView::ScreenRect() const { return QRectToRect(QRect(mapToGlobal(QPoint(0, 0)), size())); }

bool CDSCameraView::MapScreenToImage(const RECT& screen, RECT* image) const {
    const int cw = m_pDisplay->width(), ch = m_pDisplay->height();
    const RECT source = SourceRect();
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    if (!m_pDisplay->isVisible() || cw <= 0 || ch <= 0 || sw <= 0 || sh <= 0) return false;
    const QPoint origin = m_pDisplay->mapToGlobal(QPoint(0, 0));
    auto clampTo = [](int64_t v, int64_t hi) { return std::clamp<int64_t>(v, 0, hi); };
    const int64_t l = clampTo(screen.left - origin.x(), cw), r = clampTo(screen.right - origin.x(), cw);
    const int64_t t = clampTo(screen.top - origin.y(), ch), b = clampTo(screen.bottom - origin.y(), ch);
    if (r <= l || b <= t) return false;
    image->left = source.left + static_cast<LONG>(l * sw / cw);
    image->right = source.left + static_cast<LONG>((r * sw + cw - 1) / cw);
    image->top = source.top + static_cast<LONG>(t * sh / ch);
    image->bottom = source.top + static_cast<LONG>((b * sh + ch - 1) / ch);
    return !IsRectEmpty(*image);
}

int CDSCameraView::CutRegion() {
    if (m_byRunState.load() != kRun || IsRecording() || !m_pChooser) return IsCropped() ? 1 : 0;
    RECT chosen{};
    RECT image{};
    if (!m_pChooser->ChooseRegion(ScreenRect(), &chosen) || IsRecording() || !MapScreenToImage(chosen, &image))
        return IsCropped() ? 1 : 0;
    image = CCameraView::AlignCutRegion(image, m_nWidth, m_nHeight);
    if (IsRectEmpty(image)) return IsCropped() ? 1 : 0;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_rcSource = image;
        m_bCrop = 1;
    }
    LayoutDisplay();
    return 1;
}

void CDSCameraView::RestoreRegion() {
    if (m_byRunState.load() != kRun || IsRecording()) return;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_rcSource = RECT{0, 0, m_nWidth, m_nHeight};
        m_bCrop = 0;
    }
    LayoutDisplay();
}

// ---- snaps --------------------------------------------------------------------------------

QString CDSCameraView::Snap(const QString& requested, int fileType) {
    QString written;
    if (!requested.isEmpty() && m_thread.joinable()) {
        const QString path = SnapPathFor(requested, fileType);
        RECT region;
        {
            std::lock_guard<std::mutex> g(m_cropLock);
            region = m_rcSource;
        }
        const int rw = region.right - region.left, rh = region.bottom - region.top;
        std::vector<BYTE> picture(static_cast<size_t>(std::max(rw, 0)) * static_cast<size_t>(std::max(rh, 0)) * 3);
        bool have = false;
        {
            // The grab thread writes the buffer under this lock: the copy is one whole frame.
            std::lock_guard<std::mutex> g(m_frameLock);
            if (m_bFrameSeen && !picture.empty()) {
                CCameraView::CopyRegion(m_frame.data(), m_nWidth, m_nHeight, region, picture.data());
                have = true;
            }
        }
        if (have) {
            QWidget* parent = window();
            CProgressDialog progress(parent);
            progress.Create(parent);
            progress.SetText(QStringLiteral("Wait a moment!"));
            progress.SetRange(0, 100);
            progress.SetPos(0);
            const QByteArray utf8 = path.toUtf8();
            const bool ok = DSCameraImageSave(picture.data(), fileType, rw, rh, utf8.constData()) == 1;
            progress.Close();
            const QFileInfo info(path);
            if (ok && info.isFile() && info.size() > 0) written = path;
        }
        if (written.isEmpty()) AfxMessageBox(QString::fromUtf8(kCannotSaveText));
    }
    if (m_hFrame) {
        const QByteArray utf8 = written.toUtf8();
        SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, written.isEmpty() ? 0 : reinterpret_cast<LPARAM>(utf8.constData()));
    }
    return written;
}

// ---- recording ----------------------------------------------------------------------------

int CDSCameraView::StartRecording(const QString& path, CameraSettings* settings) {
    if (m_bRecording.load() || m_pAvi->IsOpen() || !m_thread.joinable()) return 0;
    if (settings) m_pSettings = settings;
    // The live rate rounded up, so the file plays at least as fast as the device delivered.
    const int fps = std::max(1, static_cast<int>(m_dFps.load() + 0.9));
    m_pAvi->SetRate(static_cast<unsigned>(fps) * 1000000u);
    m_pAvi->SetCompressor(m_pSettings ? static_cast<FOURCC>(m_pSettings->video.Compress) : 0);
    const RECT region = SourceRect();
    const unsigned w = static_cast<unsigned>(region.right - region.left);
    const unsigned h = static_cast<unsigned>(region.bottom - region.top);
    if (!m_pAvi->Open(path.toStdString(), w, h)) {
        AfxMessageBox(QString::fromStdString(m_pAvi->LastError()));
        return 0;
    }
    m_strAviPath = path;
    m_bRecording = 1;
    return 1;
}

int CDSCameraView::StopRecording() {
    if (!m_bRecording.load()) return 0;
    {
        // No frame is being written once the lock is ours and the flag is down.
        std::lock_guard<std::mutex> g(m_recordLock);
        m_bRecording = 0;
    }
    SleepMs(kRecordStopWaitMs);
    if (m_pAvi->Close() != 1) {
        AfxMessageBox(QString::fromStdString(m_pAvi->LastError()));
        return 1;
    }
    // The receiver gets its own copy of the path: the view may be gone when it is read.
    if (m_hMain) CPostedTextRelay::Post(m_hMain, WM_CAMERA_FILESAVED, 1, m_strAviPath.toStdString());
    return 1;
}

int CDSCameraView::RecordedFrames() const { return m_pAvi->FrameCount(); }

LRESULT CDSCameraView::WindowProc(UINT, WPARAM, LPARAM) { return 0; }
