// The light/contrast/gamma dialog's preview on a 20-megapixel image: the opening thumbnail and
// one preview step (what each slider notification costs).
#include <benchmark/benchmark.h>

#include "app/dialogs/previewpair.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

constexpr LONG kWidth = 5472, kHeight = 3648;

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

void BM_LightContrastGamma_Thumbnail(benchmark::State& state) {
    for (auto _ : state) {
        CPreviewPair pair;
        benchmark::DoNotOptimize(pair.Open(Source()));
    }
}
BENCHMARK(BM_LightContrastGamma_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LightContrastGamma_PreviewStep(benchmark::State& state) {
    CPreviewPair pair;
    pair.Open(Source());
    for (auto _ : state) {
        pair.Recompute([](PxImage& img) {
            img.Light(20, -10);
            img.Gamma(0.87f);
        });
        benchmark::DoNotOptimize(pair.After());
    }
}
BENCHMARK(BM_LightContrastGamma_PreviewStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
