// The live view on the real hub and the simulated camera: frames reported and shown, the
// newest frame winning the hand-over, stopping in a long exposure, the dropped frame after an
// exposure change, and unplugging the camera while the picture runs.
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QKeyEvent>
#include <QMouseEvent>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "capture/cameradisplay.h"
#include "capture/cameraview.h"
#include "capture/viewfinder.h"
#include "ui/messages.h"
#include "simcam.h"
#include "test_cameraview_support.h"
#include "vekcamera/VekCamera.h"

namespace {

using namespace std::chrono_literals;

// A display slower than the camera: every frame takes `delay` to show.
class SlowViewer : public IViewFinder {
public:
    explicit SlowViewer(std::chrono::milliseconds delay, const CCameraView* view) : delay_(delay), view_(view) {}
    void Configure(int, int) override {}
    void PresentFrame(const BYTE* bgr24, const RECT&, uint64_t sequence) override {
        std::lock_guard<std::mutex> g(lock_);
        if (!bgr24 || sequence <= last_)
            outOfOrder_ = true;
        last_ = sequence;
        // The frame taken after the last one was shown is at least the newest grabbed by then
        // (one frame may still be on its way into the slot); an older one means the display
        // was handed a frame the grab had already replaced.
        if (presented_ && sequence + 1 < newestAtLastEnd_)
            ++stale_;
        ++presented_;
        std::this_thread::sleep_for(delay_);  // a slow display: the checks hold at any length
        newestAtLastEnd_ = view_->NewestSequence();
    }
    uint64_t presented() {
        std::lock_guard<std::mutex> g(lock_);
        return presented_;
    }
    std::chrono::milliseconds delay_;
    const CCameraView* view_;
    std::mutex lock_;
    uint64_t last_ = 0, presented_ = 0, newestAtLastEnd_ = 0, stale_ = 0;
    bool outOfOrder_ = false;
};

TEST_F(CameraViewTest, LiveFramesAreReportedAndPainted) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->ImageWidth(), 640);
    EXPECT_EQ(view->ImageHeight(), 480);
    EXPECT_EQ(view->GetRunState(), CCameraView::kRun);
    ASSERT_TRUE(PumpUntil([&] { return frame_.Count(WM_CAMERA_FRAME) >= 5 && view->Display()->PaintedFrames() >= 2; }, 10000));
    for (const auto& m : frame_.Of(WM_CAMERA_FRAME)) {
        EXPECT_GE(m.wParam, 1u);
        EXPECT_LE(m.wParam, 255u);
    }
    // The display child keeps the picture's aspect inside the view and shows a real picture.
    EXPECT_TRUE(view->Display()->isVisible());
    EXPECT_EQ(view->Display()->width() * 480, view->Display()->height() * 640);
    const QImage shown = view->Display()->LastPainted();
    ASSERT_FALSE(shown.isNull());
    int distinct = 0;
    const QRgb first = shown.pixel(0, 0);
    for (int y = 0; y < shown.height(); y += 7)
        for (int x = 0; x < shown.width(); x += 7)
            distinct += shown.pixel(x, y) != first;
    EXPECT_GT(distinct, 10) << "the painted picture is not one flat colour";

    view->Shutdown(&settings_);
    EXPECT_EQ(view->GetRunState(), CCameraView::kStop);
    EXPECT_FALSE(view->Display()->isVisible());
    const uint64_t grabbed = view->FramesGrabbed();
    Pump(50);
    EXPECT_EQ(view->FramesGrabbed(), grabbed) << "no grabbing after the shutdown";
}

TEST_F(CameraViewTest, TheNewestFrameWinsAndASlowDisplayDropsFrames) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    SlowViewer slow(60ms, view.get());
    view->SetDisplayTarget(&slow);
    ASSERT_TRUE(PumpUntil([&] { return slow.presented() >= 8; }, 15000));
    view->SetDisplayTarget(nullptr);
    view->Shutdown(&settings_);
    std::lock_guard<std::mutex> g(slow.lock_);
    EXPECT_FALSE(slow.outOfOrder_) << "frames shown in grab order, never twice";
    // The grab went on at its own pace: far more frames were grabbed than shown.
    EXPECT_GT(view->FramesGrabbed(), 3 * view->FramesShown());
    EXPECT_GT(slow.last_, 3 * slow.presented_);
    EXPECT_EQ(slow.stale_, 0u) << "each frame shown was the newest one";
}

TEST_F(CameraViewTest, TheFrameAfterAnExposureChangeIsDropped) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesReported() >= 3; }, 10000));
    // Paused: a grab in flight finishes, then the counts stay as they are.
    auto settle = [&] {
        view->SetRunState(CCameraView::kPause);
        for (int i = 0; i < 100; ++i) {
            const uint64_t g = view->FramesGrabbed(), r = view->FramesReported();
            Pump(80);
            if (g == view->FramesGrabbed() && r == view->FramesReported()) break;
        }
    };
    settle();
    const uint64_t grabbed0 = view->FramesGrabbed(), reported0 = view->FramesReported();
    view->SetSkipNext();
    view->SetRunState(CCameraView::kRun);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesGrabbed() >= grabbed0 + 4; }, 10000));
    settle();
    EXPECT_FALSE(view->SkipNextPending());
    EXPECT_EQ((view->FramesGrabbed() - grabbed0) - (view->FramesReported() - reported0), 1u)
        << "exactly one frame neither reported nor shown";
    view->SetRunState(CCameraView::kRun);
    view->Shutdown(&settings_);
}

