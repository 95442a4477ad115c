#include "ferrocam/colorprocessor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
inline __m128i Load16(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(BYTE* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// (a + b) >> 1 per byte; pavgb would round up.
inline __m128i Mean2x16(__m128i a, __m128i b) {
    const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), _mm_set1_epi8(0x7F));
    return _mm_add_epi8(_mm_and_si128(a, b), half);
}
// (a + b + c + d) >> 2 per byte, summed in 16 bits.
inline __m128i Mean4x16(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i z = _mm_setzero_si128();
    const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                                     _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                                     _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2));
}
// Lanes of mask from a, the others from b.
inline __m128i Pick(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// 0xFF in the lanes of even columns (vectors always start at an even column).
inline __m128i EvenLanes() { return _mm_set1_epi16(0x00FF); }
#endif

inline int Mean2(int a, int b) { return (a + b) >> 1; }
inline int Mean4(int a, int b, int c, int d) { return (a + b + c + d) >> 2; }
inline BYTE Clamp255(int v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Frames are cut into bands of rows run on a few long-lived workers and the calling thread;
// every row of the pipeline's row passes depends only on its input, so bands are independent.
// Workers are kept because starting threads for every frame costs more than a small frame.
class RowBandPool {
public:
    static RowBandPool& Instance() {
        static RowBandPool pool;
        return pool;
    }

    unsigned Bands() const { return static_cast<unsigned>(workers_.size()) + 1; }

    void Run(int height, unsigned bands, const std::function<void(int, int)>& fn) {
        std::lock_guard<std::mutex> one(runLock_);
        {
            std::lock_guard<std::mutex> g(lock_);
            job_ = &fn;
            per_ = (height + static_cast<int>(bands) - 1) / static_cast<int>(bands);
            height_ = height;
            nextBand_ = 0;
            bandCount_ = static_cast<int>(bands);
            pending_ = static_cast<int>(bands);
            ++generation_;
        }
        wake_.notify_all();
        Work();
        std::exception_ptr failed;
        {
            std::unique_lock<std::mutex> g(lock_);
            done_.wait(g, [this] { return pending_ == 0; });
            job_ = nullptr;
            std::swap(failed, error_);
        }
        // A band that failed (out of memory) fails the frame on the caller's thread.
        if (failed)
            std::rethrow_exception(failed);
    }

    ~RowBandPool() {
        {
            std::lock_guard<std::mutex> g(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_)
            t.join();
    }

private:
    RowBandPool() {
        const unsigned n = std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
        for (unsigned i = 1; i < n; ++i)
            workers_.emplace_back([this] { Loop(); });
    }

    // Takes bands until none is left.
    void Work() {
        for (;;) {
            int band;
            const std::function<void(int, int)>* fn;
            int y0, y1;
            {
                std::lock_guard<std::mutex> g(lock_);
                if (!job_ || nextBand_ >= bandCount_)
                    return;
                band = nextBand_++;
                fn = job_;
                y0 = band * per_;
                y1 = std::min(height_, y0 + per_);
            }
            std::exception_ptr failed;
            if (y0 < y1) {
                try {
                    (*fn)(y0, y1);
                } catch (...) {
                    failed = std::current_exception();  // never out of a worker thread
                }
            }
            std::lock_guard<std::mutex> g(lock_);
            if (failed && !error_)
                error_ = failed;
            if (--pending_ == 0)
                done_.notify_all();
        }
    }

    void Loop() {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> g(lock_);
                wake_.wait(g, [&] { return quit_ || generation_ != seen; });
                if (quit_)
                    return;
                seen = generation_;
            }
            Work();
        }
    }

    std::mutex runLock_;
    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    const std::function<void(int, int)>* job_ = nullptr;
    int per_ = 0, height_ = 0, nextBand_ = 0, bandCount_ = 0, pending_ = 0;
    uint64_t generation_ = 0;
    bool quit_ = false;
    std::exception_ptr error_;
};

template <typename Fn>
void ForRowBands(int width, int height, Fn&& fn) {
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixels < (1u << 17) || height < 128) {
        fn(0, height);
        return;
    }
    RowBandPool& pool = RowBandPool::Instance();
    if (pool.Bands() < 2) {
        fn(0, height);
        return;
    }
    // Several bands per thread, taken as threads come free: one slow thread (on a busy machine)
    // then holds up a small band instead of an eighth of the frame.
    const unsigned bands = std::min(pool.Bands() * 4, static_cast<unsigned>(height / 32));
    const std::function<void(int, int)> job = fn;
    pool.Run(height, bands, job);
}

