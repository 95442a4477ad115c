// Snaps and recordings of the camera view on the real hub and the simulated camera: the files
// really written open in ImageMagick or FFmpeg and are announced once under their own names;
// refused folders, failed writes and failed opens announce nothing; the record time limit; an
// unplug while saving or recording; a recording finished when the window goes.
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "video/avifile.h"
#include "capture/cameradisplay.h"
#include "capture/cameraview.h"
#include "capture/postedtext.h"
#include "controls/progressdialog.h"
#include "camerathreadhold.h"
#include "capture/regionchooser.h"
#include "ui/messages.h"
#include "simcam.h"
#include "test_cameraview_support.h"
#include "vekcamera/VekCamera.h"

namespace {

namespace fs = std::filesystem;

// The frames FFmpeg reads back from a recording; -1 when it cannot open it.
int FramesIn(const std::string& path, int* width = nullptr, int* height = nullptr) {
    CAviFile reader;
    if (reader.OpenForRead(path) != 1)
        return -1;
    if (width)
        *width = reader.Width();
    if (height)
        *height = reader.Height();
    int n = 0;
    while (reader.ReadFrame(n))
        ++n;
    return n;
}

// ImageMagick's description of a file: "WIDTHxHEIGHT FORMAT", empty when it cannot read it.
std::string Identify(const std::string& path) {
    const std::string cmd = "identify -format '%wx%h %m' '" + path + "[0]' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return {};
    char buf[256] = {};
    const size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    return std::string(buf, n);
}

bool HaveIdentify() { return std::system("command -v identify >/dev/null 2>&1") == 0; }

class CameraViewCapture : public CameraViewTest {
protected:
    // One snap through the view, with the messages it sent; returns the announced path or "".
    std::string Snap(CCameraView& view, const std::string& path, int type) {
        settings_.snap.uiFiletype = type;
        const int before = frame_.Count(WM_CAMERA_FILESAVED);
        view.StartSnap(QString::fromStdString(path), &settings_);
        EXPECT_TRUE(PumpUntil([&] { return frame_.Count(WM_CAMERA_FILESAVED) > before; }, 15000));
        const auto saved = frame_.Of(WM_CAMERA_FILESAVED);
        EXPECT_EQ(static_cast<int>(saved.size()), before + 1) << "announced once";
        if (saved.empty())
            return {};
        EXPECT_EQ(saved.back().wParam, 0u);
        return saved.back().hasText ? saved.back().text : std::string();
    }
    // Starts a recording and waits until it holds `frames` frames.
    bool Record(CCameraView& view, const std::string& path, int frames) {
        return view.StartRecording(QString::fromStdString(path), &settings_) == 1 &&
               PumpUntil([&] { return view.RecordedFrames() >= frames; }, 15000);
    }
    bool Announced() { return PumpUntil([&] { return main_.Count(WM_CAMERA_FILESAVED) == 1; }, 30000); }
    std::unique_ptr<CCameraView> Running() {
        EXPECT_TRUE(OpenCamera());
        auto view = StartView();
        EXPECT_TRUE(view);
        if (view) {
            EXPECT_TRUE(PumpUntil([&] { return view->FramesShown() >= 2; }, 10000));
        }
        return view;
    }
};

TEST_F(CameraViewCapture, SnapsOfEveryTypeAreTheFilesAnnounced) {
    if (!HaveIdentify())
        GTEST_SKIP() << "ImageMagick's identify is not installed (scripts/deps)";
    auto view = Running();
    ASSERT_TRUE(view);
    const std::string base = Dir() + "/shot";
    const std::string jpg = Snap(*view, base + ".jpg", CAPTURE_FILE_JPEG);
    const std::string bmp = Snap(*view, base + ".bmp", CAPTURE_FILE_BMP);
    const std::string tif = Snap(*view, base + ".tiff", CAPTURE_FILE_TIFF);
    const std::string raw = Snap(*view, base + ".bmp", CAPTURE_FILE_RAW);
    EXPECT_EQ(Identify(jpg), "640x480 JPEG");
    EXPECT_EQ(Identify(bmp), "640x480 BMP3");
    // Capture to file names TIFF and RAW files itself: the announced names are the real ones.
    EXPECT_EQ(tif, base + ".tif");
    EXPECT_EQ(Identify(tif), "640x480 TIFF");
    EXPECT_EQ(raw, base + ".raw");
    EXPECT_TRUE(fs::is_regular_file(raw));
    EXPECT_GE(fs::file_size(raw), 640u * 480u);
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(view->GetRunState(), CCameraView::kRun) << "the threads run again after a capture";
    view->Shutdown(&settings_);
}

// What the user sees is what is saved: a still captured at full resolution from the 640 x 480
// preview has the live picture's brightness at the same exposure and gain.
TEST_F(CameraViewCapture, AFullResolutionSnapIsAsBrightAsTheLivePicture) {
    ASSERT_TRUE(OpenCamera(4));
    settings_.byCaptureRes = 0;
    ASSERT_EQ(VekCameraSetAeState(0), CAMERA_OK);
    ASSERT_EQ(VekCameraSetExposureTime(10), CAMERA_OK);
    auto meanOf = [](const BYTE* p, size_t n) {
        uint64_t sum = 0;
        for (size_t i = 0; i < n; ++i)
            sum += p[i];
        return static_cast<double>(sum) / static_cast<double>(n);
    };
    Pump(300);  // the sensor settles after an exposure change
    std::vector<BYTE> raw(640 * 480 * 3), rgb(640 * 480 * 3);
    ASSERT_EQ(VekCameraGrabFrame(raw.data()), CAMERA_OK);
    ASSERT_EQ(VekCameraDecode(raw.data(), rgb.data(), 640, 480), CAMERA_OK);
    const double live = meanOf(rgb.data(), rgb.size());
    ASSERT_GT(live, 40.0) << "a picture, not black";

    auto view = StartView();
    ASSERT_TRUE(view);
    const std::string bmp = Snap(*view, Dir() + "/full.bmp", CAPTURE_FILE_BMP);
    ASSERT_EQ(bmp, Dir() + "/full.bmp");
    std::vector<BYTE> file(54 + 3664ull * 2740 * 3);
    FILE* f = std::fopen(bmp.c_str(), "rb");
    ASSERT_TRUE(f);
    const size_t n = std::fread(file.data(), 1, file.size(), f);
    std::fclose(f);
    ASSERT_EQ(n, file.size()) << "a 3664 x 2740 BMP";
    const double saved = meanOf(file.data() + 54, file.size() - 54);
    // The same scene sampled at two sizes: its edges and texture fall on other pixels, which
    // moves the mean by about one percent; a different exposure moves it by a factor.
    EXPECT_NEAR(saved / live, 1.0, 0.03) << "live " << live << ", saved " << saved;
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ASecondSnapUnderTheSameNameKeepsTheFirst) {
    auto view = Running();
    ASSERT_TRUE(view);
    const std::string path = Dir() + "/same.tiff";
    const std::string first = Snap(*view, path, CAPTURE_FILE_TIFF);
    const std::string second = Snap(*view, path, CAPTURE_FILE_TIFF);
    const std::string third = Snap(*view, Dir() + "/same.bmp", CAPTURE_FILE_RAW);
    const std::string fourth = Snap(*view, Dir() + "/same.bmp", CAPTURE_FILE_RAW);
    EXPECT_EQ(first, Dir() + "/same.tif");
    EXPECT_EQ(second, Dir() + "/same_1.tif");
    EXPECT_EQ(third, Dir() + "/same.raw");
    EXPECT_EQ(fourth, Dir() + "/same_1.raw");
    for (const auto& p : {first, second, third, fourth})
        EXPECT_TRUE(fs::is_regular_file(p)) << p;
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ALongExposureSnapOfThisModelIsSavedAtOnce) {
    auto view = Running();
    ASSERT_TRUE(view);
    ASSERT_EQ(VekCameraSetExposureTime(40), CAMERA_OK);
    Pump(300);  // the sensor settles after an exposure change
    int before = 0;
    VekCameraGetExposureTime(&before);
    settings_.bLongExposure = 1;
    settings_.snap.uiFiletype = CAPTURE_FILE_BMP;
    // The threads restart for a fresh exposure, and the file is written on the camera thread
    // while "Wait a moment!" is up: held there, the snap is still pending and nothing is saved.
    {
        CameraThreadHold hold;
        view->StartSnap(QString::fromStdString(Dir() + "/long.bmp"), &settings_);
        EXPECT_TRUE(view->SnapPending());
        Pump(50);
        EXPECT_EQ(frame_.Count(WM_CAMERA_FILESAVED), 0);
        const auto dialogs = view->window()->findChildren<CProgressDialog*>();
        ASSERT_EQ(dialogs.size(), 1);
        EXPECT_EQ(dialogs[0]->GetText(), "Wait a moment!");
    }
    ASSERT_TRUE(PumpUntil([&] { return frame_.Count(WM_CAMERA_FILESAVED) == 1; }, 15000));
    EXPECT_EQ(frame_.Of(WM_CAMERA_FILESAVED)[0].text, Dir() + "/long.bmp");
    EXPECT_TRUE(view->window()->findChildren<CProgressDialog*>().isEmpty()) << "the dialog goes with the snap";
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().toStdString();
    EXPECT_FALSE(view->SnapPending());
    EXPECT_EQ(view->GetRunState(), CCameraView::kRun);
    int after = 0;
    VekCameraGetExposureTime(&after);
    EXPECT_EQ(after, before) << "the exposure is the same after the restart";
    const uint64_t shown = view->FramesShown();
    EXPECT_TRUE(PumpUntil([&] { return view->FramesShown() > shown; }, 10000));
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ACutRegionSnapHasTheRegionAndRawLandsInRaw) {
    auto view = Running();
    ASSERT_TRUE(view);
    // The child is larger than the 640 x 480 image: the mapping must not round to nothing.
    view->resize(1280, 960);
    PumpUntil([&] { return view->Display()->width() == 1280; });
    ASSERT_EQ(view->Display()->width(), 1280);
    FixedChooser chooser(view->Display(), RECT{101, 51, 401, 251});
    view->SetRegionChooser(&chooser);
    ASSERT_EQ(view->CutRegion(), 1);
    const RECT r = view->SourceRect();
    // (101, 51)-(401, 251) at half scale is (50, 25)-(201, 126), widened to 152 x 102.
    EXPECT_EQ(r.left, 49);
    EXPECT_EQ(r.top, 24);
    EXPECT_EQ(r.right, 201);
    EXPECT_EQ(r.bottom, 126);
    // The display child takes the region's aspect (to the pixel).
    EXPECT_NEAR(view->Display()->height(), view->Display()->width() * (r.bottom - r.top) / (r.right - r.left), 1);
    if (HaveIdentify()) {
        const std::string bmp = Snap(*view, Dir() + "/cut.bmp", CAPTURE_FILE_BMP);
        EXPECT_EQ(Identify(bmp), "152x102 BMP3");
    }
    const std::string raw = Snap(*view, Dir() + "/cut.bmp", CAPTURE_FILE_RAW);
    EXPECT_EQ(raw, Dir() + "/cut.raw");
    ASSERT_TRUE(fs::is_regular_file(raw));
    EXPECT_EQ(fs::file_size(raw), 152u * 102u * 3u);
    view->RestoreRegion();
    EXPECT_FALSE(view->IsCropped());
    EXPECT_EQ(view->SourceRect().right, 640);
    // An empty choice changes nothing.
    chooser.local_ = RECT{300, 300, 300, 340};
    EXPECT_EQ(view->CutRegion(), 0);
    EXPECT_FALSE(view->IsCropped());
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, RefusedFoldersAndFailedWritesAnnounceNothing) {
    auto view = Running();
    ASSERT_TRUE(view);
    EXPECT_EQ(Snap(*view, Dir() + "/missing/folder/a.bmp", CAPTURE_FILE_BMP), "");
    ASSERT_EQ(prompts_.messages.size(), 1);
    EXPECT_EQ(prompts_.messages[0], "This path can't save image!");
    if (fs::exists("/proc/version")) {
        EXPECT_EQ(Snap(*view, "/proc/shot.bmp", CAPTURE_FILE_BMP), "") << "a read-only filesystem";
        EXPECT_EQ(prompts_.messages.size(), 2);
    }
    // The camera goes away in the middle of a snap: nothing written, nothing announced.
    SimCamUnplug();
    EXPECT_EQ(Snap(*view, Dir() + "/gone.bmp", CAPTURE_FILE_BMP), "");
    EXPECT_FALSE(fs::exists(Dir() + "/gone.bmp"));
    EXPECT_EQ(prompts_.messages.back(), "This path can't save image!");
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ARecordingReadsBackWithItsFramesAndSize) {
    auto view = Running();
    ASSERT_TRUE(view);
    const std::string path = Dir() + "/video.avi";
    ASSERT_EQ(view->StartRecording(QString::fromStdString(path), &settings_), 1);
    EXPECT_EQ(view->StartRecording(QString::fromStdString(path), &settings_), 0) << "already recording";
    ASSERT_TRUE(PumpUntil([&] { return view->RecordedFrames() >= 6; }, 15000));
    // Cut and Restore would change the frame size under the recording.
    FixedChooser chooser(view->Display(), RECT{10, 10, 100, 100});
    view->SetRegionChooser(&chooser);
    EXPECT_EQ(view->CutRegion(), 0);
    EXPECT_EQ(chooser.calls, 0);
    ASSERT_EQ(view->StopRecording(), 1);
    EXPECT_EQ(view->StopRecording(), 0);
    ASSERT_TRUE(Announced());
    const auto saved = main_.Of(WM_CAMERA_FILESAVED)[0];
    EXPECT_EQ(saved.wParam, 1u);
    EXPECT_EQ(saved.text, path);
    PumpUntil([&] { return !frame_.Of(WM_CAMERA_STATUSTEXT).empty(); });
    const auto texts = frame_.Of(WM_CAMERA_STATUSTEXT);
    ASSERT_FALSE(texts.empty());
    const int frames = static_cast<int>(texts.size());
    EXPECT_EQ(texts.back().text, "Frame Count:  " + std::to_string(frames));

    int w = 0, h = 0;
    EXPECT_EQ(FramesIn(path, &w, &h), frames);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(CPostedTextRelay::Pending(), 0);
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ACutRecordingHasTheRegionSize) {
    auto view = Running();
    ASSERT_TRUE(view);
    FixedChooser chooser(view->Display(), RECT{0, 0, 321, 161});
    view->SetRegionChooser(&chooser);
    ASSERT_EQ(view->CutRegion(), 1);
    const RECT r = view->SourceRect();
    const std::string path = Dir() + "/cut.avi";
    ASSERT_TRUE(Record(*view, path, 3));
    view->StopRecording();
    ASSERT_TRUE(Announced());
    int w = 0, h = 0;
    EXPECT_GE(FramesIn(path, &w, &h), 3);
    EXPECT_EQ(w, r.right - r.left);
    EXPECT_EQ(h, r.bottom - r.top);
    EXPECT_EQ(w % 4, 0);
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, AFileThatCannotBeOpenedIsNotRecorded) {
    auto view = Running();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->StartRecording(QString::fromStdString(Dir() + "/no/such/dir/v.avi"), &settings_), 0);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(prompts_.messages.size(), 1);
    Pump(100);
    EXPECT_EQ(main_.Count(WM_CAMERA_FILESAVED), 0);
    EXPECT_EQ(frame_.Count(WM_CAMERA_STATUSTEXT), 0);
    view->Shutdown(&settings_);
}