// Keeps whether the three bytes at one offset of the last frame shown were all 255.
class PixelProbe : public IViewFinder {
public:
    explicit PixelProbe(size_t offset) : offset_(offset) {}
    void Configure(int, int) override {}
    void PresentFrame(const BYTE* bgr24, const RECT&, uint64_t) override {
        std::lock_guard<std::mutex> g(lock_);
        saturated_ = bgr24[offset_] == 255 && bgr24[offset_ + 1] == 255 && bgr24[offset_ + 2] == 255;
        ++frames_;
    }
    // A frame shown after `from` frames was (not) saturated at the offset.
    bool Shown(uint64_t from, bool saturated) {
        std::lock_guard<std::mutex> g(lock_);
        return frames_ > from + 1 && saturated_ == saturated;
    }
    uint64_t Frames() {
        std::lock_guard<std::mutex> g(lock_);
        return frames_;
    }

private:
    const size_t offset_;
    std::mutex lock_;
    uint64_t frames_ = 0;
    bool saturated_ = false;
};

// The display thread takes the correction points when the view starts and follows the switch
// the UI thread flips while it runs; the record's own points may go meanwhile.
TEST_F(CameraViewTest, BackCorrectionKeepsItsStartPointsAndFollowsItsSwitch) {
    ASSERT_TRUE(OpenCamera());
    // A percent of 1 multiplies the point's channels by 100: any lit pixel shows saturated.
    auto* points = new BackCorrPoint[1];
    points[0] = BackCorrPoint{320, 240, {1, 1, 1}, 0};
    settings_.pBackPoints = points;
    settings_.nBackPoints = 1;
    settings_.bBackCorrApply = 0;
    auto view = StartView();
    ASSERT_TRUE(view);
    settings_.pBackPoints = nullptr;
    settings_.nBackPoints = 0;
    delete[] points;
    PixelProbe probe((240 * 640 + 320) * 3);
    view->SetDisplayTarget(&probe);
    auto shows = [&](bool saturated) {
        const uint64_t from = probe.Frames();
        return PumpUntil([&] { return probe.Shown(from, saturated); }, 15000);
    };
    EXPECT_TRUE(shows(false)) << "the simulated picture is not saturated at the point";
    settings_.bBackCorrApply = 1;
    EXPECT_TRUE(shows(true)) << "the correction applies once switched on";
    settings_.bBackCorrApply = 0;
    EXPECT_TRUE(shows(false)) << "and stops once switched off";
    view->SetDisplayTarget(nullptr);
    view->Shutdown(&settings_);
}

// Real pacing: the grab blocks for the whole exposure.
TEST_F(CameraViewTest, StoppingInALongExposureIsPromptAndRestoresTheExposure) {
    ASSERT_TRUE(OpenCamera(0));  // full resolution at the slowest clock reaches 10 s
    ASSERT_EQ(VekCameraSetFrameSpeed(4), CAMERA_OK);
    SimCamSetRealTime(true);
    ASSERT_EQ(VekCameraSetExposureTime(10000), CAMERA_OK);
    int before = 0;
    VekCameraGetExposureTime(&before);
    ASSERT_GT(before, 9000);
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(SimCamWaitForWaitingRead());  // inside its 10 s read
    const auto t0 = std::chrono::steady_clock::now();
    view->StopThreads();
    const auto took = std::chrono::steady_clock::now() - t0;
    // Against the 10 s exposure, not a rate: only a stop that waited for it takes this long.
    EXPECT_LT(took, 8s) << "stopping waited for the exposure";
    int after = 0;
    VekCameraGetExposureTime(&after);
    EXPECT_EQ(after, before) << "the forced 1 ms exposure is undone";
    view->Shutdown(&settings_);
}

// Real pacing: frames have come, and the grab is inside the next of its 2.5 s exposures.
TEST_F(CameraViewTest, StoppingBetweenLongExposuresDoesNotWaitForTheNext) {
    ASSERT_TRUE(OpenCamera());
    ASSERT_EQ(VekCameraSetFrameSpeed(4), CAMERA_OK);  // 62.6 us a row: 2.5 s fits the register
    ASSERT_EQ(VekCameraSetExposureTime(2500), CAMERA_OK);
    std::this_thread::sleep_for(250ms);  // the sensor settles: the first exposure gives a frame
    SimCamSetRealTime(true);
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesGrabbed() >= 1; }, 15000));
    ASSERT_TRUE(SimCamWaitForWaitingRead());  // inside the next exposure
    const auto t0 = std::chrono::steady_clock::now();
    view->StopThreads();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1200ms) << "stopping waited for the exposure";
    int after = 0;
    VekCameraGetExposureTime(&after);
    EXPECT_GE(after, 2499) << "the forced 1 ms exposure is undone";
    view->Shutdown(&settings_);
}

