// The driver's colour pipeline, raw Bayer frame to processed 24-bit frame (dead-pixel repair,
// demosaic, white-balance gains, gamma, contrast, saturation, flip, edge rows), at the largest
// sensor mode and at 640 × 480, on frames from the simulated camera.
//
// With QUILLORY_BENCH_FRAME_DIR set, the raw frames are also written there (raw_<w>x<h>.bin,
// the mosaic without its header), so a peer can time its own conversion on the same frames.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ferrocam/cameraengine.h"
#include "outside/simcam/simcam.h"
#include "platform/usbtransport.h"
#include "platform/clock.h"

namespace {

struct PipelineFixture {
    std::unique_ptr<CCameraEngine> engine;
    std::vector<BYTE> raw, rgb;
    int width = 0, height = 0;
};

PipelineFixture* Prepare(int mode) {
    static ManualClock clock;
    SetClock(&clock);
    static const std::string config = (std::filesystem::temp_directory_path() / "ferrocam_bench_config").string();
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("QUILLORY_SIMULATED_CAMERA", "1", 1);
    SetSimulatedUsbTransportFactory(&SimCamCreateTransport);
    SimCamPlug();
    SimCamSetRealTime(false);

    auto* f = new PipelineFixture;
    f->engine = std::make_unique<CCameraEngine>();
    if (f->engine->Initialize(nullptr, mode, nullptr, nullptr) != CAMERA_OK)
        return nullptr;
    f->engine->GetImageSize(f->width, f->height);
    f->engine->SetGains(80, 64, 90);
    f->engine->SetGamma(110);
    f->engine->SetContrast(20);
    f->engine->SetSaturation(150);
    f->engine->SetExposureTime(30);
    clock.Advance(1000);
    const uint64_t pixels = static_cast<uint64_t>(f->width) * static_cast<uint64_t>(f->height);
    f->raw.assign(2 * pixels + 512, 0);
    f->rgb.assign(pixels * 3, 0);
    int result = CAMERA_NOFRAME;
    for (int i = 0; i < 20 && result != CAMERA_OK; ++i) {
        clock.Advance(300);
        result = f->engine->GrabFrame(f->raw.data(), f->raw.size());
    }
    if (result != CAMERA_OK)
        return nullptr;
    // A sprinkling of hot pixels, so the repair step has a list to work through.
    for (uint64_t i = 0; i < 400; ++i)
        f->raw[512 + (i * 7919 * 131) % pixels] = 255;
    if (const char* dir = std::getenv("QUILLORY_BENCH_FRAME_DIR")) {
        char name[64];
        std::snprintf(name, sizeof name, "/raw_%dx%d.bin", f->width, f->height);
        if (FILE* out = std::fopen((std::string(dir) + name).c_str(), "wb")) {
            std::fwrite(f->raw.data() + 512, 1, pixels, out);
            std::fclose(out);
        }
    }
    f->engine->ProcessFrame(f->raw.data(), f->rgb.data(), false);  // detects the dead pixels
    return f;
}

void BM_ColourPipeline(benchmark::State& state) {
    static PipelineFixture* fixtures[6] = {};
    const int mode = static_cast<int>(state.range(0));
    if (!fixtures[mode])
        fixtures[mode] = Prepare(mode);
    PipelineFixture* f = fixtures[mode];
    if (!f) {
        state.SkipWithError("the simulated camera gave no frame");
        return;
    }
    for (auto _ : state) {
        f->engine->ProcessFrame(f->raw.data(), f->rgb.data(), false);
        benchmark::DoNotOptimize(f->rgb.data());
    }
    state.SetLabel(std::to_string(f->width) + "x" + std::to_string(f->height));
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["dead"] = static_cast<double>(f->engine->Corrector().DeadPixels().size());
}

}  // namespace

BENCHMARK(BM_ColourPipeline)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
