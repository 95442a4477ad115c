// The hub's own path for camera id 0, an ordinary video-input device: it opens the device,
// shows its live picture in the caller's display window and writes one snapshot as a BMP file
// when asked. The graph of the original platform becomes a device of outside/videodev.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VideoDevice.h"
#include "vekcamera/HubGui.h"

// The sample callback of the device: one static object, fed on the streaming thread. The
// snapshot request is made on the caller's thread, so path and mode are kept under a lock.
class CGrabberCallback {
public:
    enum RequestMode { kNone = 0, kKeepBuffer = 1, kSnapshot = 2 };

    void SetFrameSize(int width, int height);
    void RequestSnapshot(const std::string& path);
    void SetVideoWindow(IHubVideoWindow* window, bool visible);
    // Every sample of the device.
    void BufferCB(const videodev::VideoFrame& frame);
    // Writes "<path>.bmp": file and info headers, then the sample as delivered; false when the
    // file cannot be written (nothing is left under the name then).
    static bool WriteBmpSnapshot(const std::string& path, const videodev::VideoFrame& frame);

    int RequestModeNow();
    std::vector<uint8_t> LastBuffer();

private:
    std::mutex lock_;
    int width_ = 0;
    int height_ = 0;
    std::string snapshotPath_ = "c:\\ostrel.bmp";
    int requestMode_ = kNone;
    std::vector<uint8_t> lastBuffer_;  // a copy: the device reuses its buffers
    IHubVideoWindow* window_ = nullptr;
    bool windowVisible_ = false;
};

class CDirectShowCapture {
public:
    CDirectShowCapture();
    ~CDirectShowCapture();

    // The hub's exports for camera id 0. Without a capture object, every call but Init
    // answers CAMERA_NODEVICE.
    static int HubInit(int resolution, HWND display);
    static int HubUnInit();
    static int HubPlay();
    static int HubStop();
    static int HubCaptureFile(const char* path);
    // "Support Camera", then every video-input device with a friendly name.
    static void ListVideoDevices(IHubComboBox* combo);

    static CGrabberCallback& Grabber();

    // On failure, *failure is the text to show the user.
    bool BuildGraph(int deviceNumber, const char** failure);
    bool RunGraph();
    void StopGraph();
    void TearDownGraph();
    void PlaceVideoWindow();
    bool GraphBuilt() const { return graphBuilt_; }

private:
    bool FindVideoDevice(int wanted, videodev::VideoDeviceInfo* found);

    std::unique_ptr<videodev::IVideoDevice> device_;
    bool graphBuilt_ = false;
    IHubVideoWindow* display_ = nullptr;
    int selectedDevice_ = -1;
};
