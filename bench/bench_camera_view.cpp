// The camera view's live picture at full resolution (preview 0, 3664 x 2740) on the simulated
// camera with the sensor's real pacing: how fast frames are grabbed, how far the picture on
// screen is behind the newest grabbed frame, and how many frames are dropped; then the same
// with a display slower than the sensor, which must drop frames without slowing the grab.
//
// The view is Qt code and the bench preset builds without the GUI, so this benchmark is built
// in a tree with the GUI and benchmarks on, for example:
//   cmake --preset release -DQUILLORY_BENCH=ON && cmake --build --preset release --target bench_camera_view
//   QT_QPA_PLATFORM=offscreen build/release/bin/bench_camera_view
#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "capture/cameradisplay.h"
#include "capture/camerasettings.h"
#include "capture/cameraview.h"
#include "capture/viewfinder.h"
#include "ui/msgbridge.h"
#include "simcam.h"
#include "vekcamera/VekCamera.h"
#include "qtbenchmain.h"

namespace {

using Clock = std::chrono::steady_clock;

// Passes frames on to the view's own display child after a delay, as a slow screen would.
class SlowDisplay : public IViewFinder {
public:
    SlowDisplay(IViewFinder* next, std::chrono::milliseconds delay) : next_(next), delay_(delay) {}
    void Configure(int w, int h) override { next_->Configure(w, h); }
    void PresentFrame(const BYTE* bgr24, const RECT& source, uint64_t sequence) override {
        std::this_thread::sleep_for(delay_);
        next_->PresentFrame(bgr24, source, sequence);
    }

private:
    IViewFinder* next_;
    std::chrono::milliseconds delay_;
};

struct CameraSession {
    QTemporaryDir config;
    bool ok = false;
    CameraSession() {
        setenv("QUILLORY_SIMULATED_CAMERA", "1", 1);
        setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);
        SimCamReset();
        SimCamSetRealTime(true);
        SimCamPlug();
        VekCamera_SetCamera(28);
        ok = VekCameraInit(0, nullptr, nullptr) == CAMERA_OK;
    }
    ~CameraSession() {
        VekCameraUnInit();
        SimCamUnplug();
    }
};

void RunLiveView(benchmark::State& state, int displayDelayMs) {
    CameraSession camera;
    if (!camera.ok) {
        state.SkipWithError("the simulated camera did not open");
        return;
    }
    CameraSettings settings;
    settings.nCameraId = 28;
    CCameraView view;
    view.resize(916, 685);
    view.show();
    SlowDisplay slow(view.Display(), std::chrono::milliseconds(displayDelayMs));
    if (displayDelayMs > 0)
        view.SetDisplayTarget(&slow);
    if (!view.Init(&settings)) {
        state.SkipWithError("the view did not start");
        return;
    }
    // Warm up: the first frames pay for the pipeline's tables.
    const auto warm = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < warm) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double seconds = 0, lagSum = 0;
    uint64_t grabbed = 0, shown = 0, painted = 0, samples = 0;
    for (auto _ : state) {
        const uint64_t g0 = view.FramesGrabbed(), s0 = view.FramesShown(), p0 = view.Display()->PaintedFrames();
        const auto t0 = Clock::now();
        const auto end = t0 + std::chrono::seconds(6);
        while (Clock::now() < end) {
            PumpPrivateMessages();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // Frames grabbed since the one on screen.
            const uint64_t newest = view.NewestSequence(), onScreen = view.Display()->PaintedSequence();
            if (onScreen) {
                lagSum += static_cast<double>(newest - onScreen);
                ++samples;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        grabbed += view.FramesGrabbed() - g0;
        shown += view.FramesShown() - s0;
        painted += view.Display()->PaintedFrames() - p0;
    }
    view.Shutdown(&settings);
    view.SetDisplayTarget(nullptr);
    state.counters["grab_fps"] = grabbed / seconds;
    state.counters["shown_fps"] = shown / seconds;
    state.counters["paint_fps"] = painted / seconds;
    state.counters["lag_frames"] = samples ? lagSum / samples : 0;
    state.counters["dropped"] = static_cast<double>(grabbed > shown ? grabbed - shown : 0);
    state.counters["dropped_pct"] = grabbed ? 100.0 * (grabbed - shown) / grabbed : 0;
}

void BM_LiveViewFullResolution(benchmark::State& state) { RunLiveView(state, 0); }
// A display that needs 900 ms a frame, well below the sensor's rate at full resolution.
void BM_LiveViewSlowDisplay(benchmark::State& state) { RunLiveView(state, 900); }

BENCHMARK(BM_LiveViewFullResolution)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveViewSlowDisplay)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
