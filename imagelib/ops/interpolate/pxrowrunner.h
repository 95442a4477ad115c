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

// rowWork is the cost of one row in pixels; small jobs stay on the calling thread. Every worker
// gets its own copy of local (a scratch cache, say) and takes bands of neighbouring rows, so what
// one row prepared the next one can reuse. Each worker makes its copy itself, so that the copies'
// memory is filled in parallel and lies near the thread that uses it; a copy that fails to
// allocate stops the others and is thrown here, to the caller.
template <typename Local, typename RowFn>
void RunRowsLocal(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, const Local& local, RowFn&& fn) {
    if (nrows <= 0) return;
    unsigned nthreads = 1;
    if (threaded && static_cast<unsigned long long>(nrows) * rowWork >= (1ULL << 18)) {
        nthreads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
        nthreads = std::min<unsigned>(nthreads, static_cast<unsigned>(nrows));
    }
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
    auto worker = [&]() {
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
    std::vector<std::thread> pool;
    pool.reserve(nthreads - 1);
    for (unsigned t = 1; t < nthreads; t++) {
        // Rows are taken as threads come free, so fewer threads still make every row.
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    worker();
    for (auto& t : pool) t.join();
    if (failed) throw std::bad_alloc();
}

// As RunRowsLocal without a local copy, but each call makes a band of up to bandRows rows
// [first, last), so that a job can walk them tile by tile; escape is tested per band.
template <typename BandFn>
void RunBands(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, LONG bandRows, BandFn&& fn) {
    if (nrows <= 0) return;
    bandRows = std::max<LONG>(bandRows, 1);
    unsigned nthreads = 1;
    if (threaded && static_cast<unsigned long long>(nrows) * rowWork >= (1ULL << 18)) {
        nthreads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
        nthreads = std::min<unsigned>(nthreads, static_cast<unsigned>((nrows + bandRows - 1) / bandRows));
    }
    BandOrder order(nrows, bandRows, nthreads);
    std::atomic<LONG> done{0};
    auto worker = [&]() {
        for (;;) {
            const LONG first = order.Next();
            if (first < 0) return;
            if (nthreads == 1) owner.SetProgress(static_cast<LONG>(100LL * first / nrows));
            if (owner.GetEscape()) return;
            const LONG last = std::min(nrows, first + bandRows);
            fn(first, last);
            const LONG before = done.fetch_add(last - first), after = before + (last - first);
            // Only the thread that finishes a percent step writes progress, so it never goes back.
            if (nthreads > 1 && 100LL * after / nrows != 100LL * before / nrows)
                owner.SetProgress(static_cast<LONG>(100LL * after / nrows));
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < nthreads; t++) {
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    worker();
    for (auto& t : pool) t.join();
}

// RunBands with a copy of local per worker, made as RunRowsLocal makes them: fn(mine, first, last).
template <typename Local, typename BandFn>
void RunBandsLocal(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, LONG bandRows, const Local& local,
                   BandFn&& fn) {
    if (nrows <= 0) return;
    bandRows = std::max<LONG>(bandRows, 1);
    unsigned nthreads = 1;
    if (threaded && static_cast<unsigned long long>(nrows) * rowWork >= (1ULL << 18)) {
        nthreads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
        nthreads = std::min<unsigned>(nthreads, static_cast<unsigned>((nrows + bandRows - 1) / bandRows));
    }
    std::vector<Local> locals;
    locals.reserve(nthreads);
    for (unsigned t = 0; t < nthreads; t++) locals.emplace_back(local);
    BandOrder order(nrows, bandRows, nthreads);
    std::atomic<LONG> done{0};
    auto worker = [&](Local& mine) {
        for (;;) {
            const LONG first = order.Next();
            if (first < 0) return;
            if (nthreads == 1) owner.SetProgress(static_cast<LONG>(100LL * first / nrows));
            if (owner.GetEscape()) return;
            const LONG last = std::min(nrows, first + bandRows);
            fn(mine, first, last);
            const LONG before = done.fetch_add(last - first), after = before + (last - first);
            if (nthreads > 1 && 100LL * after / nrows != 100LL * before / nrows)
                owner.SetProgress(static_cast<LONG>(100LL * after / nrows));
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < nthreads; t++) {
        try {
            pool.emplace_back(worker, std::ref(locals[t]));
        } catch (const std::system_error&) {
            break;
        }
    }
    worker(locals[0]);
    for (auto& t : pool) t.join();
}

struct NoLocal {};

template <typename RowFn>
void RunRows(PxImage& owner, LONG nrows, size_t rowWork, bool threaded, RowFn&& fn) {
    RunRowsLocal(owner, nrows, rowWork, threaded, NoLocal{}, [&](NoLocal&, LONG y) { fn(y); });
}

}  // namespace pxgeo
