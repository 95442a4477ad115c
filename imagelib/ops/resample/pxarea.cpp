// The 24-bit area reduction of Resample. A source pixel gives each output pixel it overlaps
// trunc(wx x wy / 1000) thousandths of its value, wx and wy its column's and row's parts. A
// column wholly inside an output column has wx = 1000 and gives wy, so for those columns the
// weighted sum down the rows is all an output row needs; only the split columns (the last of
// each output column) take their parts of each row apart. All products and sums are integers
// below 2^24 (float lanes) or 2^31 (integer lanes), so they are exact in any order.
#include "imagelib/ops/resample/pxarea.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/core/pxsimd.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define PX_AREA_AVX2 1
#include <immintrin.h>
#endif

namespace pxarea {

namespace {

typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));

template <typename T>
struct Lane;
template <>
struct Lane<float> {
    typedef F4 V;
};
template <>
struct Lane<int32_t> {
    typedef I4 V;
};

// What one output row's pass across needs.
template <typename T>
struct AcrossIn {
    const T* v;      // weighted sums down each source column
    const T* sum;    // sums of whole rows, or null
    const T* f[3];   // the rows in part, as lanes
    const T* wa[3];  // each row's near part at each output column's split column
    const T* wb[3];  // and its far part
    T* acc;          // three sums per output column
};

// Lanes past the last value of a row and of a plane of output columns.
constexpr size_t kRowPad = 4, kPlanePad = 4;

// Blue, green and red of one pixel and a fourth lane that is never used.
template <typename V, typename T>
inline V Load4(const T* p) {
    V v;
    memcpy(&v, p, sizeof v);
    return v;
}

// v = 1000 x sum + w0 r0 + w1 r1 + w2 r2 over n values (the first M rows, the sum when kSum);
// the rows themselves go to f0, f1 and f2 for the split columns.
template <typename T, int M, bool kSum>
inline void DownLoop(T* __restrict v, T* __restrict f0, T* __restrict f1, T* __restrict f2, const T* __restrict sum,
                     const BYTE* __restrict r0, const BYTE* __restrict r1, const BYTE* __restrict r2, T w0, T w1, T w2,
                     size_t n) {
    for (size_t i = 0; i < n; i++) {
        T a = kSum ? sum[i] * T(1000) : T(0);
        if (M >= 1) {
            const T x = static_cast<T>(r0[i]);
            f0[i] = x;
            a += w0 * x;
        }
        if (M >= 2) {
            const T x = static_cast<T>(r1[i]);
            f1[i] = x;
            a += w1 * x;
        }
        if (M >= 3) {
            const T x = static_cast<T>(r2[i]);
            f2[i] = x;
            a += w2 * x;
        }
        v[i] = a;
    }
}

template <typename T, int M, bool kSum>
void Down(T* __restrict v, T* __restrict f0, T* __restrict f1, T* __restrict f2, const T* __restrict sum,
          const BYTE* __restrict r0, const BYTE* __restrict r1, const BYTE* __restrict r2, T w0, T w1, T w2, size_t n) {
    pxgeo::Vectorised([&] { DownLoop<T, M, kSum>(v, f0, f1, f2, sum, r0, r1, r2, w0, w1, w2, n); });
}

// The plain sum of k rows of n bytes.
template <typename T>
inline void SumRowsLoop(T* __restrict s, const BYTE* const* rows, int k, size_t n) {
    const BYTE* __restrict a = rows[0];
    for (size_t i = 0; i < n; i++) s[i] = static_cast<T>(a[i]);
    for (int j = 1; j < k; j++) {
        const BYTE* __restrict b = rows[j];
        for (size_t i = 0; i < n; i++) s[i] += static_cast<T>(b[i]);
    }
}

template <typename T>
void SumRows(T* __restrict s, const BYTE* const* rows, int k, size_t n) {
    pxgeo::Vectorised([&] { SumRowsLoop<T>(s, rows, k, n); });
}

