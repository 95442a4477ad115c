// Runs a per-row job over all rows of a result, on several threads when the result is large,
// reporting progress and honouring escape on the image that owns the operation. Each row is
// computed by exactly one call, so the result does not depend on how rows are shared out.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "imagelib/pximage.h"

namespace pxgeo {

// The order in which workers take bands: grab g goes to section g mod sections, so the bands in
// work at one time lie in different parts of the result. Neighbouring bands would share the
// result's fresh (huge) pages, and every thread would wait while one of them faults a page in.
class BandOrder {
public:
    BandOrder(LONG nrows, LONG band, unsigned sections)
        : m_nrows(nrows), m_band(band), m_sections(std::max<LONG>(1, static_cast<LONG>(sections))) {
        const LONG nbands = (nrows + band - 1) / band;
        m_perSection = (nbands + m_sections - 1) / m_sections;
    }
    // The first row of the next band, or -1 when every band is taken.
    LONG Next() {
        for (;;) {
            const LONG g = m_next.fetch_add(1);
            if (g >= m_perSection * m_sections) return -1;
            const LONG first = ((g % m_sections) * m_perSection + g / m_sections) * m_band;
            if (first < m_nrows) return first;
        }
    }

private:
    LONG m_nrows, m_band, m_sections, m_perSection = 0;
    std::atomic<LONG> m_next{0};
};

// The threads for a job of nrows rows costing rowWork pixels each, shared out in at most units
// pieces: one for small jobs, else one per core up to eight.
inline unsigned ThreadsFor(LONG nrows, size_t rowWork, bool threaded, LONG units) {
    if (!threaded || static_cast<unsigned long long>(nrows) * rowWork < (1ULL << 18)) return 1;
    const unsigned n = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    return std::min<unsigned>(n, static_cast<unsigned>(std::max<LONG>(units, 1)));
}

// Runs worker(t) for t = 0 .. nthreads - 1, the last on the calling thread, and waits for all.
// Work is taken as threads come free, so a thread the system refuses only means fewer of them.
template <typename Fn>
void OnThreads(unsigned nthreads, Fn&& worker) {
    std::vector<std::thread> pool;
    pool.reserve(nthreads > 0 ? nthreads - 1 : 0);
    for (unsigned t = 1; t < nthreads; t++) {
        try {
            pool.emplace_back(worker, t);
        } catch (const std::system_error&) {
            break;
        }
    }
    worker(0u);
    for (auto& t : pool) t.join();
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
