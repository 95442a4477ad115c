#include "vekcamera/DirectShowCapture.h"

#include <atomic>
#include <cstring>

#include "platform/atomicfile.h"
#include "platform/le.h"

namespace {

std::mutex g_captureLock;  // the exports of id 0 may come from several of the caller's threads
std::unique_ptr<CDirectShowCapture> g_capture;
// Whether g_capture exists, for the snapshot request: it is made from the window's frame
// handler too, while Stop or UnInit hold g_captureLock and wait for that handler to return.
std::atomic<bool> g_captureExists{false};

constexpr size_t kMaxFriendlyName = 2047;  // the name buffer held 2048 bytes with its terminator

// At most max bytes, cut before a character rather than inside one.
std::string TruncateUtf8(const std::string& text, size_t max) {
    if (text.size() <= max)
        return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

// CGrabberCallback --------------------------------------------------------------------------

void CGrabberCallback::SetFrameSize(int width, int height) {
    std::lock_guard<std::mutex> guard(lock_);
    width_ = width;
    height_ = height;
}

void CGrabberCallback::RequestSnapshot(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    snapshotPath_ = path;
    requestMode_ = kSnapshot;
}

void CGrabberCallback::SetVideoWindow(IHubVideoWindow* window, bool visible) {
    std::lock_guard<std::mutex> guard(lock_);
    window_ = window;
    windowVisible_ = window && visible;
}

int CGrabberCallback::RequestModeNow() {
    std::lock_guard<std::mutex> guard(lock_);
    return requestMode_;
}

std::vector<uint8_t> CGrabberCallback::LastBuffer() {
    std::lock_guard<std::mutex> guard(lock_);
    return lastBuffer_;
}

void CGrabberCallback::BufferCB(const videodev::VideoFrame& frame) {
    if (!frame.data)
        return;
    std::string snapshot;
    IHubVideoWindow* window = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (windowVisible_)
            window = window_;
        if (requestMode_ == kKeepBuffer || requestMode_ == kSnapshot)
            lastBuffer_.assign(frame.data, frame.data + frame.bytes);
        if (requestMode_ == kSnapshot) {
            snapshot = snapshotPath_;
            requestMode_ = kNone;
        }
    }
    // The window is called outside the lock, so it may ask the hub for a snapshot itself; the
    // window stays valid because teardown stops the stream before it lets the window go.
    if (window) {
        try {
            window->PresentFrame(frame.data, frame.width, frame.height, frame.stride);
        } catch (...) {
            // The streaming thread must go on (and serve the snapshot) whatever the host does.
        }
    }
    // Written outside the lock; a file that cannot be written is skipped.
    if (!snapshot.empty())
        WriteBmpSnapshot(snapshot, frame);
}

bool CGrabberCallback::WriteBmpSnapshot(const std::string& path, const videodev::VideoFrame& frame) {
    if (frame.bytes > 0xFFFFFFFFull - 54u)
        return false;
    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    le::put32(header + 2, static_cast<uint32_t>(frame.bytes + 54u));
    le::put32(header + 10, 54);
    le::put32(header + 14, 40);
    le::put32(header + 18, static_cast<uint32_t>(frame.width));
    le::put32(header + 22, static_cast<uint32_t>(frame.height));
    le::put16(header + 26, 1);
    le::put16(header + 28, 24);
    AtomicFile file(path + ".bmp");
    if (!file.Create() || !file.Write(header, sizeof header) || !file.Write(frame.data, frame.bytes))
        return false;
    return file.Commit();
}

// CDirectShowCapture ------------------------------------------------------------------------

CDirectShowCapture::CDirectShowCapture() = default;

CDirectShowCapture::~CDirectShowCapture() { TearDownGraph(); }

CGrabberCallback& CDirectShowCapture::Grabber() {
    // Never freed: a capture object torn down while the process exits still reaches it.
    static CGrabberCallback* grabber = new CGrabberCallback;
    return *grabber;
}

int CDirectShowCapture::HubInit(int resolution, HWND display) {
    const char* failure = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_captureLock);
        if (!g_capture) {
            g_capture = std::make_unique<CDirectShowCapture>();
            g_captureExists = true;
        }
        g_capture->display_ = HubVideoWindowFromHandle(display);
        if (g_capture->graphBuilt_)
            return 0;
        // The caller's list has "Support Camera" at position 0, so device k is at position k + 1.
        // Unsigned, so that any int the caller passes wraps instead of overflowing.
        const int device = static_cast<int>((static_cast<uint32_t>(resolution) - 1u) & 0xFFu);
        if (g_capture->BuildGraph(device, &failure))
            return 1;
    }
    // Shown outside the lock: a message box runs the host's event loop, which may call the hub.
    HubMessageBox(failure);
    return 0;
}

