// Small helpers shared by the pixel operations (colour, filter, histogram, fourier, mix).
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "imagelib/core/pxworkerpool.h"
#include "platform/wintypes.h"

namespace px_ops {

// Truncation toward zero after clamping to 0..255. Clamping first keeps huge values and NaN
// away from the float-to-int conversion, which would be undefined.
inline BYTE ClampToByte(double v) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= 255) return 255;
    return static_cast<BYTE>(v);
}

inline BYTE ClampInt(int64_t v) { return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The library's grey value of a colour.
inline BYTE Gray(const RGBQUAD& c) {
    return static_cast<BYTE>((306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10);
}

// RGB to YUV and back (Y in red, U + 128 in green, V + 128 in blue), single precision and
// truncated; here so that loops over pixels can inline them.
inline BYTE TruncFloat(float v) { return ClampToByte(static_cast<double>(v)); }

inline RGBQUAD MakeQuad(BYTE r, BYTE g, BYTE b) {
    RGBQUAD q;
    q.rgbRed = r;
    q.rgbGreen = g;
    q.rgbBlue = b;
    q.rgbReserved = 0;
    return q;
}

inline RGBQUAD RgbToYuv(RGBQUAD c) {
    const int R = c.rgbRed, G = c.rgbGreen, B = c.rgbBlue;
    const BYTE Y = TruncFloat(0.299f * R + 0.587f * G + 0.114f * B);
    const BYTE U = TruncFloat((B - Y) * 0.565f + 128);
    const BYTE V = TruncFloat((R - Y) * 0.713f + 128);
    return MakeQuad(Y, U, V);
}

inline RGBQUAD YuvToRgb(RGBQUAD c) {
    const int Y = c.rgbRed;
    const int U = c.rgbGreen - 128;
    const int V = c.rgbBlue - 128;
    return MakeQuad(TruncFloat(Y + 1.403f * V), TruncFloat(Y - 0.344f * U - 0.714f * V), TruncFloat(Y + 1.770f * U));
}

// The colour of a pixel stored blue, green, red.
inline RGBQUAD FromBGR(const BYTE* p) {
    RGBQUAD c;
    c.rgbBlue = p[0];
    c.rgbGreen = p[1];
    c.rgbRed = p[2];
    c.rgbReserved = 0;
    return c;
}

inline bool SameQuad(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed && a.rgbReserved == b.rgbReserved;
}

// The workers for a job of items: up to eight, one when there is little work or the job is
// started inside another one's worker.
inline int WorkerCount(int64_t items) {
    int n = static_cast<int>(pxcore::PxWorkerPool::Width(8));
    if (items < 2 * n) n = 1;
    return n;
}

// Runs n workers on the library's worker pool and the caller's thread, and waits for them. An
// exception in a worker (memory running out) must not end the program: the first one is thrown
// again in the caller after every worker has stopped.
template <class Worker>
void RunWorkers(int n, Worker worker) {
    if (n <= 1) {
        worker();
        return;
    }
    pxcore::PxWorkerPool::Instance().Run(static_cast<unsigned>(n), [&](unsigned) { worker(); });
}

// Runs body(begin, end) over [0, count) in contiguous bands, one per worker thread. Each item
// is computed exactly as it would be alone, so the result does not depend on the split.
template <class Body>
void ParallelBands(int64_t count, Body body) {
    const int n = WorkerCount(count);
    std::atomic<int> nextBand{0};
    RunWorkers(n, [&] {
        const int t = nextBand.fetch_add(1);
        body(count * t / n, count * (t + 1) / n);
    });
}

// Hands out items one at a time to the workers in increasing order, so an escape stops the
// work at a point where everything before it is done (up to the rows in flight). Each worker
// first makes its own scratch state with init() and passes it to body(item, state) for every
// item it takes; body returns false to stop all workers. A worker that throws stops the rest.
template <class Init, class Body>
void ParallelItemsWith(int64_t count, Init init, Body body, int maxWorkers = 8) {
    const int n = std::max(1, std::min(WorkerCount(count), maxWorkers));
    std::atomic<int64_t> next{0};
    RunWorkers(n, [&] {
        try {
            auto state = init();
            for (;;) {
                const int64_t i = next.fetch_add(1, std::memory_order_relaxed);
                if (i >= count) return;
                if (!body(i, state)) {
                    next.store(count, std::memory_order_relaxed);
                    return;
                }
            }
        } catch (...) {
            next.store(count, std::memory_order_relaxed);
            throw;
        }
    });
}

// The same without scratch state: body(item).
template <class Body>
void ParallelItems(int64_t count, Body body, int maxWorkers = 8) {
    ParallelItemsWith(
        count, [] { return 0; }, [&](int64_t i, int&) { return body(i); }, maxWorkers);
}

}  // namespace px_ops
