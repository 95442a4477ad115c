// Unsharp mask: a separable Gaussian blur (rows, then the columns of the row-blurred copy)
// and a merge that pushes every byte away from its blurred value.
//
// Away from the line ends each output byte is a sum of table look-ups (value x weight), added
// in kernel order. The loops below run that sum for many bytes at once, which keeps every
// addition, and so every result, the same as one byte at a time.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"

namespace {

// trunc(0.5 + value), the blur's rounding.
inline BYTE RoundOut(float v) { return px_ops::ClampToByte(static_cast<double>(0.5f + v)); }

// Line ends (and lines shorter than the kernel) compute products and rescale by the weights used.
// at(j) gives the byte at line position j.
template <class At>
float EdgeValue(const float* cmatrix, int L, int count, int p, At at) {
    const int m = L / 2;
    float sum = 0, scale = 0;
    if (L > count) {
        for (int j = 0; j < count; j++) {
            const int k = j + m - p;
            if (k < 0 || k >= L) continue;
            scale += cmatrix[k];
            sum += at(j) * cmatrix[k];
        }
    } else if (p < m) {
        for (int j = m - p; j < L; j++) {
            sum += at(p + j - m) * cmatrix[j];
            scale += cmatrix[j];
        }
    } else {
        for (int j = 0; j < count - p + m; j++) {
            sum += at(p + j - m) * cmatrix[j];
            scale += cmatrix[j];
        }
    }
    return sum / scale;
}

}  // namespace

int PxImage::gen_convolve_matrix(float radius, float** cmatrix_p) {
    const float std_dev = std::fabs(radius) + 1.0f;
    const float rad = 2.0f * std_dev;
    int L = static_cast<int>(std::ceil(rad - 0.5f)) * 2 + 1;
    if (L <= 0) L = 1;
    const int mid = L / 2;
    float* cmatrix = new float[static_cast<size_t>(L)];
    const float twoVar = 2.0f * std_dev * std_dev;
    for (int i = mid + 1; i < L; i++) {
        const float base_x = static_cast<float>(i - mid) - 0.5f;
        float sum = 0;
        for (int j = 1; j <= 50; j++) {
            const float xj = base_x + 0.02f * static_cast<float>(j);
            if (xj <= rad) sum += std::exp(-(xj * xj) / twoVar);
        }
        cmatrix[i] = sum * 0.02f;
    }
    for (int i = 0; i < mid; i++) cmatrix[i] = cmatrix[L - 1 - i];
    float sum = 0;
    for (int j = 0; j <= 50; j++) {
        const float xj = 0.5f + 0.02f * static_cast<float>(j);
        sum += std::exp(-(xj * xj) / twoVar);
    }
    cmatrix[mid] = sum / 51.0f;
    float total = 0;
    for (int i = 0; i < L; i++) total += cmatrix[i];
    for (int i = 0; i < L; i++) cmatrix[i] = cmatrix[i] / total;
    *cmatrix_p = cmatrix;
    return L;
}

float* PxImage::gen_lookup_table(float* cmatrix, int cmatrix_length) {
    float* table = new float[static_cast<size_t>(cmatrix_length) * 256];
    for (int i = 0; i < cmatrix_length; i++)
        for (int v = 0; v < 256; v++) table[i * 256 + v] = static_cast<float>(v) * cmatrix[i];
    return table;
}

void PxImage::blur_line(float* ctable, float* cmatrix, int cmatrix_length, BYTE* cur_col, BYTE* dest_col, int y,
                        LONG bytes) {
    const int L = cmatrix_length, m = L / 2, count = y;
    const int b = static_cast<int>(bytes);
    if (count <= 0 || b <= 0) return;
    auto edge = [&](int p) {
        for (int c = 0; c < b; c++)
            dest_col[p * b + c] =
                RoundOut(EdgeValue(cmatrix, L, count, p, [&](int j) { return static_cast<float>(cur_col[j * b + c]); }));
    };
    if (L > count) {
        for (int p = 0; p < count; p++) edge(p);
        return;
    }
    for (int p = 0; p < m; p++) edge(p);
    // Middle: byte o sums table[j][src[o + (j - m) * b]] over j, a block of bytes at a time.
    const int64_t o0 = int64_t{m} * b, o1 = int64_t{count - m} * b;
    constexpr int kBlock = 256;
    float acc[kBlock];
    for (int64_t ob = o0; ob < o1; ob += kBlock) {
        const int n = static_cast<int>(std::min<int64_t>(kBlock, o1 - ob));
        std::fill(acc, acc + n, 0.0f);
        for (int j = 0; j < L; j++) {
            const float* T = ctable + static_cast<size_t>(j) * 256;
            const BYTE* s = cur_col + ob + int64_t{j - m} * b;
            for (int i = 0; i < n; i++) acc[i] += T[s[i]];
        }
        for (int i = 0; i < n; i++) dest_col[ob + i] = RoundOut(acc[i]);
    }
    for (int p = count - m; p < count; p++) edge(p);
}

