// The vector forms use 256-bit integer shuffles where the processor has them; the plain forms do
// the very same products and additions lane by lane. No fused multiply-adds: the four-lane form
// rounds every product and every sum on its own.
#include "imagelib/ops/interpolate/pxkernelplanar.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/core/pxsimd.h"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_KERNEL4_VECTOR 1
#include <immintrin.h>
#endif

namespace pxgeo {

namespace {

bool Vectors() {
#if PX_KERNEL4_VECTOR
    return SimdAllows(Simd::Avx2);
#else
    return false;
#endif
}

constexpr int kLanes = 8;
constexpr LONG kWindow = 16;  // planar floats one block of eight may gather from

// Source rows converted to floats, channel by channel, at most this wide per tile; wider tiles
// (strong reductions) gather straight from the bytes.
constexpr LONG kMaxPlanarSpan = 8 * Kernel4Plan::kTile;

}  // namespace

Kernel4Plan::Kernel4Plan(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width, std::vector<LONG> ix,
                         std::vector<float> k)
    : m_bits(bits), m_eff(eff), m_alpha(alpha), m_width(width), m_n(static_cast<LONG>(ix.size() / 4)),
      m_ix(std::move(ix)) {
    const LONG ntiles = (m_n + kTile - 1) / kTile;
    m_kx.assign(static_cast<size_t>(ntiles) * 4 * kPlane, 0.0f);
    m_blocks.resize(static_cast<size_t>(ntiles) * (kTile / kLanes));
    for (LONG t = 0; t < ntiles; t++) {
        Tile tile;
        tile.x0 = t * kTile;
        tile.n = std::min<LONG>(kTile, m_n - tile.x0);
        tile.lo = m_width;
        tile.hi = 0;
        tile.planar = false;
        for (LONG x = tile.x0; x < tile.x0 + tile.n; x++)
            for (int i = 0; i < 4; i++) {
                tile.lo = std::min(tile.lo, m_ix[4 * x + i]);
                tile.hi = std::max(tile.hi, m_ix[4 * x + i]);
                m_kx[(static_cast<size_t>(t) * 4 + i) * kPlane + (x - tile.x0)] = k[4 * x + i];
            }
        for (LONG b = 0; b * kLanes < tile.n; b++) {
            Block& B = m_blocks[static_cast<size_t>(t) * (kTile / kLanes) + b];
            // Lanes past the last column repeat it, so that they read real samples.
            auto col = [&](int l, int i) { return m_ix[4 * std::min(tile.x0 + b * kLanes + l, m_n - 1) + i]; };
            bool bytes = true, planes = tile.hi - tile.lo + 1 <= kMaxPlanarSpan;
            for (int i = 0; i < 4; i++) {
                LONG base = col(0, i);
                for (int l = 1; l < kLanes; l++) base = std::min(base, col(l, i));
                B.window[i] = base;
                for (int l = 0; l < kLanes; l++) {
                    const LONG off = col(l, i) - base;
                    if (off >= kWindow) planes = false;
                    B.idx[i][l] = static_cast<int>(std::min(off, kWindow - 1));
                }
                for (int h = 0; h < 2; h++) {
                    LONG hb = col(4 * h, i);
                    for (int l = 4 * h + 1; l < 4 * h + 4; l++) hb = std::min(hb, col(l, i));
                    B.half[i][h] = hb;
                    // Sixteen bytes from the window's first pixel stay inside its row (alpha row).
                    if (3 * static_cast<size_t>(hb) + 16 > m_eff || (m_alpha && hb + 16 > m_width)) bytes = false;
                    for (int l = 0; l < 4; l++) {
                        const LONG off = std::min<LONG>(col(4 * h + l, i) - hb, 5);
                        if (3 * off + 2 > 15) bytes = false;
                        // The byte into the low end of a 32-bit lane, zeros (0x80) above it; green
                        // and red add 1 and 2, which leaves the zeros' high bit set.
                        for (int q = 0; q < 4; q++) {
                            B.shuffle[i][16 * h + 4 * l + q] = q == 0 ? static_cast<BYTE>(3 * off) : BYTE{0x80};
                            B.alpha[i][16 * h + 4 * l + q] = q == 0 ? static_cast<BYTE>(off) : BYTE{0x80};
                        }
                    }
                }
            }
            B.mode = bytes ? kFromBytes : planes ? kFromPlanes : kOneByOne;
            tile.planar = tile.planar || B.mode == kFromPlanes;
        }
        if (tile.planar)
            m_planarFloats = std::max(m_planarFloats, static_cast<size_t>(tile.hi - tile.lo + 1 + kWindow));
        m_tiles.push_back(tile);
    }
    for (size_t t = 0; t < m_tiles.size(); t++) {
        Tile& tile = m_tiles[t];
        tile.ahead0 = tile.ahead1 = 0;
        if (t + 1 < m_tiles.size()) {
            tile.ahead0 = 3 * static_cast<size_t>(m_tiles[t + 1].lo);
            tile.ahead1 = 3 * static_cast<size_t>(m_tiles[t + 1].hi) + 3;
        }
    }
    // An odd number of cache lines from one channel to the next, so that they share no cache sets.
    if (m_planarFloats > 0) m_planarFloats = ((m_planarFloats + 15) / 16 | 1) * 16;
}

Kernel4Plan::Scratch::Scratch(const Kernel4Plan& plan)
    : planar(static_cast<size_t>(plan.Channels()) * plan.m_planarFloats, 0.0f),
      slots(plan.m_n > 0 ? kSlots * plan.SlotFloats() : 0, 0.0f) {
    std::fill(tag, tag + kSlots, -1);
}

namespace {

#if PX_KERNEL4_VECTOR

// Pixels 0..n-1 of a 24-bit row (and its alpha bytes, or NULL) as float planes of stride floats.
__attribute__((target("avx2"))) void PlanarAvx2(float* out, size_t stride, const BYTE* src, const BYTE* alpha,
                                                LONG n, LONG readable) {
    // Each 128-bit lane takes four pixels (12 of the 16 bytes it loads) and picks one channel
    // out into zero-extended 32-bit lanes.
    const __m256i mb = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1,
                                                                 -1, -1));
    const __m256i mg = _mm256_add_epi32(mb, _mm256_set1_epi32(1));
    const __m256i mr = _mm256_add_epi32(mb, _mm256_set1_epi32(2));
    LONG x = 0;
    // The high lane's load reads 28 bytes from the group's first: only where they all lie in the row.
    for (; x + 8 <= n && 3 * (x + 8) + 4 <= readable; x += 8) {
        const BYTE* p = src + 3 * static_cast<size_t>(x);
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
        _mm256_storeu_ps(out + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mb)));
        _mm256_storeu_ps(out + stride + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mg)));
        _mm256_storeu_ps(out + 2 * stride + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mr)));
    }
    for (; x < n; x++)
        for (int c = 0; c < 3; c++) out[c * stride + x] = src[3 * static_cast<size_t>(x) + c];
    if (alpha != nullptr) {
        float* pa = out + 3 * stride;
        LONG i = 0;
        for (; i + 8 <= n; i += 8)
            _mm256_storeu_ps(pa + i, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha + i)))));
        for (; i < n; i++) pa[i] = alpha[i];
    }
}

