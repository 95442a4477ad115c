#include "capture/liveview.h"

#include "controls/progressdialog.h"

#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cstring>

#include "capture/cameradisplay.h"
#include "capture/framesource.h"
#include "capture/camerasettings.h"
#include "capture/postedtext.h"
#include "capture/regionchooser.h"
#include "platform/clock.h"
#include "platform/rectconv.h"
#include "ui/messages.h"
#include "ui/promptservice.h"
#include "video/avifile.h"

namespace {
const char kFrameCountText[] = "Frame Count: ";  // string 1242
}

CLiveView::CLiveView(QWidget* parent, const Style& style, IFrameSource& source)
    : QWidget(parent), m_style(style), m_frameSource(source), m_pAvi(new CAviFile) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    m_pDisplay = new CCameraDisplay(this);
    m_pDisplay->hide();
    m_recordLimitTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early: the recording would end before its limit.
    m_recordLimitTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_recordLimitTimer, &QTimer::timeout, this, [this] { OnRecordLimit(); });
    RegisterWindow(this);
}

CLiveView::~CLiveView() {
    DestroyProgress();
    FinishPendingClose();
    UnregisterWindow();
}

bool CLiveView::Streaming() const { return m_frameSource.Running(); }

// ---- the frame and its region -------------------------------------------------------------

void CLiveView::SetFrameSize(int width, int height, size_t cropBytes) {
    m_nWidth = width;
    m_nHeight = height;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_crop.assign(cropBytes, 0);
        m_rcSource = RECT{0, 0, width, height};
        m_bCrop = 0;
    }
    m_pDisplay->Configure(width, height);
}

void CLiveView::FreeCrop() {
    std::lock_guard<std::mutex> g(m_cropLock);
    std::vector<BYTE>().swap(m_crop);
    m_bCrop = 0;
}

RECT CLiveView::SourceRect() const {
    std::lock_guard<std::mutex> g(m_cropLock);
    return m_rcSource;
}

bool CLiveView::IsCropped() const {
    std::lock_guard<std::mutex> g(m_cropLock);
    return m_bCrop != 0;
}

int CLiveView::CurrentRegion(RECT* source) const {
    std::lock_guard<std::mutex> g(m_cropLock);
    *source = m_rcSource;
    return m_bCrop;
}

void CLiveView::CopyRegion(const BYTE* frame, int width, int height, const RECT& region, BYTE* out) {
    const size_t rowBytes = static_cast<size_t>(region.right - region.left) * 3;
    const size_t frameRow = static_cast<size_t>(width) * 3;
    const int rows = region.bottom - region.top;
    for (int y = 0; y < rows; ++y) {
        // Displayed row (top + y) of the frame is stored row height - 1 - (top + y); it becomes
        // displayed row y of the crop, stored row rows - 1 - y.
        const BYTE* src = frame + static_cast<size_t>(height - 1 - (region.top + y)) * frameRow +
                          static_cast<size_t>(region.left) * 3;
        std::memcpy(out + static_cast<size_t>(rows - 1 - y) * rowBytes, src, rowBytes);
    }
}

// Widens [lo, hi) to a multiple of `multiple`: lo moves down while above 0, else hi up while
// below the limit; where the frame leaves no room, hi comes down to the multiple instead.
static void AlignSpan(LONG& lo, LONG& hi, LONG limit, int multiple) {
    while ((hi - lo) % multiple) {
        if (lo > 0)
            --lo;
        else if (hi < limit)
            ++hi;
        else
            break;
    }
    hi -= (hi - lo) % multiple;
}

RECT CLiveView::AlignCutRegion(RECT r, int width, int height) {
    AlignSpan(r.left, r.right, width, 4);
    AlignSpan(r.top, r.bottom, height, 2);
    return r;
}

RECT CLiveView::ScreenRect() const { return QRectToRect(QRect(mapToGlobal(QPoint(0, 0)), size())); }

// Screen rectangle to image pixels through the display child, which shows the source
// rectangle: each axis on its own, in 64-bit, partly covered pixels included.
bool CLiveView::MapScreenToImage(const RECT& screen, RECT* image) const {
    const int cw = m_pDisplay->width(), ch = m_pDisplay->height();
    const RECT source = SourceRect();
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    if ((m_style.mapOnlyShown && !m_pDisplay->isVisible()) || cw <= 0 || ch <= 0 || sw <= 0 || sh <= 0)
        return false;
    const QPoint origin = m_pDisplay->mapToGlobal(QPoint(0, 0));
    auto clampTo = [](int64_t v, int64_t hi) { return std::clamp<int64_t>(v, 0, hi); };
    const int64_t l = clampTo(screen.left - origin.x(), cw), r = clampTo(screen.right - origin.x(), cw);
    const int64_t t = clampTo(screen.top - origin.y(), ch), b = clampTo(screen.bottom - origin.y(), ch);
    if (r <= l || b <= t)
        return false;
    image->left = source.left + static_cast<LONG>(l * sw / cw);
    image->right = source.left + static_cast<LONG>((r * sw + cw - 1) / cw);
    image->top = source.top + static_cast<LONG>(t * sh / ch);
    image->bottom = source.top + static_cast<LONG>((b * sh + ch - 1) / ch);
    return !IsRectEmpty(*image);
}