// Interleaved blue-green-red bytes to three planes and back, four pixels (three words) at a
// time: byte-wise, these loops cost as much as the demosaic itself.
static_assert(std::endian::native == std::endian::little, "words are taken apart in little-endian order");
void SplitPixels(const BYTE* __restrict px, size_t w, BYTE* __restrict b, BYTE* __restrict g, BYTE* __restrict r) {
    size_t x = 0;
    for (; x + 4 <= w; x += 4, px += 12) {
        uint32_t p0, p1, p2;  // b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3, little endian
        std::memcpy(&p0, px, 4);
        std::memcpy(&p1, px + 4, 4);
        std::memcpy(&p2, px + 8, 4);
        const uint32_t b4 = (p0 & 0xFF) | (p0 >> 24) << 8 | ((p1 >> 16) & 0xFF) << 16 | ((p2 >> 8) & 0xFF) << 24;
        const uint32_t g4 = ((p0 >> 8) & 0xFF) | (p1 & 0xFF) << 8 | (p1 >> 24) << 16 | ((p2 >> 16) & 0xFF) << 24;
        const uint32_t r4 = ((p0 >> 16) & 0xFF) | ((p1 >> 8) & 0xFF) << 8 | (p2 & 0xFF) << 16 | (p2 >> 24) << 24;
        std::memcpy(b + x, &b4, 4);
        std::memcpy(g + x, &g4, 4);
        std::memcpy(r + x, &r4, 4);
    }
    for (; x < w; ++x, px += 3)
        b[x] = px[0], g[x] = px[1], r[x] = px[2];
}

void JoinPixels(const BYTE* __restrict b, const BYTE* __restrict g, const BYTE* __restrict r, size_t w,
                BYTE* __restrict px) {
    size_t x = 0;
    for (; x + 4 <= w; x += 4, px += 12) {
        uint32_t b4, g4, r4;
        std::memcpy(&b4, b + x, 4);
        std::memcpy(&g4, g + x, 4);
        std::memcpy(&r4, r + x, 4);
        const uint32_t p0 = (b4 & 0xFF) | (g4 & 0xFF) << 8 | (r4 & 0xFF) << 16 | (b4 >> 8 & 0xFF) << 24;
        const uint32_t p1 = (g4 >> 8 & 0xFF) | (r4 >> 8 & 0xFF) << 8 | (b4 >> 16 & 0xFF) << 16 | (g4 >> 16 & 0xFF) << 24;
        const uint32_t p2 = (r4 >> 16 & 0xFF) | (b4 >> 24) << 8 | (g4 >> 24) << 16 | (r4 >> 24) << 24;
        std::memcpy(px, &p0, 4);
        std::memcpy(px + 4, &p1, 4);
        std::memcpy(px + 8, &p2, 4);
    }
    for (; x < w; ++x, px += 3)
        px[0] = b[x], px[1] = g[x], px[2] = r[x];
}