// Tap i of a block of eight columns for each channel: lane l takes planar float base + idx[l]
// (idx below 16), picked out of two vectors.
__attribute__((target("avx2"))) inline void GatherBlock(float* slot, const float* planar, size_t stride, int channels,
                                                 const LONG* base, const int* idx, LONG lo, LONG l0) {
    for (int i = 0; i < 4; i++) {
        const __m256i iv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(idx + i * kLanes));
        const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(iv, _mm256_set1_epi32(7)));
        for (int c = 0; c < channels; c++) {
            const float* p = planar + c * stride + (base[i] - lo);
            const __m256 v = _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(p), iv),
                                              _mm256_permutevar8x32_ps(_mm256_loadu_ps(p + 8), iv), high);
            _mm256_storeu_ps(slot + (c * 4 + i) * Kernel4Plan::kPlane + l0, v);
        }
    }
}

// Tap i of a block of eight columns straight from the bytes: each 128-bit half loads sixteen bytes
// from its window and picks one channel of its four columns into zero-extended 32-bit lanes.
__attribute__((target("avx2"))) inline void GatherBytes(float* slot, const BYTE* row, const BYTE* arow, const LONG (*half)[2],
                                                 const BYTE (*shuffle)[32], const BYTE (*alpha)[32], LONG l0) {
    const __m256i one = _mm256_set1_epi8(1), two = _mm256_set1_epi8(2);
    constexpr int P = Kernel4Plan::kPlane;
    for (int i = 0; i < 4; i++) {
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * half[i][0]))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * half[i][1])), 1);
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shuffle[i]));
        _mm256_storeu_ps(slot + i * P + l0, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, m)));
        _mm256_storeu_ps(slot + (4 + i) * P + l0, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, _mm256_add_epi8(m, one))));
        _mm256_storeu_ps(slot + (8 + i) * P + l0, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, _mm256_add_epi8(m, two))));
        if (arow != nullptr) {
            const __m256i va = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(arow + half[i][0]))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(arow + half[i][1])), 1);
            const __m256i ma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(alpha[i]));
            _mm256_storeu_ps(slot + (3 * 4 + i) * P + l0, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(va, ma)));
        }
    }
}