int CLiveView::CutRegion() {
    if (m_byRunState.load() != kRun || IsRecording() || !m_pChooser)
        return IsCropped() ? 1 : 0;
    RECT chosen{};
    RECT image{};
    // The recording may have started while the chooser ran; an empty region changes nothing.
    if (!m_pChooser->ChooseRegion(ScreenRect(), &chosen) || IsRecording() || !MapScreenToImage(chosen, &image))
        return IsCropped() ? 1 : 0;
    image = AlignCutRegion(image, m_nWidth, m_nHeight);
    if (IsRectEmpty(image))
        return IsCropped() ? 1 : 0;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_rcSource = image;
        m_bCrop = 1;
    }
    LayoutDisplay();
    return 1;
}

void CLiveView::RestoreRegion() {
    if (m_byRunState.load() != kRun || IsRecording())
        return;
    {
        std::lock_guard<std::mutex> g(m_cropLock);
        m_rcSource = RECT{0, 0, m_nWidth, m_nHeight};
        m_bCrop = 0;
    }
    LayoutDisplay();
}

// ---- layout -------------------------------------------------------------------------------

void CLiveView::LayoutDisplay() {
    const RECT source = SourceRect();
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    if (!Streaming() || sw <= 0 || sh <= 0 || width() <= 0 || height() <= 0) {
        m_pDisplay->hide();
        return;
    }
    // The largest size of the source's aspect that fits, centred.
    int w = width();
    int h = static_cast<int>(static_cast<int64_t>(w) * sh / sw);
    if (h > height()) {
        h = height();
        w = static_cast<int>(static_cast<int64_t>(h) * sw / sh);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    m_pDisplay->setGeometry((width() - w) / 2, (height() - h) / 2, w, h);
    m_pDisplay->show();
}

void CLiveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
}

void CLiveView::resizeEvent(QResizeEvent*) { LayoutDisplay(); }

// ---- recording ----------------------------------------------------------------------------

int CLiveView::StartRecording(const QString& path, CameraSettings* settings) {
    if (m_bRecording.load() || m_bClosePending || m_pAvi->IsOpen() || !m_frameSource.CanRecord())
        return 0;
    if (settings && settings != m_pSettings)
        m_pSettings = settings;
    m_frameSource.ChooseRecordRate(*m_pAvi);
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
    if (m_style.recordTimeLimit && m_pSettings && m_pSettings->video.bTimeLimit)
        m_recordLimitTimer.start(static_cast<int>((m_pSettings->video.TimeLimit + 0.6) * 1000));
    return 1;
}

int CLiveView::StopRecording() {
    if (!m_bRecording.load())
        return 0;
    // A frame being written holds the writer's lock: the close waits for it, later writes are
    // refused.
    m_bRecording = 0;
    m_recordLimitTimer.stop();
    const HWND self = GetSafeHwnd();
    m_bClosePending = m_pAvi->StartCloseThread([self] { PostMessage(self, WM_AVI_CLOSED, 0, 0); });
    return 1;
}

int CLiveView::RecordedFrames() const { return m_pAvi->FrameCount(); }

void CLiveView::RecordFrame(const BYTE* frame) {
    if (!m_bRecording.load())
        return;
    RECT source;
    // Read now that the recording is seen: Cut is refused while it runs, so the region stays as
    // the file was opened for. Copied out: the UI thread takes this lock to lay out and to cut,
    // so it is never held across the encode.
    const int cropped = CurrentRegion(&source);
    const BYTE* picture = frame;
    if (cropped) {
        CopyRegion(frame, m_nWidth, m_nHeight, source, m_crop.data());
        picture = m_crop.data();
    }
    if (m_pAvi->WriteFrame(picture) && m_hFrame) {
        const QString text = QString::asprintf("%s %d", kFrameCountText, m_pAvi->FrameCount());
        CPostedTextRelay::Post(m_hFrame, WM_CAMERA_STATUSTEXT, 0, text.toStdString());
    }
}

void CLiveView::OnRecordLimit() {
    if (m_bRecording.load() && m_hFrame)
        PostMessage(m_hFrame, WM_CAMERA_RECORDLIMIT, 0, 0);
}

void CLiveView::FinishPendingClose() {
    if (!m_bClosePending)
        return;
    m_bClosePending = false;
    if (m_pAvi->Close() != 1) {
        AfxMessageBox(QString::fromStdString(m_pAvi->LastError()));
        return;
    }
    // The receiver gets its own copy of the path: the view may be gone when it is read.
    if (m_hMain)
        CPostedTextRelay::Post(m_hMain, WM_CAMERA_FILESAVED, 1, m_strAviPath.toStdString());
}

LRESULT CLiveView::WindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_AVI_CLOSED)
        FinishPendingClose();
    return 0;
}

void CLiveView::CreateProgress(bool cancel, const QString& text) {
    if (m_pProgress)
        return;
    QWidget* parent = window();
    m_pProgress = new CProgressDialog(parent);
    m_pProgress->Create(parent);
    if (!text.isEmpty())
        m_pProgress->SetText(text);
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
    m_pProgress->EnableCancel(cancel);
}

void CLiveView::DestroyProgress() {
    if (!m_pProgress)
        return;
    m_pProgress->Close();
    delete m_pProgress.data();
    m_pProgress = nullptr;
}