// The parts of a row of part wy at each output column's split column: trunc(pa x wy / 1000) to a
// and trunc(pb x wy / 1000) to b (pa = pb = 0 where there is no split column). The products are
// integers below 2^24, (p + 0.5) / 1000 lies 0.0005 or more from every integer, and the float
// product with 0.001f misses it by less than 1.2e-4, so truncation gives the integer quotient.
template <typename T>
inline void SplitWeightsLoop(const float* __restrict pa, const float* __restrict pb, size_t n, int wy, T* __restrict a,
                             T* __restrict b) {
    const float w = static_cast<float>(wy);
    for (size_t c = 0; c < n; c++) {
        a[c] = static_cast<T>(static_cast<int>((pa[c] * w + 0.5f) * 0.001f));
        b[c] = static_cast<T>(static_cast<int>((pb[c] * w + 0.5f) * 0.001f));
    }
}

template <typename T>
void SplitWeights(const float* __restrict pa, const float* __restrict pb, size_t n, int wy, T* __restrict a,
                  T* __restrict b) {
    pxgeo::Vectorised([&] { SplitWeightsLoop<T>(pa, pb, n, wy, a, b); });
}

// Each output column's sums: its whole columns from v, its split column's near part and the far
// part that the column before handed over (carry), from the rows in part (and the sum of whole
// rows). Each output column stores four lanes; the fourth is overwritten by the next one.
template <typename T, int M, bool kSum>
inline void AcrossLoop(const Cell* cells, LONG newx, const AcrossIn<T>& in) {
    typedef typename Lane<T>::V V;
    // Locals, so that the stores to acc cannot make the compiler read them again.
    const T* const v = in.v;
    const T* const sum = in.sum;
    T* const acc = in.acc;
    const T* f[3];
    const T* wa[3];
    const T* wb[3];
    for (int j = 0; j < 3; j++) {
        f[j] = in.f[j];
        wa[j] = in.wa[j];
        wb[j] = in.wb[j];
    }
    V carry = {};
    for (LONG c = 0; c < newx; c++) {
        const Cell& cl = cells[c];
        V a = carry;
        for (LONG x = cl.in0; x < cl.in1; x++) a += Load4<V>(v + 3 * static_cast<size_t>(x));
        carry = V{};
        if (cl.right >= 0) {
            const size_t o = 3 * static_cast<size_t>(cl.right);
            if (kSum) {
                const V s = Load4<V>(sum + o);
                a += static_cast<T>(cl.pa) * s;
                carry += static_cast<T>(1000 - cl.pa) * s;
            }
            for (int j = 0; j < M; j++) {
                const V b = Load4<V>(f[j] + o);
                a += wa[j][c] * b;
                carry += wb[j][c] * b;
            }
        }
        memcpy(acc + 3 * static_cast<size_t>(c), &a, sizeof a);
    }
}

template <typename T, int M, bool kSum>
void Across(const Cell* cells, LONG newx, const AcrossIn<T>& in) {
    pxgeo::Vectorised([&] { AcrossLoop<T, M, kSum>(cells, newx, in); });
}

// min(255, sum / denom) for float sums below 2^24 and denominators below 8192: (sum + 0.5) / denom
// lies 0.5 / denom or more from every integer, and the float product misses it by less than
// 255 x 2^-23 (two roundings), which is smaller.
inline void QuotientsFloatPlainLoop(const float* __restrict acc, size_t n, float top, float inverse,
                                    BYTE* __restrict out) {
    for (size_t i = 0; i < n; i++) {
        const float s = acc[i];
        const int q = static_cast<int>((s + 0.5f) * inverse);
        out[i] = s < top ? static_cast<BYTE>(q) : 255;
    }
}

void QuotientsFloatPlain(const float* __restrict acc, size_t n, float top, float inverse, BYTE* __restrict out) {
    pxgeo::Vectorised([&] { QuotientsFloatPlainLoop(acc, n, top, inverse, out); });
}