// Sums of one block of eight columns: acc[c] for each channel.
template <int C>
__attribute__((target("avx2"))) inline void SumBlock(const float* const S[4], const float* kx, const float ky[4],
                                                     LONG l0, __m256 (&acc)[C]) {
    constexpr int T = Kernel4Plan::kPlane;
    for (int c = 0; c < C; c++) acc[c] = _mm256_setzero_ps();
    for (int j = 0; j < 4; j++) {
        const __m256 kyj = _mm256_set1_ps(ky[j]);
        for (int i = 0; i < 4; i++) {
            const __m256 w = _mm256_mul_ps(_mm256_loadu_ps(kx + i * T + l0), kyj);
            for (int c = 0; c < C; c++)
                acc[c] = _mm256_add_ps(acc[c], _mm256_mul_ps(_mm256_loadu_ps(S[j] + (c * 4 + i) * T + l0), w));
        }
    }
}

// ClampByte of each lane, then pixels l0 .. l0 + count - 1 to d (3 bytes a pixel) and a.
template <int C>
__attribute__((target("avx2"))) inline void StoreBlock(const __m256 (&acc)[C], BYTE* d, BYTE* a, LONG l0,
                                                       LONG count) {
    const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
    __m256i q[4];
    for (int c = 0; c < C; c++) q[c] = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(acc[c], zero), top));
    if (C == 3) q[3] = q[2];
    // Per 128-bit lane: blue, green, red, alpha of four pixels as bytes, then interleaved.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
    const __m256i interleave = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 12, 13, 14, 15));
    alignas(32) BYTE tmp[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), _mm256_shuffle_epi8(bytes, interleave));
    BYTE* o = d + 3 * static_cast<size_t>(l0);
    if (count == kLanes) {
        memcpy(o, tmp, 12);
        memcpy(o + 12, tmp + 16, 12);
    } else {
        for (LONG l = 0; l < count; l++) memcpy(o + 3 * l, tmp + (l / 4) * 16 + 3 * (l % 4), 3);
    }
    if (C == 4 && a != nullptr)
        for (LONG l = 0; l < count; l++) a[l0 + l] = tmp[(l / 4) * 16 + 12 + l % 4];
}

template <int C>
__attribute__((target("avx2"))) void KernelTileAvx2(const float* const S[4], const float* kx, const float ky[4],
                                                    BYTE* d, BYTE* a, LONG n) {
    LONG l0 = 0;
    // Two blocks at once: six independent chains of additions keep both adders busy.
    for (; l0 + 2 * kLanes <= n; l0 += 2 * kLanes) {
        __m256 acc0[C], acc1[C];
        for (int c = 0; c < C; c++) acc0[c] = acc1[c] = _mm256_setzero_ps();
        for (int j = 0; j < 4; j++) {
            const __m256 kyj = _mm256_set1_ps(ky[j]);
            for (int i = 0; i < 4; i++) {
                constexpr int T = Kernel4Plan::kPlane;
                const __m256 w0 = _mm256_mul_ps(_mm256_loadu_ps(kx + i * T + l0), kyj);
                const __m256 w1 = _mm256_mul_ps(_mm256_loadu_ps(kx + i * T + l0 + kLanes), kyj);
                const float* r = S[j] + i * T + l0;
                for (int c = 0; c < C; c++) {
                    acc0[c] = _mm256_add_ps(acc0[c], _mm256_mul_ps(_mm256_loadu_ps(r + c * 4 * T), w0));
                    acc1[c] = _mm256_add_ps(acc1[c], _mm256_mul_ps(_mm256_loadu_ps(r + c * 4 * T + kLanes), w1));
                }
            }
        }
        StoreBlock<C>(acc0, d, a, l0, kLanes);
        StoreBlock<C>(acc1, d, a, l0 + kLanes, kLanes);
    }
    for (; l0 < n; l0 += kLanes) {
        __m256 acc[C];
        SumBlock<C>(S, kx, ky, l0, acc);
        StoreBlock<C>(acc, d, a, l0, std::min<LONG>(kLanes, n - l0));
    }
}

#endif

// The plain form of the sums of columns 0..n-1 of a tile.
void KernelTilePlain(const float* const S[4], const float* kx, const float ky[4], int channels, BYTE* d, BYTE* a,
                     LONG n) {
    constexpr int T = Kernel4Plan::kPlane;
    for (LONG l = 0; l < n; l++)
        for (int c = 0; c < channels; c++) {
            float acc = 0.0f;
            for (int j = 0; j < 4; j++)
                for (int i = 0; i < 4; i++) acc += S[j][(c * 4 + i) * T + l] * (kx[i * T + l] * ky[j]);
            const BYTE v = ClampByte(acc);
            if (c < 3)
                d[3 * static_cast<size_t>(l) + c] = v;
            else if (a != nullptr)
                a[l] = v;
        }
}

}  // namespace