namespace {

// Blurs the byte columns [off, off + n) of count rows (row p at base + p * stride) along y into
// out (count rows of n bytes).
void BlurColumnBlock(const float* table, const float* cmatrix, int L, int count, const BYTE* base, size_t stride,
                     size_t off, int n, BYTE* out) {
    const int m = L / 2;
    auto src = [&](int p) { return base + static_cast<size_t>(p) * stride + off; };
    auto edge = [&](int p) {
        for (int i = 0; i < n; i++)
            out[static_cast<size_t>(p) * n + i] =
                RoundOut(EdgeValue(cmatrix, L, count, p, [&](int j) { return static_cast<float>(src(j)[i]); }));
    };
    if (L > count) {
        for (int p = 0; p < count; p++) edge(p);
        return;
    }
    for (int p = 0; p < m; p++) edge(p);
    std::vector<float> acc(static_cast<size_t>(n));
    for (int p = m; p < count - m; p++) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int j = 0; j < L; j++) {
            const float* T = table + static_cast<size_t>(j) * 256;
            const BYTE* s = src(p - m + j);
            for (int i = 0; i < n; i++) acc[i] += T[s[i]];
        }
        BYTE* o = out + static_cast<size_t>(p) * n;
        for (int i = 0; i < n; i++) o[i] = RoundOut(acc[i]);
    }
    for (int p = count - m; p < count; p++) edge(p);
}

}  // namespace

bool PxImage::UnsharpMask(float radius, float amount, int threshold) {
    if (!pDib) return false;
    if (!(head.biBitCount == 24 || OpsIsGray8())) {
        SetLastError("PxImage::UnsharpMask works only on 24-bit and grey images");
        return false;
    }
    // A kernel wider than a few thousand taps only costs time and memory (256 floats per tap).
    if (!std::isfinite(radius) || std::fabs(radius) > 1000.0f) {
        SetLastError("PxImage::UnsharpMask : radius out of range");
        return false;
    }
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    const int b = head.biBitCount / 8;
    const int w = head.biWidth, h = head.biHeight;

    float* raw = nullptr;
    const int L = gen_convolve_matrix(radius, &raw);
    std::unique_ptr<float[]> cmatrix(raw);
    std::unique_ptr<float[]> ctable(gen_lookup_table(cmatrix.get(), L));

    std::atomic<bool> stopped{false};
    // Rows: image row y blurred into the copy's row y.
    px_ops::ParallelItems(h, [&](int64_t y) {
        info.nProgress = static_cast<LONG>(static_cast<float>(y) * 33.3f / static_cast<float>(h));
        if (info.nEscape) {
            stopped = true;
            return false;
        }
        blur_line(ctable.get(), cmatrix.get(), L, GetBits(static_cast<DWORD>(y)), tmp.GetBits(static_cast<DWORD>(y)), w,
                  b);
        return true;
    });

    // Columns of the row-blurred copy, a block of columns at a time.
    if (!stopped) {
        constexpr int kCols = 256;
        const int64_t blocks = (int64_t{w} + kCols - 1) / kCols;
        BYTE* base = tmp.GetBits(0);
        const size_t stride = tmp.GetEffWidth();
        px_ops::ParallelItems(blocks, [&](int64_t blk) {
            const int x0 = static_cast<int>(blk * kCols);
            info.nProgress = static_cast<LONG>(33.3f + static_cast<float>(x0) * 33.3f / static_cast<float>(w));
            if (info.nEscape) {
                stopped = true;
                return false;
            }
            const int nx = std::min(kCols, w - x0);
            const int n = nx * b;
            const size_t off = static_cast<size_t>(x0) * b;
            thread_local std::vector<BYTE> out;
            out.resize(static_cast<size_t>(h) * n);
            BlurColumnBlock(ctable.get(), cmatrix.get(), L, h, base, stride, off, n, out.data());
            for (int p = 0; p < h; p++) std::memcpy(base + p * stride + off, out.data() + static_cast<size_t>(p) * n, n);
            return true;
        });
    }

    // Merge: push each byte away from its blurred value, unless the difference is below threshold.
    if (!stopped) {
        const int64_t rowBytes = int64_t{w} * b;
        px_ops::ParallelItems(h, [&](int64_t y) {
            info.nProgress = static_cast<LONG>(66.6f + static_cast<float>(y) * 33.3f / static_cast<float>(h));
            if (info.nEscape) return false;
            const BYTE* src = GetBits(static_cast<DWORD>(y));
            BYTE* dst = tmp.GetBits(static_cast<DWORD>(y));
            for (int64_t i = 0; i < rowBytes; i++) {
                const int d = src[i] - dst[i];
                if (2 * std::abs(d) < threshold)
                    dst[i] = src[i];
                else
                    dst[i] = px_ops::ClampToByte(static_cast<float>(src[i]) + amount * static_cast<float>(d));
            }
            return true;
        });
    }
    Transfer(tmp);
    return true;
}
