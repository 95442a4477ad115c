// Unsharp mask: a separable Gaussian blur (rows, then the columns of the row-blurred rows) and
// a merge that pushes every byte away from its blurred value.
//
// Away from the line ends each blurred byte is a sum of value x weight over the kernel, added
// in kernel order. A product of a byte and a float weight is exactly the entry of the look-up
// table of such products, so the sums multiply instead of looking up: that lets the compiler
// run many bytes at once, and every addition, and so every result, stays the same.
//
// The three steps run in one sweep over bands of rows, strip of columns by strip: each band
// keeps its last kernel-length row-blurred rows in a ring, blurs the column direction from the
// ring and merges at once, so the image is read and written once instead of once per step.
// Where the CPU has AVX2 the sums and the merge run in loops written out for it; they do the
// plain loops' steps lane by lane, so the bytes do not depend on which loops ran.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/ops/filter/pxbandrows.h"
#include "imagelib/ops/filter/pxunsharprows.h"
#include "imagelib/pximage.h"

using namespace px_unsharp;

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
    (void)ctable;  // the middle multiplies instead: each product is the table entry itself
    if (y <= 0 || bytes <= 0) return;
    const int64_t n = int64_t{y} * bytes;
    std::vector<float> line(static_cast<size_t>(n)), out(static_cast<size_t>(n));
    std::vector<const float*> taps;
    BytesToFloats(cur_col, line.data(), n);
    BlurSpan(cmatrix, cmatrix_length, line.data(), 0, y, static_cast<int>(bytes), 0, y, out.data(), taps);
    for (int64_t i = 0; i < n; i++) dest_col[i] = static_cast<BYTE>(out[static_cast<size_t>(i)]);
}