// Lanes l0 .. l1 - 1 of a tile one sample at a time.
void Kernel4Plan::OneByOne(const Tile& t, const BYTE* row, const BYTE* arow, float* slot, LONG l0, LONG l1) const {
    for (LONG l = l0; l < l1; l++) {
        const LONG x = std::min(t.x0 + l, m_n - 1);
        for (int i = 0; i < 4; i++) {
            const LONG sx = m_ix[4 * x + i];
            for (int c = 0; c < 3; c++) slot[(c * 4 + i) * kPlane + l] = row[3 * static_cast<size_t>(sx) + c];
            if (arow != nullptr) slot[(3 * 4 + i) * kPlane + l] = arow[sx];
        }
    }
}

#if PX_KERNEL4_VECTOR
__attribute__((target("avx2"))) void Kernel4Plan::LayOutWide(Scratch& s, const Tile& t, const BYTE* row,
                                                             const BYTE* arow, float* slot) const {
    // The next tile reads the same rows further on: fetch its bytes while this one works.
    for (size_t o = t.ahead0; o < t.ahead1; o += 64) _mm_prefetch(reinterpret_cast<const char*>(row + o), _MM_HINT_T0);
    const size_t stride = m_planarFloats;
    if (t.planar) {
        // Bytes that may be read from the tile's first pixel on: the rest of the row, padding included.
        const LONG readable = static_cast<LONG>(m_eff) - 3 * t.lo;
        PlanarAvx2(s.planar.data(), stride, row + 3 * static_cast<size_t>(t.lo), arow ? arow + t.lo : nullptr,
                   t.hi - t.lo + 1, readable);
    }
    const LONG lanes = (t.n + kLanes - 1) / kLanes * kLanes;
    const Block* blocks = &m_blocks[static_cast<size_t>(t.x0 / kLanes)];
    for (LONG l0 = 0; l0 < lanes; l0 += kLanes) {
        const Block& B = blocks[l0 / kLanes];
        if (B.mode == kFromBytes)
            GatherBytes(slot, row, arow, B.half, B.shuffle, B.alpha, l0);
        else if (B.mode == kFromPlanes)
            GatherBlock(slot, s.planar.data(), stride, Channels(), B.window, &B.idx[0][0], t.lo, l0);
        else
            OneByOne(t, row, arow, slot, l0, l0 + kLanes);
    }
}
#else
void Kernel4Plan::LayOutWide(Scratch&, const Tile&, const BYTE*, const BYTE*, float*) const {}
#endif

void Kernel4Plan::LayOut(Scratch& s, const Tile& t, LONG y, float* slot) const {
    const BYTE* row = m_bits + static_cast<size_t>(y) * m_eff;
    const BYTE* arow = m_alpha ? m_alpha + static_cast<size_t>(y) * static_cast<size_t>(m_width) : nullptr;
    if (Vectors())
        LayOutWide(s, t, row, arow, slot);
    else
        OneByOne(t, row, arow, slot, 0, (t.n + kLanes - 1) / kLanes * kLanes);
}

void Kernel4Plan::Run(Scratch& s, const Kernel4Row* rows, int nrows) const {
    const bool vectors = Vectors();
    const int channels = Channels();
    for (size_t ti = 0; ti < m_tiles.size(); ti++) {
        const Tile& t = m_tiles[ti];
        const float* kx = &m_kx[ti * 4 * kPlane];
        // Laid-out rows belong to one tile.
        std::fill(s.tag, s.tag + kSlots, -1);
        for (int r = 0; r < nrows; r++) {
            const Kernel4Row& R = rows[r];
            int slot[4];
            PickRowSlots(s.tag, s.next, R.src, 4, slot,
                         [&](int k, LONG y) { LayOut(s, t, y, s.slots.data() + static_cast<size_t>(k) * SlotFloats()); });
            const float* S[4];
            for (int j = 0; j < 4; j++) S[j] = s.slots.data() + static_cast<size_t>(slot[j]) * SlotFloats();
            BYTE* d = R.d + 3 * static_cast<size_t>(t.x0);
            BYTE* a = R.a ? R.a + t.x0 : nullptr;
#if PX_KERNEL4_VECTOR
            if (vectors) {
                if (channels == 4)
                    KernelTileAvx2<4>(S, kx, R.ky, d, a, t.n);
                else
                    KernelTileAvx2<3>(S, kx, R.ky, d, a, t.n);
                continue;
            }
#endif
            (void)vectors;
            KernelTilePlain(S, kx, R.ky, channels, d, a, t.n);
        }
    }
}

}  // namespace pxgeo