TEST_F(CameraViewTest, UnpluggedCameraNeitherSpinsNorHangs) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesReported() >= 3; }, 10000));
    SimCamUnplug();
    ASSERT_TRUE(PumpUntil([&] { return view->GrabsFailed() >= 1; }, 20000));
    const uint64_t grabbed = view->FramesGrabbed();
    // Counted, not timed against the CPU: past the second failure each grab waits (1, 2, 4 ...
    // up to 50 ms), so failures come no faster than that allows; a loop that does not wait
    // fails thousands of times. Slowness only lowers the count.
    const uint64_t failed0 = view->GrabsFailed();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(PumpUntil([&] { return view->GrabsFailed() >= failed0 + 12; }, 30000)) << "each grab returns";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LE(view->GrabsFailed() - failed0, static_cast<uint64_t>(ms.count() / 25 + 12))
        << "failing grabs back off instead of spinning";
    EXPECT_EQ(view->FramesGrabbed(), grabbed);
    const auto t1 = std::chrono::steady_clock::now();
    view->Shutdown(&settings_);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 20s) << "the shutdown hangs";
    EXPECT_EQ(view->GetRunState(), CCameraView::kStop);
}

TEST_F(CameraViewTest, DoubleClickAndEscapeAskTheFrame) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &dbl);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &esc);
    ASSERT_TRUE(PumpUntil([&] { return frame_.Count(WM_COMMAND) == 2; }, 2000));
    EXPECT_EQ(frame_.Of(WM_COMMAND)[0].wParam, 32985u);
    EXPECT_EQ(frame_.Of(WM_COMMAND)[1].wParam, 32984u);
    view->Shutdown(&settings_);
}

}  // namespace

namespace {

TEST_F(CameraViewTest, AreaWhiteBalanceSetsTheGainsFromTheChosenArea) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesShown() >= 2; }, 10000));
    ASSERT_EQ(VekCameraSetGain(64, 64, 64), CAMERA_OK);
    EXPECT_EQ(view->AreaWhiteBalance(), 0) << "no chooser, nothing chosen";
    FixedChooser chooser(view->Display(), RECT{100, 100, 300, 250});
    view->SetRegionChooser(&chooser);
    ASSERT_EQ(view->AreaWhiteBalance(), 1);
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(VekCameraGetGain(&r, &g, &b), CAMERA_OK);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(settings_.redGain.nValue, r);
    EXPECT_EQ(settings_.blueGain.nValue, b);
    EXPECT_GT(r, 0);
    EXPECT_GT(b, 0);
    EXPECT_EQ(view->GetRunState(), CCameraView::kRun);
    const uint64_t shown = view->FramesShown();
    EXPECT_TRUE(PumpUntil([&] { return view->FramesShown() > shown; }, 10000)) << "the picture goes on";
    view->Shutdown(&settings_);
}

}  // namespace

namespace {

// The wizard's display area: counts the frames it is given.
class CountingViewer : public IViewFinder {
public:
    void Configure(int w, int h) override { width = w, height = h; }
    void PresentFrame(const BYTE*, const RECT&, uint64_t) override { ++frames; }
    std::atomic<int> frames{0};
    int width = 0, height = 0;
};

TEST_F(CameraViewTest, TheWizardShowsTheLivePictureWhileItRuns) {
    ASSERT_TRUE(OpenCamera());
    auto view = StartView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->WhiteBalanceWizard(), 0) << "no wizard to run";
    CountingViewer viewer;
    int askedWidth = 0, askedHeight = 0;
    view->SetWizardFactory([&](QWidget* parent, int w, int h) {
        askedWidth = w;
        askedHeight = h;
        CCameraView::WizardHandle handle;
        handle.dialog = std::make_unique<QDialog>(parent);
        QDialog* dlg = handle.dialog.get();
        // Finish once the wizard's display has shown a few frames.
        auto* poll = new QTimer(dlg);
        QObject::connect(poll, &QTimer::timeout, dlg, [dlg, &viewer] {
            if (viewer.frames >= 3)
                dlg->accept();
        });
        poll->start(10);
        QTimer::singleShot(10000, dlg, [dlg] { dlg->reject(); });
        handle.display = &viewer;
        return handle;
    });
    EXPECT_EQ(view->WhiteBalanceWizard(), QDialog::Accepted);
    EXPECT_EQ(askedWidth, view->Display()->width());
    EXPECT_EQ(askedHeight, view->Display()->height());
    EXPECT_EQ(viewer.width, 640);
    EXPECT_GE(viewer.frames.load(), 3);
    const uint64_t painted = view->Display()->PaintedFrames();
    EXPECT_TRUE(PumpUntil([&] { return view->Display()->PaintedFrames() > painted; }, 10000))
        << "the view's own display shows the picture again";
    const int afterWizard = viewer.frames;
    Pump(100);
    EXPECT_EQ(viewer.frames.load(), afterWizard);
    view->Shutdown(&settings_);
}

}  // namespace
