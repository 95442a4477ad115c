// The library's core: the worker pool and the row-band runner on it, the vector dispatch and the
// block cache.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include "imagelib/core/pxblockcache.h"
#include "imagelib/core/pxrowrunner.h"
#include "imagelib/core/pxsimd.h"
#include "imagelib/core/pxworkerpool.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

using pxcore::PxWorkerPool;

TEST(WorkerPool, KeepsItsThreadsAndRunsEveryTaskOnce) {
    PxWorkerPool& pool = PxWorkerPool::Instance();
    const unsigned width = PxWorkerPool::Width(64);
    // Many jobs, each task long enough that the threads overlap: fresh threads per job would
    // show as new thread ids (Linux does not hand a freed id out again this soon).
    std::mutex lock;
    std::set<long> threads;
    std::vector<std::atomic<int>> ran(40 * 8);
    for (int job = 0; job < 40; job++) {
        pool.Run(8, [&](unsigned t) {
            ran[job * 8 + t]++;
            const long id = syscall(SYS_gettid);
            std::lock_guard<std::mutex> guard(lock);
            threads.insert(id);
        });
    }
    for (auto& r : ran) EXPECT_EQ(r.load(), 1);
    EXPECT_LE(threads.size(), width);  // the pool's threads and this one
}

TEST(WorkerPool, JobsInsideJobsAndFailuresReachTheCaller) {
    PxWorkerPool& pool = PxWorkerPool::Instance();
    // Every task of a job starts another job; on a pool thread it runs there.
    std::vector<std::atomic<int>> ran(16 * 16);
    pool.Run(16, [&](unsigned outer) {
        const bool onPool = PxWorkerPool::OnPoolThread();
        EXPECT_EQ(PxWorkerPool::Width(), onPool ? 1u : PxWorkerPool::Width());
        pool.Run(16, [&](unsigned inner) { ran[outer * 16 + inner]++; });
    });
    for (auto& r : ran) EXPECT_EQ(r.load(), 1);

    // Row bands inside row bands, as an operation inside another one's band would start them.
    PxImage owner(1, 1, 24);
    const LONG nrows = 2000;
    std::vector<std::atomic<int>> made(static_cast<size_t>(nrows) * 64);
    pxgeo::RunBands(owner, nrows, 1000, true, 16, [&](LONG first, LONG last) {
        for (LONG r = first; r < last; r++)
            pxgeo::RunBands(owner, 64, 1 << 20, true, 4, [&](LONG a, LONG b) {
                for (LONG c = a; c < b; c++) made[static_cast<size_t>(r) * 64 + c]++;
            });
    });
    int wrong = 0;
    for (auto& m : made) wrong += m.load() != 1;
    EXPECT_EQ(wrong, 0);

    // A failing task: the others still run, and the failure is thrown to the caller after them.
    std::atomic<int> finished{0};
    EXPECT_THROW(pool.Run(8,
                          [&](unsigned t) {
                              if (t == 3) throw std::runtime_error("task");
                              finished++;
                          }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 7);
}

TEST(BlockCache, KeepsTheLastLargeBlockUnlessSwitchedOff) {
    pxcore::PxBlockCache& cache = pxcore::PxBlockCache::Instance();
    const size_t size = size_t(16) << 20;
    ASSERT_TRUE(cache.Enabled());
    void* block = cache.AllocUnfilled(size);
    ASSERT_NE(block, nullptr);
    cache.Release(block);
    EXPECT_EQ(cache.Take(size * 2), nullptr);  // too small for that
    void* again = cache.Take(size);
    EXPECT_EQ(again, block);
    EXPECT_EQ(cache.Take(size), nullptr);  // handed out once

    cache.SetEnabled(false);
    cache.Release(again);
    EXPECT_EQ(cache.Take(size), nullptr);
    cache.SetEnabled(true);
    // Switching off also lets go of a block already kept.
    cache.Release(cache.AllocUnfilled(size));
    cache.SetEnabled(false);
    cache.SetEnabled(true);
    EXPECT_EQ(cache.Take(size), nullptr);

    // Images made with the cache off are the same as with it.
    PxImage src(3001, 1003, 24);
    px::Rand15 r(5);
    for (LONG y = 0; y < 1003; y++)
        for (DWORD x = 0; x < src.GetEffWidth(); x++) src.GetBits(y)[x] = static_cast<BYTE>(r.Next());
    PxImage on, off;
    ASSERT_TRUE(src.Resample(2000, 3000, 1, &on));
    cache.SetEnabled(false);
    const bool done = src.Resample(2000, 3000, 1, &off);
    cache.SetEnabled(true);
    ASSERT_TRUE(done);
    for (DWORD y = 0; y < on.GetHeight(); y++)
        ASSERT_EQ(std::memcmp(on.GetBits(y), off.GetBits(y), on.GetEffWidth()), 0) << y;
}

// The loops the compiler vectorises follow the ceiling like the hand-written ones, and every
// form writes the bytes of the plain one.
TEST(VectorDispatch, EveryFormOfTheVectorisedLoopsWritesThePlainBytes) {
    PxImage colour(1031, 517, 24), grey(1031, 517, 8);
    grey.SetGrayPalette();
    px::Rand15 r(9);
    for (LONG y = 0; y < 517; y++) {
        for (DWORD x = 0; x < colour.GetEffWidth(); x++) colour.GetBits(y)[x] = static_cast<BYTE>((x / 3 + y) / 8 + (r.Next() & 63));
        for (DWORD x = 0; x < grey.GetEffWidth(); x++) grey.GetBits(y)[x] = static_cast<BYTE>((x + y) / 8 + (r.Next() & 63));
    }
    LONG kernel[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    const std::vector<std::function<bool(PxImage&)>> ops = {
        [](PxImage& i) { return i.Median(3); },
        [&](PxImage& i) { return i.Filter(kernel, 3, 16, 0); },
        [](PxImage& i) { return i.Erode(3); },
        [](PxImage& i) { return i.Contour(); },
        [](PxImage& i) { return i.UnsharpMask(2.0f, 0.7f, 0); },
        [](PxImage& i) {
            PxImage out;
            return i.Resample(700, 333, 0, &out) && (i.Transfer(out), true);
        },
        [](PxImage& i) {
            PxImage host;
            return host.FFT2(&i, nullptr, nullptr, nullptr, 1, true, false);
        },
    };
    for (size_t k = 0; k < ops.size(); k++) {
        for (PxImage* src : {&colour, &grey}) {
            if (k == 6 && src == &colour) continue;  // the transform reads grey levels
            SCOPED_TRACE(testing::Message() << "operation " << k << ", " << src->GetBpp() << " bpp");
            PxImage wide(*src), plain(*src);
            ASSERT_TRUE(ops[k](wide));
            pxgeo::SetSimdCeiling(pxgeo::Simd::Plain);
            const bool done = ops[k](plain);
            pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
            ASSERT_TRUE(done);
            ASSERT_EQ(wide.GetWidth(), plain.GetWidth());
            ASSERT_EQ(wide.GetHeight(), plain.GetHeight());
            int rows = 0;
            for (DWORD y = 0; y < wide.GetHeight(); y++)
                rows += std::memcmp(wide.GetBits(y), plain.GetBits(y), wide.GetEffWidth()) != 0;
            EXPECT_EQ(rows, 0);
        }
    }
}
