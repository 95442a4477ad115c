// The webcam view's work for one new 1920 x 1080 frame: the brightness sum, the hand-over to the
// display child, and that plus writing an uncompressed recording frame (whole frame, and a cut
// region). The view runs on a test-pattern device of that size with its grab thread paused, so
// only the measured calls touch the view. Built in a tree with the GUI and benchmarks on:
//   cmake --preset release -DQUILLORY_BENCH=ON && cmake --build --preset release --target bench_dsview
//   QT_QPA_PLATFORM=offscreen build/release/bin/bench_dsview
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

#include "VideoDevice.h"
#include "capture/camerasettings.h"
#include "capture/dscameraview.h"
#include "platform/clock.h"
#include "qodirectx.h"

namespace {

constexpr int kW = 1920, kH = 1080;

struct Fixture {
    Fixture() {
        videodev::SetSystemDevicesHidden(true);
        videodev::RemoveTestPatternDevices();
        videodev::TestPatternOptions o;
        o.friendlyName = "Bench";
        o.sizes = {{kW, kH}};
        o.frameIntervalMs = 1000;
        videodev::AddTestPatternDevice(o);
        ok = DSCameraInit(0, nullptr) == 1 && DSCameraPlay() == 1;
        SleepMs(200);
        ok = ok && view.Init(&settings) == 1;
        view.SetRunState(CDSCameraView::kPause);
        frame.assign(static_cast<size_t>(kW) * kH * 3, 0);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<BYTE>(i * 7);
    }
    ~Fixture() {
        view.Shutdown();
        DSCameraStop();
        DSCameraUnInit();
        videodev::RemoveTestPatternDevices();
    }
    bool ok = false;
    CameraSettings settings{};
    CDSCameraView view;
    std::vector<BYTE> frame;
};

Fixture* g_fixture = nullptr;

void BM_Brightness(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(CDSCameraView::FrameBrightness(g_fixture->frame.data(), kW, kH));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Brightness)->Unit(benchmark::kMillisecond);

void BM_FrameToDisplay(benchmark::State& state) {
    if (!g_fixture->ok) return state.SkipWithError("no device");
    uint64_t n = 0;
    IFrameSink& sink = g_fixture->view;  // as the frame source hands a frame over
    for (auto _ : state) sink.OnFrame(g_fixture->frame.data(), ++n);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameToDisplay)->Unit(benchmark::kMillisecond);

void BM_FrameRecorded(benchmark::State& state) {
    if (!g_fixture->ok) return state.SkipWithError("no device");
    QTemporaryDir dir;
    CDSCameraView& view = g_fixture->view;
    view.SetRunState(CDSCameraView::kRun);
    if (!view.StartRecording(dir.filePath("bench.avi"), &g_fixture->settings)) return state.SkipWithError("no recording");
    view.SetRunState(CDSCameraView::kPause);
    uint64_t n = 0;
    IFrameSink& sink = view;
    for (auto _ : state) sink.OnFrame(g_fixture->frame.data(), ++n);
    state.SetItemsProcessed(state.iterations());
    view.StopRecording();
}
BENCHMARK(BM_FrameRecorded)->Unit(benchmark::kMillisecond)->Iterations(60);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture fixture;
    g_fixture = &fixture;
    benchmark::RunSpecifiedBenchmarks();
    g_fixture = nullptr;
    return 0;
}
