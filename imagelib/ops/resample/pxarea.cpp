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
PX_OPS_SIMD_CLONES void Down(T* __restrict v, T* __restrict f0, T* __restrict f1, T* __restrict f2,
                             const T* __restrict sum, const BYTE* __restrict r0, const BYTE* __restrict r1,
                             const BYTE* __restrict r2, T w0, T w1, T w2, size_t n) {
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

// The plain sum of k rows of n bytes.
template <typename T>
PX_OPS_SIMD_CLONES void SumRows(T* __restrict s, const BYTE* const* rows, int k, size_t n) {
    const BYTE* __restrict a = rows[0];
    for (size_t i = 0; i < n; i++) s[i] = static_cast<T>(a[i]);
    for (int j = 1; j < k; j++) {
        const BYTE* __restrict b = rows[j];
        for (size_t i = 0; i < n; i++) s[i] += static_cast<T>(b[i]);
    }
}

// The parts of each row at each output column's split column, trunc(pa x wy / 1000) in a[j] and
// trunc((1000 - pa) x wy / 1000) in b[j], one plane of n each: a[0], b[0], a[1], b[1], ... The
// products are integers below 2^24, (p + 0.5) / 1000 lies 0.0005 or more from every integer, and
// the float product with 0.001f misses it by less than 1.2e-4, so truncation gives the quotient.
template <typename T, int M>
PX_OPS_SIMD_CLONES void SplitWeights(const float* __restrict pa, size_t n, const int* wy, T* __restrict out) {
    for (int j = 0; j < M; j++) {
        const float w = static_cast<float>(wy[j]);
        T* __restrict a = out + 2 * static_cast<size_t>(j) * n;
        T* __restrict b = a + n;
        for (size_t c = 0; c < n; c++) {
            a[c] = static_cast<T>(static_cast<int>((pa[c] * w + 0.5f) * 0.001f));
            b[c] = static_cast<T>(static_cast<int>(((1000.0f - pa[c]) * w + 0.5f) * 0.001f));
        }
    }
}

// Each output column's sums: its whole columns from v, its split column's near part and the far
// part of the previous one from the rows f (and the sum of whole rows). acc gets three values per
// column and one more that the next column overwrites.
template <typename T, int M, bool kSum>
PX_OPS_SIMD_CLONES void Across(const Cell* cells, LONG newx, const T* v, const T* sum, const T* const* f,
                               const T* wts, T* acc) {
    typedef typename Lane<T>::V V;
    const size_t nx = static_cast<size_t>(newx);
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
                const size_t k = 2 * static_cast<size_t>(j) * nx + static_cast<size_t>(c);
                a += wts[k] * b;
                carry += wts[k + nx] * b;
            }
        }
        memcpy(acc + 3 * static_cast<size_t>(c), &a, sizeof a);
    }
}

// min(255, sum / denom) for float sums below 2^24 and denominators below 8192: (sum + 0.5) / denom
// lies 0.5 / denom or more from every integer, and the float product misses it by less than
// 255 x 2^-23 (two roundings), which is smaller.
PX_OPS_SIMD_CLONES void QuotientsFloat(const float* __restrict acc, size_t n, float top, float inverse,
                                       BYTE* __restrict out) {
    for (size_t i = 0; i < n; i++) {
        const float s = acc[i];
        const int q = static_cast<int>((s + 0.5f) * inverse);
        out[i] = s < top ? static_cast<BYTE>(q) : 255;
    }
}

// The same in doubles, exact for sums below 2^31 and any denominator below 2^42.
template <typename T>
PX_OPS_SIMD_CLONES void QuotientsDouble(const T* __restrict acc, size_t n, double top, double inverse,
                                        BYTE* __restrict out) {
    for (size_t i = 0; i < n; i++) {
        const double s = static_cast<double>(acc[i]);
        const int q = static_cast<int>((s + 0.5) * inverse);
        out[i] = s < top ? static_cast<BYTE>(q) : 255;
    }
}

}  // namespace

AreaReducer::AreaReducer(const std::vector<LONG>& col, const std::vector<int>& colA, const std::vector<LONG>& rowOf,
                         const std::vector<int>& rowA, LONG newx, LONG newy, int64_t denom)
    : m_rowOf(rowOf), m_rowA(rowA), m_w(static_cast<LONG>(col.size())), m_newx(newx), m_denom(denom) {
    // Output columns: runs of equal col, of which only the last column may be split.
    m_cells.resize(static_cast<size_t>(newx));
    m_pa.resize(static_cast<size_t>(newx));
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
        }
        m_cells[c] = cell;
        m_pa[c] = static_cast<float>(cell.pa);
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

// Scratch in lanes: v, three rows and the sum of whole rows, each with a fourth lane past the
// last pixel; the output row's sums; the parts of each row at the split columns.
size_t AreaReducer::ScratchBytes() const {
    const size_t n3 = 3 * static_cast<size_t>(m_w) + 4;
    return 4 * ((m_needSum ? 5 : 4) * n3 + 9 * static_cast<size_t>(m_newx) + 4);
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
        RowIn<float>(s.f.data(), s.rows.data(), r, bits, eff, drow);
    else
        RowIn<int32_t>(s.i.data(), s.rows.data(), r, bits, eff, drow);
}

template <typename T>
void AreaReducer::RowIn(T* base, const BYTE** whole, LONG r, const BYTE* bits, size_t eff, BYTE* drow) const {
    const size_t n3 = 3 * static_cast<size_t>(m_w);
    const size_t nOut = 3 * static_cast<size_t>(m_newx);
    const size_t n3p = n3 + 4;
    T* v = base;
    T* f[3] = {base + n3p, base + 2 * n3p, base + 3 * n3p};
    T* sum = m_needSum ? base + 4 * n3p : nullptr;
    T* acc = base + (m_needSum ? 5 : 4) * n3p;
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

    const Cell* cells = m_cells.data();
    T* wts = acc + nOut + 4;
    const size_t nx = static_cast<size_t>(m_newx);
    if (nwhole >= 2) {
        SumRows<T>(sum, whole, nwhole, n3);
        Down<T, 2, true>(v, f[0], f[1], nullptr, sum, parts[0], parts[1], nullptr, T(partW[0]), T(partW[1]), T(0),
                         n3);
        SplitWeights<T, 2>(m_pa.data(), nx, partW, wts);
        Across<T, 2, true>(cells, m_newx, v, sum, f, wts, acc);
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
        switch (m) {
            case 0:
                memset(drow, 0, nOut);
                return;
            case 1:
                Down<T, 1, false>(v, f[0], nullptr, nullptr, nullptr, rows[0], nullptr, nullptr, T(w[0]), T(0), T(0),
                                  n3);
                SplitWeights<T, 1>(m_pa.data(), nx, w, wts);
                Across<T, 1, false>(cells, m_newx, v, nullptr, f, wts, acc);
                break;
            case 2:
                Down<T, 2, false>(v, f[0], f[1], nullptr, nullptr, rows[0], rows[1], nullptr, T(w[0]), T(w[1]), T(0),
                                  n3);
                SplitWeights<T, 2>(m_pa.data(), nx, w, wts);
                Across<T, 2, false>(cells, m_newx, v, nullptr, f, wts, acc);
                break;
            default:
                Down<T, 3, false>(v, f[0], f[1], f[2], nullptr, rows[0], rows[1], rows[2], T(w[0]), T(w[1]), T(w[2]),
                                  n3);
                SplitWeights<T, 3>(m_pa.data(), nx, w, wts);
                Across<T, 3, false>(cells, m_newx, v, nullptr, f, wts, acc);
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
