// Gaussian blur (the unsharp mask's separable blur and merge), median and the two-dimensional
// FFT on a 20-megapixel image (FFT2 resamples it to 8192 x 4096 first; FFT2Transform starts
// from that size). bench/peers/ops_filter.py times the same work with OpenCV.
#include <benchmark/benchmark.h>

#include <cstring>

#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

constexpr LONG kWidth = 5472, kHeight = 3648;  // 20 megapixels, a common sensor size

// A smooth gradient with noise on top, the same on every run.
PxImage& Source(WORD bpp) {
    static PxImage colour, grey;
    PxImage& img = bpp == 24 ? colour : grey;
    if (!img.IsValid()) {
        img.Create(kWidth, kHeight, bpp);
        if (bpp == 8) img.SetGrayPalette();
        px::Rand15 r(1);
        const int b = bpp / 8;
        for (LONG y = 0; y < kHeight; y++) {
            BYTE* row = img.GetBits(y);
            for (LONG x = 0; x < kWidth * b; x++) row[x] = static_cast<BYTE>((x / b + y) / 40 + (r.Next() & 31));
        }
    }
    return img;
}

void Fresh(PxImage& work, WORD bpp) {
    PxImage& src = Source(bpp);
    work.Copy(src);
}

void BM_GaussianBlur(benchmark::State& state) {
    // Radius 1: sigma 2, a 9-tap kernel.
    PxImage work;
    for (auto _ : state) {
        state.PauseTiming();
        Fresh(work, 24);
        state.ResumeTiming();
        benchmark::DoNotOptimize(work.UnsharpMask(1.0f, 0.5f, 0));
    }
}
BENCHMARK(BM_GaussianBlur)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Median3(benchmark::State& state) {
    PxImage work;
    for (auto _ : state) {
        state.PauseTiming();
        Fresh(work, 24);
        state.ResumeTiming();
        benchmark::DoNotOptimize(work.Median(3));
    }
}
BENCHMARK(BM_Median3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FFT2(benchmark::State& state) {
    // Forced to powers of two: 8192 x 4096 points.
    PxImage work, host;
    for (auto _ : state) {
        state.PauseTiming();
        Fresh(work, 8);
        state.ResumeTiming();
        benchmark::DoNotOptimize(host.FFT2(&work, nullptr, nullptr, nullptr, 1, true, false));
    }
}
BENCHMARK(BM_FFT2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_FFT2Transform(benchmark::State& state) {
    // The transform alone: a grey image that already has the 8192 x 4096 power-of-two size.
    static PxImage big;
    if (!big.IsValid()) {
        big.Create(8192, 4096, 8);
        big.SetGrayPalette();
        PxImage& src = Source(8);
        for (LONG y = 0; y < kHeight; y++) std::memcpy(big.GetBits(y), src.GetBits(y), kWidth);
    }
    PxImage work, host;
    for (auto _ : state) {
        state.PauseTiming();
        work.Copy(big);
        state.ResumeTiming();
        benchmark::DoNotOptimize(host.FFT2(&work, nullptr, nullptr, nullptr, 1, true, false));
    }
}
BENCHMARK(BM_FFT2Transform)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