// One output pixel of the G R / B G mosaic using only the neighbours that exist; used on the
// border, where the interior loop's fixed neighbour counts do not hold.
void DemosaicBorderPixel(const BYTE* m, int w, int h, int x, int y, BYTE* out) {
    auto at = [&](int xx, int yy) { return static_cast<int>(m[static_cast<size_t>(yy) * w + xx]); };
    auto mean = [&](std::initializer_list<std::pair<int, int>> pts) {
        int sum = 0, n = 0;
        for (auto [dx, dy] : pts) {
            int xx = x + dx, yy = y + dy;
            if (xx >= 0 && xx < w && yy >= 0 && yy < h) {
                sum += at(xx, yy);
                ++n;
            }
        }
        return n ? sum / n : 0;
    };
    const int own = at(x, y);
    int b, g, r;
    const bool evenRow = (y & 1) == 0, evenCol = (x & 1) == 0;
    if (evenRow && evenCol) {  // green on a red row
        g = own;
        r = mean({{-1, 0}, {1, 0}});
        b = mean({{0, -1}, {0, 1}});
    } else if (evenRow) {  // red
        r = own;
        g = mean({{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
        b = mean({{-1, -1}, {1, -1}, {-1, 1}, {1, 1}});
    } else if (evenCol) {  // blue
        b = own;
        g = mean({{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
        r = mean({{-1, -1}, {1, -1}, {-1, 1}, {1, 1}});
    } else {  // green on a blue row
        g = own;
        b = mean({{-1, 0}, {1, 0}});
        r = mean({{0, -1}, {0, 1}});
    }
    out[0] = static_cast<BYTE>(b);
    out[1] = static_cast<BYTE>(g);
    out[2] = static_cast<BYTE>(r);
}

}  // namespace

CColorProcessor::CColorProcessor() { RebuildTables(); }

bool CColorProcessor::SetPattern(int code) {
    if (code < 1 || code > 7)
        return false;
    pattern_ = code;
    return true;
}

void CColorProcessor::SetSize(int width, int height) {
    const uint64_t bytes = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0)) * 3u;
    std::lock_guard<std::mutex> g(settingsLock_);
    if (work_.size() != bytes)
        work_.assign(bytes, 0);
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void CColorProcessor::SetGains(int red, int green, int blue) {
    std::lock_guard<std::mutex> g(settingsLock_);
    gains_[2] = red / 64.0f;
    gains_[1] = green / 64.0f;
    gains_[0] = blue / 64.0f;
    RebuildTables();
}

void CColorProcessor::GetGains(int& red, int& green, int& blue) const {
    std::lock_guard<std::mutex> g(settingsLock_);
    red = static_cast<int>(gains_[2] * 64.0f);
    green = static_cast<int>(gains_[1] * 64.0f);
    blue = static_cast<int>(gains_[0] * 64.0f);
}

void CColorProcessor::SetGamma(int gamma) {
    std::lock_guard<std::mutex> g(settingsLock_);
    gamma_ = std::clamp((gamma + 48) / 128.0f, 0.0f, 2.0f);
    RebuildTables();
}

void CColorProcessor::SetContrast(int contrast) {
    std::lock_guard<std::mutex> g(settingsLock_);
    contrast_ = std::clamp((contrast + 100) / 100.0f, 0.0f, 3.55f);
    RebuildTables();
}

void CColorProcessor::SetSaturation(int saturation) {
    std::lock_guard<std::mutex> g(settingsLock_);
    float s = std::clamp(saturation / 128.0f, 0.0f, 2.0f);
    s16_ = static_cast<int>(s * 65536.0f);
    RebuildTables();
}

void CColorProcessor::RebuildTables() {
    BYTE base[256];
    for (int i = 0; i < 256; ++i) {
        double v = ((std::pow(i / 255.0, static_cast<double>(gamma_)) + offset_ - 0.5) * contrast_ + 0.5) * 255.0;
        // The nudge keeps representation error from truncating an exact level one step down
        // (i / 255 × 255 must give i back on a neutral table).
        base[i] = static_cast<BYTE>(std::clamp(v + 1e-6, 0.0, 255.0));
    }
    const double s = s16_ / 65536.0;
    for (int c = 0; c < 3; ++c) {
        const double factor = 1.0 - s + s * gains_[c];
        for (int j = 0; j < 256; ++j)
            tables_[c][j] = base[static_cast<int>(std::clamp(j * factor + 1e-6, 0.0, 255.0))];
    }
    // With saturation, blue and red depend on the pixel's green too: one table per pair of
    // bytes spares the per-pixel arithmetic.
    if (s16_ != 65536) {
        satBlue_.resize(65536);
        satRed_.resize(65536);
        for (int g = 0; g < 256; ++g)
            for (int v = 0; v < 256; ++v) {
                const int shifted = g + static_cast<int>(static_cast<int64_t>(s16_) * (v - g) / 65536);
                satBlue_[(g << 8) | v] = tables_[0][Clamp255(shifted)];
                satRed_[(g << 8) | v] = tables_[2][Clamp255(shifted)];
            }
    }
    identity_ = !(gamma_ == 1.0f && offset_ == 0.0f && contrast_ == 1.0f && s16_ == 65536 && gains_[0] == 1.0f &&
                  gains_[1] == 1.0f && gains_[2] == 1.0f);
}

void CColorProcessor::Demosaic(const BYTE* m, BYTE* rgb) const {
    if (width_ <= 0 || height_ <= 0)
        return;
    const size_t w = static_cast<size_t>(width_);
    ForRowBands(width_, height_, [&](int y0, int y1) {
        std::vector<BYTE> planes(w * 3);
        BYTE* b = planes.data();
        BYTE* g = b + w;
        BYTE* r = g + w;
        for (int y = y0; y < y1; ++y) {
            DemosaicRowPlanar(m, y, b, g, r);
            JoinPixels(b, g, r, w, rgb + static_cast<size_t>(y) * w * 3);
        }
    });
}

void CColorProcessor::MeasureWhiteBalance(const BYTE* image) {
    const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
    uint64_t sum[3] = {0, 0, 0};
    for (uint64_t i = 0; i < pixels; i += 5) {
        sum[0] += image[i * 3];
        sum[1] += image[i * 3 + 1];
        sum[2] += image[i * 3 + 2];
    }
    const double samples = 0.2 * static_cast<double>(pixels);
    for (int c = 0; c < 3; ++c)
        means_[c] = std::max(1.0f, static_cast<float>(sum[c] / samples));
    gains_[0] = std::clamp(means_[1] / means_[0], 1.0f, 2.0f);
    gains_[2] = std::clamp(means_[1] / means_[2], 1.0f, 2.0f);
    gains_[1] = 1.0f;
    RebuildTables();
}

void CColorProcessor::PrepareLookup(LookupPlan& plan) const {
    const int w = width_, h = height_;
    // Green sites keep the mean of their four neighbours' green bytes: columns 1, 3, 5, ... in
    // the rows of the first kind and 2, 4, 6, ... in the second, for (h - 1) / 2 row pairs.
    // Mirroring moves the sites by one column, which exchanges the two kinds of row.
    plan.pairs = (h - 1) / 2;
    plan.firstKindStart = mirror_ ? 2 : 1;
    plan.secondKindStart = mirror_ ? 1 : 2;
    plan.firstCount = (w - 1) / 2;
    plan.secondCount = (w - 3) / 2;
    plan.neutralSaturation = s16_ == 65536;
}

void CColorProcessor::SmoothAndLookupRow(const LookupPlan& plan, const BYTE* __restrict up,
                                         const BYTE* __restrict r, const BYTE* __restrict dn, int y,
                                         BYTE* __restrict o, BYTE* __restrict greens) const {
    const int w = width_, h = height_;
    const BYTE* __restrict tb = tables_[0];
    const BYTE* __restrict tg = tables_[1];
    const BYTE* __restrict tr = tables_[2];
    for (int x = 0; x < w; ++x)
        greens[x] = r[x * 3 + 1];
    int start, count;
    plan.RowRun(y, start, count);
    if (start > 0 && y > 0 && y < h - 1) {
        for (int i = 0, x = start; i < count && x < w - 1; ++i, x += 2) {
            const size_t c = static_cast<size_t>(x) * 3 + 1;
            greens[x] = static_cast<BYTE>((up[c] + r[c - 3] + r[c + 3] + dn[c]) >> 2);
        }
    }
    if (plan.neutralSaturation) {
        for (int x = 0; x < w; ++x) {
            o[x * 3] = tb[r[x * 3]];
            o[x * 3 + 1] = tg[greens[x]];
            o[x * 3 + 2] = tr[r[x * 3 + 2]];
        }
    } else {
        const BYTE* __restrict sb = satBlue_.data();
        const BYTE* __restrict sr = satRed_.data();
        for (int x = 0; x < w; ++x) {
            const unsigned g = greens[x];
            o[x * 3] = sb[(g << 8) | r[x * 3]];
            o[x * 3 + 1] = tg[g];
            o[x * 3 + 2] = sr[(g << 8) | r[x * 3 + 2]];
        }
    }
}

void CColorProcessor::SmoothAndLookupRows(const BYTE* work, BYTE* out, bool flip, int y0, int y1) const {
    const int h = height_;
    const size_t stride = static_cast<size_t>(width_) * 3;
    LookupPlan plan;
    PrepareLookup(plan);
    std::vector<BYTE> greens(static_cast<size_t>(width_));
    for (int y = y0; y < y1; ++y) {
        const BYTE* r = work + static_cast<size_t>(y) * stride;
        SmoothAndLookupRow(plan, y > 0 ? r - stride : r, r, y < h - 1 ? r + stride : r, y,
                           out + static_cast<size_t>(flip ? h - 1 - y : y) * stride, greens.data());
    }
}

void CColorProcessor::DemosaicRowPlanar(const BYTE* m, int y, BYTE* __restrict B, BYTE* __restrict G,
                                        BYTE* __restrict R) const {
    const int w = width_, h = height_;
    auto border = [&](int x) {
        BYTE px[3];
        DemosaicBorderPixel(m, w, h, x, y, px);
        B[x] = px[0], G[x] = px[1], R[x] = px[2];
    };
    if (y == 0 || y == h - 1 || w < 3) {
        for (int x = 0; x < w; ++x)
            border(x);
        return;
    }
    const size_t W = static_cast<size_t>(w);
    const BYTE* __restrict up = m + (static_cast<size_t>(y) - 1) * W;
    const BYTE* __restrict row = up + W;
    const BYTE* __restrict dn = row + W;
    const bool evenRow = (y & 1) == 0;  // G R G R ..., else B G B G ...
    auto interior = [&](int x) {
        const int c = row[x];
        const int across = Mean2(row[x - 1], row[x + 1]), upDown = Mean2(up[x], dn[x]);
        const int cross = Mean4(row[x - 1], row[x + 1], up[x], dn[x]);
        const int diagonal = Mean4(up[x - 1], up[x + 1], dn[x - 1], dn[x + 1]);
        const bool evenCol = (x & 1) == 0;
        int b, g, r;
        if (evenRow)
            evenCol ? (g = c, r = across, b = upDown) : (r = c, g = cross, b = diagonal);
        else
            evenCol ? (b = c, g = cross, r = diagonal) : (g = c, b = across, r = upDown);
        B[x] = static_cast<BYTE>(b), G[x] = static_cast<BYTE>(g), R[x] = static_cast<BYTE>(r);
    };
    // The first and last columns have one neighbour column (xn): three greens, two diagonals.
    auto side = [&](int x, int xn) {
        const int c = row[x];
        const int upDown = Mean2(up[x], dn[x]), besideUpDown = Mean2(up[xn], dn[xn]);
        const int three = (row[xn] + up[x] + dn[x]) / 3;
        int b, g, r;
        if (evenRow)
            (x & 1) == 0 ? (g = c, r = row[xn], b = upDown) : (r = c, g = three, b = besideUpDown);
        else
            (x & 1) == 0 ? (b = c, g = three, r = besideUpDown) : (g = c, b = row[xn], r = upDown);
        B[x] = static_cast<BYTE>(b), G[x] = static_cast<BYTE>(g), R[x] = static_cast<BYTE>(r);
    };
    side(0, 1);
    side(w - 1, w - 2);
    interior(1);
    int x = 2;
#if defined(__SSE2__)
    const __m128i even = EvenLanes();
    for (; x + 16 <= w - 1; x += 16) {
        const __m128i c = Load16(row + x), l = Load16(row + x - 1), r = Load16(row + x + 1);
        const __m128i u = Load16(up + x), d = Load16(dn + x);
        const __m128i across = Mean2x16(l, r), upDown = Mean2x16(u, d);
        const __m128i cross = Mean4x16(l, r, u, d);
        const __m128i diagonal = Mean4x16(Load16(up + x - 1), Load16(up + x + 1), Load16(dn + x - 1), Load16(dn + x + 1));
        if (evenRow) {
            Store16(G + x, Pick(even, c, cross));
            Store16(R + x, Pick(even, across, c));
            Store16(B + x, Pick(even, upDown, diagonal));
        } else {
            Store16(B + x, Pick(even, c, across));
            Store16(G + x, Pick(even, cross, c));
            Store16(R + x, Pick(even, diagonal, upDown));
        }
    }
#endif
    for (; x <= w - 2; ++x)
        interior(x);
}

void CColorProcessor::SmoothGreenRow(const LookupPlan& plan, const BYTE* __restrict up, const BYTE* __restrict row,
                                     const BYTE* __restrict dn, int y, BYTE* __restrict greens) const {
    const int w = width_, h = height_;
    std::memcpy(greens, row, static_cast<size_t>(w));
    int start, count;
    plan.RowRun(y, start, count);
    if (start == 0 || count <= 0 || y <= 0 || y >= h - 1)
        return;
    const int lastSite = std::min(start + 2 * (count - 1), w - 2);
    auto site = [&](int x) { greens[x] = static_cast<BYTE>((up[x] + row[x - 1] + row[x + 1] + dn[x]) >> 2); };
    int x = start;
    if (x == 1 && x <= lastSite) {
        site(1);
        x = 3;
    }
#if defined(__SSE2__)
    // Sites are every other column: odd lanes when they start at column 1, even lanes otherwise.
    const __m128i sites = (start & 1) ? _mm_set1_epi16(static_cast<short>(0xFF00)) : EvenLanes();
    int x0 = x & ~1;
    for (; x0 + 15 <= lastSite; x0 += 16) {
        const __m128i mean = Mean4x16(Load16(up + x0), Load16(row + x0 - 1), Load16(row + x0 + 1), Load16(dn + x0));
        Store16(greens + x0, Pick(sites, mean, Load16(row + x0)));
    }
    x = x0 + (start & 1);
#endif
    for (; x <= lastSite; x += 2)
        site(x);
}

void CColorProcessor::LookupRow(const LookupPlan& plan, const BYTE* __restrict blue, const BYTE* __restrict greens,
                                const BYTE* __restrict red, BYTE* __restrict o) const {
    const int w = width_;
    const BYTE* __restrict tg = tables_[1];
    if (plan.neutralSaturation) {
        const BYTE* __restrict tb = tables_[0];
        const BYTE* __restrict tr = tables_[2];
        for (int x = 0; x < w; ++x, o += 3) {
            o[0] = tb[blue[x]];
            o[1] = tg[greens[x]];
            o[2] = tr[red[x]];
        }
    } else {
        // Blue and red by the pair (green, byte): one load each instead of the saturation sums.
        const BYTE* __restrict sb = satBlue_.data();
        const BYTE* __restrict sr = satRed_.data();
        for (int x = 0; x < w; ++x, o += 3) {
            const unsigned g = greens[x];
            o[0] = sb[(g << 8) | blue[x]];
            o[1] = tg[g];
            o[2] = sr[(g << 8) | red[x]];
        }
    }
}

void CColorProcessor::FusedRows(const BYTE* mosaic, const BYTE* image, BYTE* out, int y0, int y1) const {
    // Three demosaiced rows in a ring of planes: the row being finished and its two neighbours.
    const int h = height_;
    const size_t w = static_cast<size_t>(width_);
    const size_t stride = w * 3;
    LookupPlan plan;
    PrepareLookup(plan);
    std::vector<BYTE> ring(w * 9), greens(w);
    struct Planes {
        BYTE *b, *g, *r;
    };
    auto slot = [&](int y) {
        BYTE* base = ring.data() + static_cast<size_t>((y % 3 + 3) % 3) * w * 3;
        return Planes{base, base + w, base + 2 * w};
    };
    // Row y of the turned image is mosaic row h - 1 - y under the rotation, read right to left
    // when exactly one of the rotation and the mirror is on.
    const bool reverse = rotate_ != mirror_;
    auto demosaic = [&](int y) {
        const Planes p = slot(y);
        const int source = rotate_ ? h - 1 - y : y;
        if (image) {
            SplitPixels(image + static_cast<size_t>(source) * stride, w, p.b, p.g, p.r);
        } else {
            DemosaicRowPlanar(mosaic, source, p.b, p.g, p.r);
        }
        if (reverse) {
            std::reverse(p.b, p.b + w);
            std::reverse(p.g, p.g + w);
            std::reverse(p.r, p.r + w);
        }
    };
    if (y0 > 0)
        demosaic(y0 - 1);
    demosaic(y0);
    for (int y = y0; y < y1; ++y) {
        if (y + 1 < h)
            demosaic(y + 1);
        const Planes r = slot(y);
        SmoothGreenRow(plan, y > 0 ? slot(y - 1).g : r.g, r.g, y + 1 < h ? slot(y + 1).g : r.g, y, greens.data());
        LookupRow(plan, r.b, greens.data(), r.r, out + static_cast<size_t>(h - 1 - y) * stride);
    }
}

void CColorProcessor::SmoothGreenAndLookup(const BYTE* work, BYTE* out, bool flip) const {
    ForRowBands(width_, height_, [&](int y0, int y1) { SmoothAndLookupRows(work, out, flip, y0, y1); });
}

void CColorProcessor::ApplyGeometry(BYTE* work) {
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (rotate_) {
        for (size_t i = 0, j = pixels - 1; i < j; ++i, --j)
            for (int c = 0; c < 3; ++c)
                std::swap(work[i * 3 + c], work[j * 3 + c]);
    }
    if (mirror_) {
        const size_t w = static_cast<size_t>(width_);
        for (int y = 0; y < height_; ++y) {
            BYTE* row = work + static_cast<size_t>(y) * w * 3;
            for (size_t i = 0, j = w - 1; i < j; ++i, --j)
                for (int c = 0; c < 3; ++c)
                    std::swap(row[i * 3 + c], row[j * 3 + c]);
        }
    }
}

void CColorProcessor::SetGeometry(bool rotate180, bool mirrorRows) {
    std::lock_guard<std::mutex> g(settingsLock_);
    rotate_ = rotate180;
    mirror_ = mirrorRows;
}

void CColorProcessor::Process(const BYTE* mosaic, BYTE* rgb, ImageHook hook, void* hookContext) {
    std::lock_guard<std::mutex> g(settingsLock_);  // the size too: a mode switch resizes
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (!pixels || work_.size() < pixels * 3)
        return;
    if (!hook && !wbRequest_.load()) {
        // Nothing needs the whole demosaiced image: each band demosaics a few rows ahead (turned
        // as the geometry asks) and finishes them straight into place.
        ForRowBands(width_, height_, [&](int y0, int y1) { FusedRows(mosaic, nullptr, rgb, y0, y1); });
        return;
    }
    BYTE* work = work_.data();
    Demosaic(mosaic, work);
    if (hook)
        hook(hookContext, work, width_, height_);
    if (!wbRequest_.load()) {
        // The hook needed the whole image; the rest goes row by row again, turning as it reads.
        ForRowBands(width_, height_, [&](int y0, int y1) { FusedRows(nullptr, work, rgb, y0, y1); });
        return;
    }
    // The white balance measures the turned image as a whole.
    ApplyGeometry(work);
    if (wbRequest_.load()) {
        MeasureWhiteBalance(work);
        wbRequest_.store(0);
    }
    SmoothGreenAndLookup(work, rgb, true);
}

void CColorProcessor::Finish(BYTE* rgb) {
    std::lock_guard<std::mutex> g(settingsLock_);
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (!pixels || work_.size() < pixels * 3)
        return;
    BYTE* work = work_.data();
    std::memcpy(work, rgb, pixels * 3);
    ApplyGeometry(work);
    if (wbRequest_.load()) {
        MeasureWhiteBalance(work);
        wbRequest_.store(0);
    }
    SmoothGreenAndLookup(work, rgb, false);
}