#if PX_AREA_AVX2
// The same 32 sums at a time (the compiler leaves the loop above scalar): the quotient of every
// lane, then 255 where the sum reaches top.
__attribute__((target("avx2"))) size_t QuotientsFloat32(const float* acc, size_t n, float top, float inverse,
                                                       BYTE* out) {
    const __m256 half = _mm256_set1_ps(0.5f), inv = _mm256_set1_ps(inverse), limit = _mm256_set1_ps(top);
    const __m256i full = _mm256_set1_epi32(255), order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i q[4];
        for (int k = 0; k < 4; k++) {
            const __m256 s = _mm256_loadu_ps(acc + i + 8 * k);
            const __m256i v = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(s, half), inv));
            q[k] = _mm256_blendv_epi8(full, v, _mm256_castps_si256(_mm256_cmp_ps(s, limit, _CMP_LT_OQ)));
        }
        // Every lane holds 0..255, so the saturating packs keep it; the packs interleave the
        // 128-bit halves, which the permutation puts back in order.
        const __m256i b = _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permutevar8x32_epi32(b, order));
    }
    return i;
}
#endif

void QuotientsFloat(const float* acc, size_t n, float top, float inverse, BYTE* out) {
    size_t i = 0;
#if PX_AREA_AVX2
    if (pxgeo::SimdAllows(pxgeo::Simd::Avx2)) i = QuotientsFloat32(acc, n, top, inverse, out);
#endif
    QuotientsFloatPlain(acc + i, n - i, top, inverse, out + i);
}

// The same in doubles, exact for sums below 2^31 and any denominator below 2^42.
template <typename T>
inline void QuotientsDoubleLoop(const T* __restrict acc, size_t n, double top, double inverse, BYTE* __restrict out) {
    for (size_t i = 0; i < n; i++) {
        const double s = static_cast<double>(acc[i]);
        const int q = static_cast<int>((s + 0.5) * inverse);
        out[i] = s < top ? static_cast<BYTE>(q) : 255;
    }
}

template <typename T>
void QuotientsDouble(const T* __restrict acc, size_t n, double top, double inverse, BYTE* __restrict out) {
    pxgeo::Vectorised([&] { QuotientsDoubleLoop<T>(acc, n, top, inverse, out); });
}

}  // namespace

AreaReducer::AreaReducer(const std::vector<LONG>& col, const std::vector<int>& colA, const std::vector<LONG>& rowOf,
                         const std::vector<int>& rowA, LONG newx, LONG newy, int64_t denom)
    : m_rowOf(rowOf), m_rowA(rowA), m_w(static_cast<LONG>(col.size())), m_newx(newx), m_denom(denom) {
    // Output columns: runs of equal col, of which only the last column may be split.
    const size_t nxp = static_cast<size_t>(newx) + kPlanePad;
    m_cells.resize(static_cast<size_t>(newx));
    m_paF.assign(nxp, 0.0f);
    m_pbF.assign(nxp, 0.0f);
    m_paI.assign(nxp, 0);
    m_pbI.assign(nxp, 0);
    LONG x = 0, maxCols = 0, prevSplit = 0;
    for (LONG c = 0; c < newx; c++) {
        const LONG first = x;
        while (x < m_w && col[x] == c) x++;
        Cell cell{first, x, -1, 1000};
        for (LONG k = first; k + 1 < x; k++)
            if (colA[k] != 1000) return;
        if (x > first && colA[x - 1] != 1000) {
            cell.in1 = x - 1;
            cell.right = x - 1;
            cell.pa = colA[x - 1];
            m_paF[c] = static_cast<float>(cell.pa);
            m_pbF[c] = static_cast<float>(1000 - cell.pa);
            m_paI[c] = cell.pa;
            m_pbI[c] = 1000 - cell.pa;
        }
        m_cells[c] = cell;
        const LONG own = (cell.in1 - cell.in0) + (cell.right >= 0);
        maxCols = std::max(maxCols, own + prevSplit);
        prevSplit = cell.right >= 0;
    }
    if (x != m_w) return;

    // Output rows: the rows they take in full and in part; at most two in part.
    LONG maxRows = 0;
    const LONG h = static_cast<LONG>(rowOf.size());
    for (LONG r = 0, y = 0; r < newy; r++) {
        LONG whole = 0, parts = 0;
        auto count = [&](int wy) {
            whole += wy == 1000;
            parts += wy > 0 && wy < 1000;
        };
        if (y > 0 && rowOf[y - 1] == r - 1 && rowA[y - 1] < 1000) count(1000 - rowA[y - 1]);
        while (y < h && rowOf[y] < r) y++;
        for (; y < h && rowOf[y] == r; y++) count(rowA[y]);
        if (parts > 2) return;
        m_needSum = m_needSum || whole >= 2;
        maxRows = std::max(maxRows, whole + parts);
    }
    m_maxRows = maxRows;

    // Every sum, the unused fourth lanes included, is at most 255 x 1000 for each pixel taken.
    const double bound = 255000.0 * static_cast<double>(std::max<LONG>(maxCols, 1)) *
                         static_cast<double>(std::max<LONG>(maxRows, 1));
    if (bound < 16777216.0)
        m_lanes = Lanes::Float;
    else if (bound < 2147483648.0)
        m_lanes = Lanes::Int32;
    else
        return;
    m_zero.assign(3 * static_cast<size_t>(m_w) + 4, 0);

}

