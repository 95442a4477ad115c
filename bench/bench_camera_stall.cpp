// How long the UI thread stops answering while the camera window works: the longest gap between
// ticks of a 1 ms timer on the UI thread while an operation runs and events are pumped until it
// has finished, for
//   open        the main frame's camera launch, until the first frame is on screen;
//   snap        a snap captured to a file at full resolution (capture resolution 0, BMP), until
//               the file is announced and live view shows a new frame;
//   resolution  the save dialog's preview change: the preview size switched between 640 x 480
//               and 1280 x 960, close, and 200 ms later open again with the background
//               correction flag, until a frame is on screen;
//   close       the window's close button, until the window is gone.
// Each counter (<op>_stall_ms) is the largest over the iterations; <op>_ms is the operation's
// longest wall time. The whole program runs offscreen on the simulated camera with the sensor's
// real pacing. Built in a tree with the GUI and benchmarks on:
//   cmake --preset bench && cmake --build build/bench --target bench_camera_stall
//   QT_QPA_PLATFORM=offscreen build/bench/bin/bench_camera_stall
// QUILLORY_STALL_ITERATIONS sets the number of open/snap/resolution/close rounds (default 3).
#include <QApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "camerabench.h"
#include "capture/cameraframe.h"

namespace {

using namespace camerabench;

// A 1 ms timer on the UI thread; the largest gap between its ticks is the longest stall.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        maxGapNs_ = 0;
        clock_.start();
        last_ = clock_.nsecsElapsed();
        timer_.start();
    }
    // The longest gap in ms, the one up to now included.
    double Stop() {
        Tick();
        timer_.stop();
        return maxGapNs_ / 1e6;
    }

private:
    void Tick() {
        const qint64 now = clock_.nsecsElapsed();
        maxGapNs_ = std::max(maxGapNs_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 maxGapNs_ = 0;
};

struct Figure {
    double stallMs = 0;
    double wallMs = 0;
};

// Starts `operation` from the event loop, as a click would, and pumps until `done`.
bool Measure(StallMeter& meter, Figure& figure, const std::function<void()>& operation,
             const std::function<bool()>& done) {
    meter.Start();
    PumpFor(20);  // the timer's own rhythm before the operation
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(0, operation);
    const bool finished = PumpUntil(done, 60000);
    const double ms = wall.nsecsElapsed() / 1e6;
    const double stall = meter.Stop();
    figure.stallMs = std::max(figure.stallMs, stall);
    figure.wallMs = std::max(figure.wallMs, ms);
    return finished;
}

void BM_CameraStall(benchmark::State& state) {
    Program program([](CProfile& p) {
        p.WriteProfileInt("FileSave", "bConfig", 1);
        p.WriteProfileInt("FileSave", "bLapse", 0);
        p.WriteProfileInt("FileSave", "bTimeStamp", 0);
        p.WriteProfileInt("FileSave", "uiFiletype", 2);  // BMP
        p.WriteProfileString("FileSave", "sFilename", "stall");
        p.WriteProfileInt("LumoProf28", "Capture", 0);  // full resolution
    });
    if (!program.Started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    // The launch at start opens the window once; it is closed so that every open is measured.
    if (!program.WaitShowing() || !program.CloseCamera()) {
        state.SkipWithError("the camera window did not open and close at start");
        return;
    }
    StallMeter meter;
    Figure open, snap, resolution, close;
    const char* failed = nullptr;
    for (auto _ : state) {
        if (!Measure(meter, open, [&] { PostMessage(program.MainHandle(), WM_CAMERA_CREATEFRAME, 0, 0); },
                     [&] { return program.FramesPainted() > 0; })) {
            failed = "the camera did not open";
            break;
        }
        PumpFor(1000);  // live view settles

        const qsizetype files = program.Announced().size();
        std::optional<uint64_t> paintedAtFile;
        if (!Measure(meter, snap, [&] { PostMessage(program.CameraHandle(), WM_COMMAND, kCmdSnap, 0); },
                     [&] {
                         if (program.Announced().size() <= files) return false;
                         if (!paintedAtFile) paintedAtFile = program.FramesPainted();
                         return program.FramesPainted() > *paintedAtFile;
                     })) {
            failed = "the snap wrote no file";
            break;
        }
        QFile::remove(program.Announced().last());
        PumpFor(1000);

        const CCameraDisplay* displayAtOpen = nullptr;
        uint64_t paintedAtOpen = 0;
        bool reopened = false;
        if (!Measure(
                meter, resolution,
                [&] {
                    const HWND camera = program.CameraHandle();
                    if (auto* frame = dynamic_cast<CCameraFrame*>(program.CameraWindow())) {
                        BYTE& preview = frame->Settings().byPreviewRes;
                        preview = preview == 4 ? 2 : 4;
                    }
                    SendMessage(camera, WM_CAMERA_CLOSE, 0, 0);
                    QTimer::singleShot(200, [&, camera] {
                        displayAtOpen = program.Display();
                        paintedAtOpen = program.FramesPainted();
                        reopened = true;
                        SendMessage(camera, WM_CAMERA_OPEN, 1, 0);
                    });
                },
                [&] {
                    return reopened && program.Display() &&
                           (program.Display() != displayAtOpen || program.FramesPainted() > paintedAtOpen);
                })) {
            failed = "the camera did not reopen";
            break;
        }
        PumpFor(1000);

        QPointer<QWidget> window = program.CameraWindow();
        if (!Measure(meter, close, [&] { if (window) window->close(); },
                     [&] { return !window && !program.CameraWindow(); })) {
            failed = "the camera window did not close";
            break;
        }
        PumpFor(500);
    }
    // A prompt means the operation did not go as a user's would: the figures are not today's.
    if (!program.Prompts().messages.isEmpty())
        std::fprintf(stderr, "prompted: %s\n", qPrintable(program.Prompts().messages.join(" | ")));
    if (failed) state.SkipWithError(failed);
    state.counters["open_stall_ms"] = open.stallMs;
    state.counters["snap_stall_ms"] = snap.stallMs;
    state.counters["resolution_stall_ms"] = resolution.stallMs;
    state.counters["close_stall_ms"] = close.stallMs;
    state.counters["open_ms"] = open.wallMs;
    state.counters["snap_ms"] = snap.wallMs;
    state.counters["resolution_ms"] = resolution.wallMs;
    state.counters["close_ms"] = close.wallMs;
}

int Iterations() {
    const int n = qEnvironmentVariableIntValue("QUILLORY_STALL_ITERATIONS");
    return n > 0 ? n : 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("BM_CameraStall", BM_CameraStall)
        ->Iterations(Iterations())
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
