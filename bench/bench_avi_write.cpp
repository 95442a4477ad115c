// Recording throughput of the AVI writer: how many camera frames a second it takes, uncompressed
// and through the lossless and the MPEG-4 compressors, and an uncompressed recording that grows
// past 1 GB into the OpenDML extension (checked by reading its last frame back). The files go to
// QUILLORY_BENCH_WORK (default /tmp/quillory-bench-avi) and are removed afterwards.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "video/avifile.h"

namespace {

std::string WorkFile(const std::string& name) {
    const char* env = std::getenv("QUILLORY_BENCH_WORK");
    std::string dir = (env && *env) ? env : "/tmp/quillory-bench-avi";
    mkdir(dir.c_str(), 0755);
    return dir + "/" + name;
}

// A camera-like frame: gradients with a little noise, bottom-up BGR.
std::vector<BYTE> Frame(int w, int h, int index) {
    std::vector<BYTE> f(static_cast<size_t>(w) * h * 3);
    uint32_t seed = 777u + static_cast<uint32_t>(index);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            BYTE* p = &f[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<BYTE>(x / 8 + (seed >> 29));
            p[1] = static_cast<BYTE>(y / 6 + index);
            p[2] = static_cast<BYTE>(128 + ((x + y) / 16) % 64);
        }
    }
    return f;
}

void BM_RecordFrames(benchmark::State& state, FOURCC fcc) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const std::vector<BYTE> frames[2] = {Frame(w, h, 0), Frame(w, h, 1)};
    const std::string path = WorkFile("record.avi");
    CAviFile avi;
    avi.SetCompressor(fcc);
    avi.SetRate(30000000);
    if (!avi.Open(path, w, h)) {
        state.SkipWithError(avi.LastError().c_str());
        return;
    }
    int i = 0;
    for (auto _ : state) {
        if (!avi.WriteFrame(frames[i++ & 1].data())) {
            state.SkipWithError(avi.LastError().c_str());
            break;
        }
    }
    avi.Close();
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h * 3);
}
BENCHMARK_CAPTURE(BM_RecordFrames, uncompressed, FOURCC_DIB)->Args({1280, 1024})->Args({2592, 1944});
BENCHMARK_CAPTURE(BM_RecordFrames, huffyuv, MakeFourCC('H', 'F', 'Y', 'U'))->Args({1280, 1024});
BENCHMARK_CAPTURE(BM_RecordFrames, mpeg4, MakeFourCC('X', 'V', 'I', 'D'))->Args({1280, 1024});

// 1.2 GB of 1920 x 1080 frames: the file must stay readable to its last frame.
void BM_RecordPastOneGigabyte(benchmark::State& state) {
    const int w = 1920;
    const int h = 1080;
    const int count = 200;
    const std::vector<BYTE> frame = Frame(w, h, 0);
    const std::string path = WorkFile("large.avi");
    for (auto _ : state) {
        CAviFile avi;
        avi.SetRate(25000000);
        if (!avi.Open(path, w, h)) {
            state.SkipWithError(avi.LastError().c_str());
            break;
        }
        for (int i = 0; i < count; ++i) {
            if (!avi.WriteFrame(frame.data())) {
                state.SkipWithError(avi.LastError().c_str());
                break;
            }
        }
        if (!avi.Close()) {
            state.SkipWithError(avi.LastError().c_str());
            break;
        }
        state.PauseTiming();
        const bool readable = avi.OpenForRead(path) && avi.ReadFrame(count - 1) && !avi.ReadFrame(count);
        avi.Close();
        state.ResumeTiming();
        if (!readable) {
            state.SkipWithError("the recording past 1 GB does not read back to its last frame");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h * 3 * count);
}
BENCHMARK(BM_RecordPastOneGigabyte)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