bool PxImage::UnsharpMask(float radius, float amount, int threshold) {
    if (!pDib) return false;
    if (!(head.biBitCount == 24 || OpsIsGray8())) {
        SetLastError("PxImage::UnsharpMask works only on 24-bit and grey images");
        return false;
    }
    // A kernel wider than a few thousand taps only costs time and memory.
    if (!std::isfinite(radius) || std::fabs(radius) > 1000.0f) {
        SetLastError("PxImage::UnsharpMask : radius out of range");
        return false;
    }
    const int b = head.biBitCount / 8;
    const int w = head.biWidth, h = head.biHeight;
    const int64_t rowBytes = int64_t{w} * b;

    float* raw = nullptr;
    const int L = gen_convolve_matrix(radius, &raw);
    std::unique_ptr<float[]> cmatrix(raw);
    const int m = L / 2;

    // Rows in bands, a few per worker so that a busy core does not hold up the rest; each band
    // blurs the m rows on either side of it again, which costs little against its length. The
    // result goes straight into the image: every row's result depends only on the rows as they
    // were, which each band reads from its own rows before it changes them, or from its copies of
    // the neighbours' rows. Rows an escape leaves undone keep the source.
    const int workers = px_ops::WorkerCount(h);
    const int64_t bandRows = std::max<int64_t>(std::max(32, 4 * L), (h + 4 * workers - 1) / (4 * workers));
    px_ops::BandRows rows(*this, bandRows, m);
    if (!rows.Prepare()) {
        SetLastError("PxImage::UnsharpMask can't allocate memory");
        return false;
    }
    std::atomic<int64_t> rowsDone{0};
    std::atomic<bool> noMemory{false};
    // A band goes through its columns strip by strip, so that each worker's ring of R = L + 1
    // row-blurred rows (two output rows at a time need L + 1) stays in the core's own cache. A
    // strip is at least the kernel's reach wide: the next strip's rows read that much of this
    // one, which is kept (in `right`) before the rows change. Wide kernels get fewer workers, so
    // that the rings stay within a few hundred megabytes together.
    const int R = L + 1;
    const int64_t reach = int64_t{m} * b;
    constexpr int64_t kRingBytes = 192 * 1024;
    const int64_t stripPx = std::max<int64_t>({1, m, kRingBytes / (int64_t{R} * int64_t{sizeof(float)} * b)});
    const int64_t stripBytes = std::min(rowBytes, stripPx * b);
    // A row's bytes are needed from its blur along x until its merge, m or m + 1 rows later.
    const int nLines = m + 2;
    const int64_t lineFloats = std::min(rowBytes, stripBytes + 2 * reach);
    const double ringBytes =
        (static_cast<double>(R) * static_cast<double>(stripBytes) + static_cast<double>(nLines) * lineFloats) *
        sizeof(float);
    const int maxWorkers = static_cast<int>(std::clamp(384.0e6 / std::max(ringBytes, 1.0), 1.0, 8.0));
    const int64_t keptRows = bandRows + 2 * int64_t{m};

    // Each worker's scratch rows, kept from band to band; ring[q % R] holds the strip of row q
    // blurred along x, its bytes as floats, and lines[q % nLines] the bytes themselves as floats,
    // with the reach on either side, for the blur along x and for the merge. Empty when the memory
    // was missing.
    struct Scratch {
        std::vector<float> ring, lines;
        std::vector<BYTE> blurred, left, right;
        std::vector<const float*> taps;
        std::vector<float> wts;
    };
    auto makeScratch = [&] {
        Scratch sc;
        try {
            sc.ring.resize(static_cast<size_t>(R) * static_cast<size_t>(stripBytes));
            sc.lines.resize(static_cast<size_t>(nLines) * static_cast<size_t>(lineFloats));
            sc.blurred.resize(static_cast<size_t>(stripBytes));
            if (stripBytes < rowBytes) {
                sc.left.resize(static_cast<size_t>(keptRows * reach));
                sc.right.resize(static_cast<size_t>(keptRows * reach));
            }
            sc.taps.resize(static_cast<size_t>(R));
            sc.wts.resize(static_cast<size_t>(L));
        } catch (const std::bad_alloc&) {
            sc = Scratch{};
        }
        return sc;
    };
    // Rows whose whole column window lies inside the image sum without rescaling.
    auto inner = [&](int64_t p) { return L <= h && p >= m && p < h - m; };

    auto runBand = [&](int64_t band, Scratch& sc) {
        // Whole bands or none: a band changes every strip of its rows.
        info.nProgress = static_cast<LONG>(100 * rowsDone.load(std::memory_order_relaxed) / h);
        if (info.nEscape) return false;
        const int64_t b0 = rows.Begin(band), b1 = rows.End(band);
        const int64_t qlo = std::max<int64_t>(0, b0 - m), qhi = std::min<int64_t>(h, b1 + m);
        std::vector<const float*>& taps = sc.taps;
        for (int64_t x0 = 0; x0 < rowBytes; x0 += stripBytes) {
            const int64_t x1 = std::min(rowBytes, x0 + stripBytes), n = x1 - x0;
            const int px0 = static_cast<int>(x0 / b), px1 = static_cast<int>(x1 / b);
            const int64_t lo = std::max<int64_t>(0, x0 - reach), hi = std::min(rowBytes, x1 + reach);
            const bool lastStrip = x1 == rowBytes;
            auto ringRow = [&](int64_t q) {
                return sc.ring.data() + static_cast<size_t>(q % R) * static_cast<size_t>(stripBytes);
            };
            auto lineRow = [&](int64_t q) {
                return sc.lines.data() + static_cast<size_t>(q % nLines) * static_cast<size_t>(lineFloats);
            };
            // Row p's bytes of the strip as floats.
            auto srcRow = [&](int64_t q) { return lineRow(q) + (x0 - lo); };
            int64_t next = qlo;
            // Row-blurs the strip of every row up to q that is not in the ring yet. Rows up to
            // p + m are still as they were in this strip and the next while row p is the next
            // to change; the reach before the strip was kept by the strip before.
            auto fillTo = [&](int64_t q) {
                for (; next <= std::min(qhi - 1, q); next++) {
                    const BYTE* src = rows.Row(band, next);
                    const size_t kept = static_cast<size_t>((next - qlo) * reach);
                    float* f = lineRow(next);
                    if (x0 > 0) BytesToFloatsAny(sc.left.data() + kept, f, reach);
                    BytesToFloatsAny(src + x0, f + (x0 - lo), hi - x0);
                    if (!lastStrip) std::memcpy(sc.right.data() + kept, src + x1 - reach, static_cast<size_t>(reach));
                    BlurSpan(cmatrix.get(), L, f, lo, w, b, px0, px1, ringRow(next), taps);
                }
            };
            for (int64_t p = b0; p < b1;) {
                BYTE* row = GetBits(static_cast<DWORD>(p)) + x0;
                int done = 1;
                if (L >= 2 && p + 1 < b1 && inner(p) && inner(p + 1)) {
                    fillTo(p + 1 + m);
                    for (int j = 0; j < R; j++) taps[static_cast<size_t>(j)] = ringRow(p - m + j);
                    SumAndMergePairAny(cmatrix.get(), L, taps.data(), n, row, GetBits(static_cast<DWORD>(p + 1)) + x0,
                                       srcRow(p), srcRow(p + 1), amount, threshold);
                    done = 2;
                } else {
                    fillTo(p + m);
                    if (!inner(p) && WholeNumberMerge(amount) && WideVectors()) {
                        // The rows of the window in order, their weights and those weights' sum,
                        // as EdgeValue takes them.
                        const int q0 = std::max(0, static_cast<int>(p) - m);
                        const int q1 = std::min(h - 1, static_cast<int>(p) + m);
                        float scale = 0;
                        for (int q = q0; q <= q1; q++) {
                            taps[static_cast<size_t>(q - q0)] = ringRow(q);
                            sc.wts[static_cast<size_t>(q - q0)] = cmatrix[static_cast<size_t>(q + m - p)];
                            scale += cmatrix[static_cast<size_t>(q + m - p)];
                        }
                        WideEdgeMergeAny(taps.data(), sc.wts.data(), q1 - q0 + 1, scale, n, row, srcRow(p), amount,
                                         threshold);
                    } else if (!inner(p)) {
                        for (int64_t i = 0; i < n; i++)
                            sc.blurred[static_cast<size_t>(i)] = RoundOut(EdgeValue(
                                cmatrix.get(), L, h, static_cast<int>(p), [&](int j) { return ringRow(j)[i]; }));
                        MergeRow(row, sc.blurred.data(), n, amount, threshold);
                    } else {
                        for (int j = 0; j < L; j++) taps[static_cast<size_t>(j)] = ringRow(p - m + j);
                        SumAndMergeAny(cmatrix.get(), L, taps.data(), n, row, srcRow(p), amount, threshold);
                    }
                }
                if (lastStrip) rowsDone.fetch_add(done, std::memory_order_relaxed);
                p += done;
            }
            std::swap(sc.left, sc.right);
        }
        return true;
    };

    // One set of workers for both steps (starting threads costs more than the copies): they
    // first keep every band's neighbour rows, handed out one band at a time, and wait until all
    // are kept; then they take the bands in increasing order, so that an escape stops the work
    // where everything before it is done.
    const int64_t bands = rows.Bands();
    std::atomic<int64_t> nextSave{0}, savesDone{0}, nextBand{0};
    px_ops::RunWorkers(std::max(1, std::min(px_ops::WorkerCount(bands), maxWorkers)), [&] {
        for (int64_t b; (b = nextSave.fetch_add(1, std::memory_order_relaxed)) < bands;) {
            if (!rows.SaveBand(b)) noMemory = true;
            savesDone.fetch_add(1, std::memory_order_release);
        }
        while (savesDone.load(std::memory_order_acquire) < bands) std::this_thread::yield();
        if (noMemory) return;
        Scratch sc = makeScratch();
        if (sc.taps.empty()) {
            noMemory = true;
            nextBand.store(bands, std::memory_order_relaxed);
            return;
        }
        for (;;) {
            const int64_t band = nextBand.fetch_add(1, std::memory_order_relaxed);
            if (band >= bands) return;
            if (!runBand(band, sc)) {
                nextBand.store(bands, std::memory_order_relaxed);
                return;
            }
        }
    });
    if (noMemory) {
        // Rows done before the failure keep their result; the rest are as they were.
        SetLastError("PxImage::UnsharpMask can't allocate memory");
        return false;
    }
    return true;
}
