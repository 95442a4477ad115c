#include "capture/dscameraview.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/promptservice.h"
#include "video/avifile.h"
#include "capture/cameradisplay.h"
#include "capture/camerasettings.h"
#include "capture/camerathread.h"
#include "ui/messages.h"
#include "controls/progressdialog.h"
#include "platform/clock.h"
#include "qodirectx.h"

namespace {

const char kCannotSaveText[] = "This path can't save image!";  // string 61451
// Slack behind the frame in the grab buffer, as the source keeps it.
constexpr size_t kBufferSlack = 512;

// A path whose extension says what the file holds: ".raw" for raw data whatever was asked
// for; the writer's usual extension when the path has none.
QString SnapPathFor(const QString& path, int fileType) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    if (fileType == kCaptureRaw) return suffix.compare("raw", Qt::CaseInsensitive) == 0 ? path : stem + ".raw";
    if (!suffix.isEmpty()) return path;
    switch (fileType) {
    case kCaptureJpeg: return stem + ".jpg";
    case kCaptureTiff: return stem + ".tiff";
    default: return stem + ".bmp";
    }
}

}  // namespace

// A region is chosen only over a shown picture; a recording has no time limit.
CDSCameraView::CDSCameraView(QWidget* parent)
    : CLiveView(parent, Style{.mapOnlyShown = true, .recordTimeLimit = false}, m_source) {}

CDSCameraView::~CDSCameraView() {
    // No snap of this view is still being written on the camera thread.
    CCameraThread::Instance().Drain();
    Shutdown();
}

// ---- lifecycle ----------------------------------------------------------------------------

bool CDSCameraView::AllocateFor(int width, int height) {
    if (!m_source.Allocate(width, height)) return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    SetFrameSize(width, height, bytes + kBufferSlack);
    return true;
}

void CDSCameraView::FreeBuffers() {
    m_source.Free();
    FreeCrop();
}

int CDSCameraView::Init(CameraSettings* settings) {
    if (m_source.Running() || m_byRunState.load() != kStop) return 0;
    int w = 0, h = 0;
    if (DSCameraGetImageSize(&w, &h) != 1 || !AllocateFor(w, h)) return 0;
    m_pSettings = settings;
    m_bRecording = 0;
    StartThread();
    LayoutDisplay();
    return 1;
}

int CDSCameraView::Shutdown() {
    if (!m_source.Running()) return 0;
    StopRecording();
    StopThread();
    // The recording's file is closed and announced now that its last frame is written.
    FinishPendingClose();
    FreeBuffers();
    LayoutDisplay();
    return 1;
}

int CDSCameraView::ChangeResolution() {
    if (!m_source.Running() || IsRecording()) return 0;
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
    if (m_source.Running()) return;
    m_byRunState = kRun;
    m_source.Start(this);
}

void CDSCameraView::StopThread() {
    m_byRunState = kStop;
    m_source.Stop();
}

void CDSCameraView::SetRunState(BYTE state) {
    if (state == kStop) {
        StopThread();
        return;
    }
    if (m_source.Running()) {
        m_byRunState = state;
        m_source.Wake();
    }
}

// ---- the grab thread ----------------------------------------------------------------------

void CDSCameraView::OnFrame(const BYTE* frame, uint64_t sequence) {
    // Only the GUI thread paints: the display keeps the frame and repaints itself.
    m_pDisplay->PresentFrame(frame, SourceRect(), sequence);
    RecordFrame(frame);
}

// ---- snaps --------------------------------------------------------------------------------

QString CDSCameraView::Snap(const QString& requested, int fileType) {
    if (requested.isEmpty() || !m_source.Running()) {
        FinishSnap(QString());
        return {};
    }
    const QString path = SnapPathFor(requested, fileType);
    const RECT region = SourceRect();
    const int rw = region.right - region.left, rh = region.bottom - region.top;
    auto picture = std::make_shared<std::vector<BYTE>>(static_cast<size_t>(std::max(rw, 0)) *
                                                       static_cast<size_t>(std::max(rh, 0)) * 3);
    if (picture->empty() || !m_source.CopyNewest(region, picture->data())) {
        AfxMessageBox(QString::fromUtf8(kCannotSaveText));
        FinishSnap(QString());
        return {};
    }
    // The file is written on the camera thread while "Wait a moment!" is shown.
    CreateProgress(false, QStringLiteral("Wait a moment!"));
    auto ok = std::make_shared<bool>(false);
    CCameraThread::Instance().Post(
        this,
        [picture, path, fileType, rw, rh, ok] {
            *ok = DSCameraImageSave(picture->data(), fileType, rw, rh, path.toUtf8().constData()) == 1;
        },
        [this, path, ok] {
            const QFileInfo info(path);
            const bool written = *ok && info.isFile() && info.size() > 0;
            DestroyProgress();
            if (!written) AfxMessageBox(QString::fromUtf8(kCannotSaveText));
            FinishSnap(written ? path : QString());
        });
    return path;
}

void CDSCameraView::FinishSnap(const QString& written) {
    if (!m_hFrame) return;
    const QByteArray utf8 = written.toUtf8();
    SendMessage(m_hFrame, WM_CAMERA_FILESAVED, 0, written.isEmpty() ? 0 : reinterpret_cast<LPARAM>(utf8.constData()));
}