// Real pacing: a frame every 700 ms is recorded at 1.43 frames per second, not at a whole 1.
TEST_F(CameraViewCapture, ARecordingRunsAtTheMeasuredFrameRate) {
    ASSERT_TRUE(OpenCamera());
    ASSERT_EQ(VekCameraSetExposureTime(700), CAMERA_OK);
    SimCamSetRealTime(true);
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesGrabbed() >= 4; }, 15000));
    ASSERT_EQ(view->StartRecording(QString::fromStdString(Dir() + "/rate.avi"), &settings_), 1);
    const double fps = static_cast<double>(view->AviFile().Rate()) / view->AviFile().Scale();
    EXPECT_NEAR(fps, 1000.0 / 700.0, 0.12);
    view->StopRecording();
    ASSERT_TRUE(Announced());
    view->Shutdown(&settings_);
}

// Real pacing: a 1 s limit ends the recording after 1.6 s through the frame.
TEST_F(CameraViewCapture, TheTimeLimitStopsTheRecording) {
    SimCamSetRealTime(true);
    auto view = Running();
    ASSERT_TRUE(view);
    SimCamSetRealTime(true);
    frame_.onMessage = [&](UINT m, WPARAM, LPARAM) {
        if (m == WM_CAMERA_RECORDLIMIT)
            view->StopRecording();
    };
    settings_.video.bTimeLimit = 1;
    settings_.video.TimeLimit = 1;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(view->StartRecording(QString::fromStdString(Dir() + "/limit.avi"), &settings_), 1);
    ASSERT_TRUE(Announced());
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(1550)) << "not before the limit and its 0.6 s";
    EXPECT_EQ(frame_.Count(WM_CAMERA_RECORDLIMIT), 1);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_GE(FramesIn(Dir() + "/limit.avi"), 1);
    frame_.onMessage = nullptr;
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, UnplugDuringARecordingStillFinishesTheFile) {
    auto view = Running();
    ASSERT_TRUE(view);
    const std::string path = Dir() + "/unplug.avi";
    ASSERT_TRUE(Record(*view, path, 3));
    SimCamUnplug();
    Pump(300);
    const int frames = view->RecordedFrames();
    view->StopRecording();
    ASSERT_TRUE(Announced());
    EXPECT_EQ(FramesIn(path), frames);
    view->Shutdown(&settings_);
}

TEST_F(CameraViewCapture, ClosingTheWindowFinishesAndAnnouncesTheRecording) {
    auto view = Running();
    ASSERT_TRUE(view);
    const std::string path = Dir() + "/closing.avi";
    ASSERT_TRUE(Record(*view, path, 3));
    view.reset();  // the window goes while recording
    ASSERT_TRUE(Announced());
    EXPECT_EQ(main_.Of(WM_CAMERA_FILESAVED)[0].text, path);
    EXPECT_GE(FramesIn(path), 3);
    EXPECT_EQ(CPostedTextRelay::Pending(), 0);
}

}  // namespace
