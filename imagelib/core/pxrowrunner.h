// The row-band runner: a per-row job over all rows of a result, on the library's worker pool
// when the result is large (the calling thread takes part), reporting progress and honouring
// escape on the image that owns the operation. Each row is computed by exactly one call, so the
// result does not depend on how rows are shared out. A job started from inside another job's
// band runs on the thread that started it.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "imagelib/core/pxbandorder.h"
#include "imagelib/core/pxworkerpool.h"
#include "imagelib/pximage.h"

namespace pxgeo {

// The threads for a job of nrows rows costing rowWork pixels each, shared out in at most units
// pieces: one for small jobs, else one per core up to eight.
inline unsigned ThreadsFor(LONG nrows, size_t rowWork, bool threaded, LONG units) {
    if (!threaded || static_cast<unsigned long long>(nrows) * rowWork < (1ULL << 18)) return 1;
    const unsigned n = pxcore::PxWorkerPool::Width(8);
    return std::min<unsigned>(n, static_cast<unsigned>(std::max<LONG>(units, 1)));
}

// Runs worker(t) for t = 0 .. nthreads - 1 on the pool and the calling thread, and waits for all.
// Work is taken as threads come free, so fewer threads only means each takes more.
template <typename Fn>
void OnThreads(unsigned nthreads, Fn&& worker) {
    pxcore::PxWorkerPool::Instance().Run(nthreads, worker);
}

// rowWork is the cost of one row in pixels; small jobs stay on the calling thread. Every worker
// gets its own copy of local (a scratch cache, say) and takes bands of neighbouring rows, so what
// one row prepared the next one can reuse. Each worker makes its copy itself, so that the copies'
// memory is filled in parallel and lies near the thread that uses it; a copy that fails to
// allocate stops the others and is thrown here, to the caller.
template <typename Local, typename RowFn>
void RunRowsLocal(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, const Local& local, RowFn&& fn) {
    if (nrows <= 0) return;
    const unsigned nthreads = ThreadsFor(nrows, rowWork, threaded, nrows);
    if (nthreads == 1) {
        Local mine(local);
        for (LONG y = 0; y < nrows; y++) {
            owner.SetProgress(static_cast<LONG>(100LL * y / nrows));
            if (owner.GetEscape()) break;
            fn(mine, y);
        }
        return;
    }
    // Bands small enough that the threads finish together.
    const LONG band = std::clamp<LONG>(nrows / static_cast<LONG>(nthreads * 8), 1, 16);
    BandOrder order(nrows, band, nthreads);
    std::atomic<LONG> done{0};
    std::atomic<bool> failed{false};
    auto worker = [&](unsigned) {
        std::optional<Local> mine;
        try {
            mine.emplace(local);
        } catch (const std::bad_alloc&) {
            failed = true;
            return;
        }
        for (;;) {
            if (failed) return;
            const LONG first = order.Next();
            if (first < 0) return;
            const LONG last = std::min(nrows, first + band);
            for (LONG y = first; y < last; y++) {
                if (owner.GetEscape()) return;
                fn(*mine, y);
                const LONG d = done.fetch_add(1) + 1;
                // Only the thread that finishes a percent step writes progress, so it never goes back.
                if (static_cast<LONG>(100LL * d / nrows) != static_cast<LONG>(100LL * (d - 1) / nrows))
                    owner.SetProgress(static_cast<LONG>(100LL * d / nrows));
            }
        }
    };
    OnThreads(nthreads, worker);
    if (failed) throw std::bad_alloc();
}

// As RunRowsLocal, but each call makes a band of up to bandRows rows [first, last), so that a job
// can walk them tile by tile, with a copy of local per worker made on the calling thread:
// fn(mine, first, last). Escape is tested per band.
template <typename Local, typename BandFn>
void RunBandsLocal(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, LONG bandRows, const Local& local,
                   BandFn&& fn) {
    if (nrows <= 0) return;
    bandRows = std::max<LONG>(bandRows, 1);
    const unsigned nthreads = ThreadsFor(nrows, rowWork, threaded, (nrows + bandRows - 1) / bandRows);
    std::vector<Local> locals;
    locals.reserve(nthreads);
    for (unsigned t = 0; t < nthreads; t++) locals.emplace_back(local);
    BandOrder order(nrows, bandRows, nthreads);
    std::atomic<LONG> done{0};
    OnThreads(nthreads, [&](unsigned t) {
        for (;;) {
            const LONG first = order.Next();
            if (first < 0) return;
            if (nthreads == 1) owner.SetProgress(static_cast<LONG>(100LL * first / nrows));
            if (owner.GetEscape()) return;
            const LONG last = std::min(nrows, first + bandRows);
            fn(locals[t], first, last);
            const LONG before = done.fetch_add(last - first), after = before + (last - first);
            // Only the thread that finishes a percent step writes progress, so it never goes back.
            if (nthreads > 1 && 100LL * after / nrows != 100LL * before / nrows)
                owner.SetProgress(static_cast<LONG>(100LL * after / nrows));
        }
    });
}

struct NoLocal {};

// RunBandsLocal without a local copy: fn(first, last).
template <typename BandFn>
void RunBands(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, LONG bandRows, BandFn&& fn) {
    RunBandsLocal(owner, nrows, rowWork, threaded, bandRows, NoLocal{},
                  [&](NoLocal&, LONG first, LONG last) { fn(first, last); });
}

template <typename RowFn>
void RunRows(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, RowFn&& fn) {
    RunRowsLocal(owner, nrows, rowWork, threaded, NoLocal{}, [&](NoLocal&, LONG y) { fn(y); });
}

}  // namespace pxgeo