int CDirectShowCapture::HubUnInit() {
    std::lock_guard<std::mutex> guard(g_captureLock);
    if (!g_capture)
        return CAMERA_NODEVICE;
    g_captureExists = false;
    g_capture.reset();
    return 1;
}

int CDirectShowCapture::HubPlay() {
    bool running = false;
    {
        std::lock_guard<std::mutex> guard(g_captureLock);
        if (!g_capture)
            return CAMERA_NODEVICE;
        running = g_capture->RunGraph();
        g_capture->PlaceVideoWindow();
    }
    if (!running)
        HubMessageBox("Couldn't run the graph!");
    return 1;
}

int CDirectShowCapture::HubStop() {
    std::lock_guard<std::mutex> guard(g_captureLock);
    if (!g_capture)
        return CAMERA_NODEVICE;
    g_capture->StopGraph();
    return 1;
}

int CDirectShowCapture::HubCaptureFile(const char* path) {
    // Only the grabber (under its own lock) is touched, so g_captureLock is not taken.
    if (!g_captureExists)
        return CAMERA_NODEVICE;
    if (!path)
        return 0;
    Grabber().RequestSnapshot(path);
    return 1;
}

void CDirectShowCapture::ListVideoDevices(IHubComboBox* combo) {
    combo->AddString("Support Camera");
    for (const videodev::VideoDeviceInfo& info : videodev::ListVideoDevices()) {
        if (info.friendlyName.empty())
            continue;
        combo->AddString(TruncateUtf8(info.friendlyName, kMaxFriendlyName).c_str());
    }
}

bool CDirectShowCapture::FindVideoDevice(int wanted, videodev::VideoDeviceInfo* found) {
    int count = 0;
    for (const videodev::VideoDeviceInfo& info : videodev::ListVideoDevices()) {
        if (info.friendlyName.empty())
            continue;
        if (count == wanted) {
            *found = info;
            selectedDevice_ = count;
            return true;
        }
        ++count;
    }
    return false;
}

bool CDirectShowCapture::BuildGraph(int deviceNumber, const char** failure) {
    // The flag stays set after a failure, so a later Init does not retry before UnInit.
    graphBuilt_ = true;
    videodev::VideoDeviceInfo info;
    if (FindVideoDevice(deviceNumber, &info))
        device_ = videodev::CreateVideoDevice(info);
    if (!device_ || !device_->Open()) {
        device_.reset();
        *failure = "Can't build the preview-graph!Maybe another application is using the capture device.";
        return false;
    }
    if (device_->Width() <= 0 || device_->Height() <= 0) {
        *failure = "Failt to read the connected media type";
        return false;
    }
    Grabber().SetFrameSize(device_->Width(), device_->Height());
    PlaceVideoWindow();
    return true;
}

bool CDirectShowCapture::RunGraph() {
    if (!device_)
        return false;
    if (device_->IsRunning())
        return true;
    return device_->Start([](const videodev::VideoFrame& frame) {
        try {
            Grabber().BufferCB(frame);
        } catch (...) {
            // Out of memory for the kept copy: this sample is dropped, the stream goes on.
        }
    });
}

void CDirectShowCapture::StopGraph() {
    if (device_)
        device_->Stop();
}

void CDirectShowCapture::PlaceVideoWindow() {
    if (!display_ || !device_)
        return;
    // The host's window may throw; no exception may leave the hub, and the device stays usable.
    try {
        int width = 0;
        int height = 0;
        display_->GetClientSize(&width, &height);
        display_->PlaceVideo(0, 0, width, height, true);
    } catch (...) {
    }
    Grabber().SetVideoWindow(display_, true);
}

void CDirectShowCapture::TearDownGraph() {
    if (device_) {
        device_->Stop();
        device_->Close();
        device_.reset();
    }
    Grabber().SetVideoWindow(nullptr, false);
    if (display_) {
        try {
            display_->PlaceVideo(0, 0, 0, 0, false);
        } catch (...) {
            // Torn down from the destructor too, where an exception would end the process.
        }
    }
    graphBuilt_ = false;
    selectedDevice_ = -1;
}
