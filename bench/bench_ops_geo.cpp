// Resampling (area, B-spline, bilinear, bicubic) and free rotation on a 20-megapixel image.
// bench/peers/ops_geo.py times OpenCV's resize and warpAffine on the same work in the same run.
#include <benchmark/benchmark.h>

#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

constexpr LONG kWidth = 5472, kHeight = 3648;  // 20 megapixels, a common sensor size
constexpr LONG kSmallW = kWidth * 3 / 4, kSmallH = kHeight * 3 / 4;

// A smooth gradient with noise on top, the same on every run.
PxImage& Source() {
    static PxImage img;
    if (!img.IsValid()) {
        img.Create(kWidth, kHeight, 24);
        px::Rand15 r(1);
        for (LONG y = 0; y < kHeight; y++) {
            BYTE* row = img.GetBits(y);
            for (LONG x = 0; x < kWidth * 3; x++) row[x] = static_cast<BYTE>((x / 3 + y) / 40 + (r.Next() & 31));
        }
    }
    return img;
}

void BM_Resample_Area(benchmark::State& state) {
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state) benchmark::DoNotOptimize(Source().Resample(kSmallW, kSmallH, 0, &dst));
}
BENCHMARK(BM_Resample_Area)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Resample_BSpline(benchmark::State& state) {
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state) benchmark::DoNotOptimize(Source().Resample(kSmallW, kSmallH, 2, &dst));
}
BENCHMARK(BM_Resample_BSpline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Resample2_Bilinear(benchmark::State& state) {
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Source().Resample2(kSmallW, kSmallH, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &dst, true));
}
BENCHMARK(BM_Resample2_Bilinear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Resample2_Bicubic(benchmark::State& state) {
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Source().Resample2(kSmallW, kSmallH, PxImage::IM_GENERALIZED_CUBIC, PxImage::OM_REPEAT, &dst, true));
}
BENCHMARK(BM_Resample2_Bicubic)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Resample2_AreaBilinear(benchmark::State& state) {
    // The resample command's path when shrinking: area averaging with edge repetition.
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state)
        benchmark::DoNotOptimize(Source().Resample2(kSmallW, kSmallH, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &dst));
}
BENCHMARK(BM_Resample2_AreaBilinear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Rotate2_Bilinear(benchmark::State& state) {
    PxImage dst;
    Source();  // made before the clock runs
    for (auto _ : state) benchmark::DoNotOptimize(Source().Rotate2(30, &dst));
}
BENCHMARK(BM_Rotate2_Bilinear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The Fourier transform's working image: 8-bit gray levels enlarged to powers of two by mode 0.
PxImage& GraySource() {
    static PxImage img;
    if (!img.IsValid()) {
        img.Create(kWidth, kHeight, 8);
        img.SetGrayPalette();
        px::Rand15 r(2);
        for (LONG y = 0; y < kHeight; y++) {
            BYTE* row = img.GetBits(y);
            for (LONG x = 0; x < kWidth; x++) row[x] = static_cast<BYTE>((x + y) / 40 + (r.Next() & 31));
        }
    }
    return img;
}

void BM_Resample_Gray8(benchmark::State& state) {
    PxImage dst;
    GraySource();  // made before the clock runs
    for (auto _ : state) benchmark::DoNotOptimize(GraySource().Resample(8192, 4096, 0, &dst));
}
BENCHMARK(BM_Resample_Gray8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