// Scratch in lanes: v, three rows and the sum of whole rows, each with a fourth lane past the last
// pixel; the output row's sums; the near and far parts of the rows in part last worked out.
size_t AreaReducer::ScratchBytes() const {
    const size_t n3p = 3 * static_cast<size_t>(m_w) + kRowPad;
    const size_t nxp = static_cast<size_t>(m_newx) + kPlanePad;
    return 4 * ((m_needSum ? 5 : 4) * n3p + 3 * static_cast<size_t>(m_newx) + kRowPad + 2 * kPartSlots * nxp);
}

Scratch AreaReducer::NewScratch() const {
    const size_t n = ScratchBytes() / 4;
    Scratch s;
    s.rows.assign(static_cast<size_t>(m_maxRows), nullptr);
    if (m_lanes == Lanes::Float) s.f.assign(n, 0.0f);
    if (m_lanes == Lanes::Int32) s.i.assign(n, 0);
    return s;
}

void AreaReducer::Row(Scratch& s, LONG r, const BYTE* bits, size_t eff, BYTE* drow) const {
    if (m_lanes == Lanes::Float)
        RowIn<float>(s.f.data(), s, r, bits, eff, drow);
    else
        RowIn<int32_t>(s.i.data(), s, r, bits, eff, drow);
}

