// The Rotate dialog on a 20-megapixel image: building its thumbnail, and one preview step (the
// thumbnail turned and shown) as a slider move or a typed angle runs it.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "app/dialogs/rotatedialog.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"
#include "qtbenchmain.h"

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

void BM_RotateDialog_Thumbnail(benchmark::State& state) {
    for (auto _ : state) {
        CRotateDialog dlg(Source());
        benchmark::DoNotOptimize(dlg.Thumbnail().GetWidth());
    }
}
BENCHMARK(BM_RotateDialog_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RotateDialog_PreviewStep(benchmark::State& state) {
    CRotateDialog dlg(Source());
    int degrees = 0;
    for (auto _ : state) {
        dlg.m_angle = static_cast<float>(degrees = (degrees + 7) % 360);
        dlg.Preview();
        benchmark::DoNotOptimize(dlg.AfterImage());
    }
}
BENCHMARK(BM_RotateDialog_PreviewStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