template <typename T>
void AreaReducer::RowIn(T* base, Scratch& s, LONG r, const BYTE* bits, size_t eff, BYTE* drow) const {
    const BYTE** whole = s.rows.data();
    const size_t n3 = 3 * static_cast<size_t>(m_w);
    const size_t nOut = 3 * static_cast<size_t>(m_newx);
    const size_t n3p = n3 + kRowPad;
    const size_t nx = static_cast<size_t>(m_newx), nxp = nx + kPlanePad;
    AcrossIn<T> in;
    T* v = base;
    T* f[3] = {base + n3p, base + 2 * n3p, base + 3 * n3p};
    T* sum = m_needSum ? base + 4 * n3p : nullptr;
    T* acc = base + (m_needSum ? 5 : 4) * n3p;
    T* planes = acc + nOut + kRowPad;
    in.v = v;
    in.sum = sum;
    in.acc = acc;
    for (int j = 0; j < 3; j++) in.f[j] = f[j];

    // The source rows of output row r with their parts: the far part of the row that crossed its
    // near edge, then its own rows.
    const BYTE* parts[2] = {m_zero.data(), m_zero.data()};
    int partW[2] = {0, 0};
    int nwhole = 0, nparts = 0;
    auto add = [&](LONG y, int wy) {
        const BYTE* row = bits + static_cast<size_t>(y) * eff;
        if (wy == 1000) {
            whole[nwhole++] = row;
        } else if (wy > 0) {
            parts[nparts] = row;
            partW[nparts++] = wy;
        }
    };
    const LONG h = static_cast<LONG>(m_rowOf.size());
    const LONG y0 = static_cast<LONG>(std::lower_bound(m_rowOf.begin(), m_rowOf.end(), r) - m_rowOf.begin());
    if (y0 > 0 && m_rowOf[y0 - 1] == r - 1 && m_rowA[y0 - 1] < 1000) add(y0 - 1, 1000 - m_rowA[y0 - 1]);
    for (LONG y = y0; y < h && m_rowOf[y] == r; y++) add(y, m_rowA[y]);

    // Row j's parts at the split columns; a whole row's are the columns' own parts.
    int taken = -1;  // the slot the first row in part uses
    auto weights = [&](int j, int wy) {
        if (wy == 1000) {
            if constexpr (std::is_same_v<T, float>) {
                in.wa[j] = m_paF.data();
                in.wb[j] = m_pbF.data();
            } else {
                in.wa[j] = m_paI.data();
                in.wb[j] = m_pbI.data();
            }
            return;
        }
        // Rows in part of a few sizes recur (a row's split repeats with the scale's period), so
        // the parts of the last few stay at hand; a new one never replaces the slot that the
        // other row in part of this output row uses.
        int slot = 0;
        while (slot < kPartSlots && s.partOf[slot] != wy) slot++;
        if (slot == kPartSlots) {
            if (s.nextSlot == taken) s.nextSlot = (s.nextSlot + 1) % kPartSlots;
            slot = s.nextSlot;
            s.nextSlot = (s.nextSlot + 1) % kPartSlots;
            T* p = planes + 2 * static_cast<size_t>(slot) * nxp;
            SplitWeights<T>(m_paF.data(), m_pbF.data(), nx, wy, p, p + nxp);
            s.partOf[slot] = wy;
        }
        taken = slot;
        T* a = planes + 2 * static_cast<size_t>(slot) * nxp;
        in.wa[j] = a;
        in.wb[j] = a + nxp;
    };

    if (nwhole >= 2) {
        SumRows<T>(sum, whole, nwhole, n3);
        Down<T, 2, true>(v, f[0], f[1], nullptr, sum, parts[0], parts[1], nullptr, T(partW[0]), T(partW[1]), T(0),
                         n3);
        weights(0, partW[0]);
        weights(1, partW[1]);
        Across<T, 2, true>(m_cells.data(), m_newx, in);
    } else {
        const BYTE* rows[3] = {m_zero.data(), m_zero.data(), m_zero.data()};
        int w[3] = {0, 0, 0};
        int m = 0;
        for (int j = 0; j < nwhole; j++) {
            rows[m] = whole[j];
            w[m++] = 1000;
        }
        for (int j = 0; j < nparts; j++) {
            rows[m] = parts[j];
            w[m++] = partW[j];
        }
        for (int j = 0; j < m; j++) weights(j, w[j]);
        switch (m) {
            case 0:
                memset(drow, 0, nOut);
                return;
            case 1:
                Down<T, 1, false>(v, f[0], nullptr, nullptr, nullptr, rows[0], nullptr, nullptr, T(w[0]), T(0), T(0),
                                  n3);
                Across<T, 1, false>(m_cells.data(), m_newx, in);
                break;
            case 2:
                Down<T, 2, false>(v, f[0], f[1], nullptr, nullptr, rows[0], rows[1], nullptr, T(w[0]), T(w[1]), T(0),
                                  n3);
                Across<T, 2, false>(m_cells.data(), m_newx, in);
                break;
            default:
                Down<T, 3, false>(v, f[0], f[1], f[2], nullptr, rows[0], rows[1], rows[2], T(w[0]), T(w[1]), T(w[2]),
                                  n3);
                Across<T, 3, false>(m_cells.data(), m_newx, in);
                break;
        }
    }
    const double top = 255.0 * static_cast<double>(m_denom);
    if constexpr (std::is_same_v<T, float>) {
        if (m_denom < 8192) {
            QuotientsFloat(acc, nOut, static_cast<float>(top), 1.0f / static_cast<float>(m_denom), drow);
            return;
        }
    }
    QuotientsDouble<T>(acc, nOut, top, 1.0 / static_cast<double>(m_denom), drow);
}

}  // namespace pxarea
