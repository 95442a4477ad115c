// Rows of a 24-bit image as float planes (blue, green, red, then alpha when the image has a
// plane), converted once and kept for the rows that follow. The area average of Resample2 reads
// sixteen neighbouring output pixels' samples out of two vectors of one plane at a time, which
// interleaved pixels would not allow. One cache per thread.
#pragma once

#include <vector>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/interpolate/pxkernelrun.h"
#include "platform/wintypes.h"

namespace pxgeo {

class PlanarRows {
public:
    // The pattern that each thread copies; it holds no rows itself. Width 0 when unused.
    PlanarRows(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width)
        : m_bits(bits), m_eff(eff), m_alpha(alpha), m_width(width) {}
    // A working copy takes all its memory at once (zeroed, so the padding past the row end that
    // the vector reads may touch holds plain numbers), on the thread that makes it.
    PlanarRows(const PlanarRows& o) : PlanarRows(o.m_bits, o.m_eff, o.m_alpha, o.m_width) {
        if (m_width > 0)
            for (auto& slot : m_slot) slot.assign(Channels() * Stride(), 0.0f);
    }
    PlanarRows& operator=(const PlanarRows&) = delete;

    static constexpr int kMaxRows = 6;

    int Channels() const { return m_alpha ? 4 : 3; }
    // Floats from one plane to the next: the width and room for a whole two-vector read past
    // the last pixel, rounded to whole vectors.
    size_t Stride() const { return (static_cast<size_t>(m_width) + kBoxWindow + 15) & ~static_cast<size_t>(15); }

    // The planes of rows ys[0..n-1] (n at most kMaxRows) into out; plane c of row i starts at
    // out[i] + c x Stride(). Valid until the next call; rows held from earlier calls are reused.
    void Rows(const LONG* ys, int n, const float** out) {
        int slot[kMaxRows];
        PickRowSlots(m_tag, m_next, ys, n, slot, [&](int k, LONG y) {
            PlanarRow(m_slot[k].data(), Stride(), m_bits + static_cast<size_t>(y) * m_eff,
                      m_alpha ? m_alpha + static_cast<size_t>(y) * static_cast<size_t>(m_width) : nullptr, m_width);
        });
        for (int i = 0; i < n; i++) out[i] = m_slot[slot[i]].data();
    }

private:
    static constexpr int kSlots = 8;
    const BYTE* m_bits;
    size_t m_eff;
    const BYTE* m_alpha;
    LONG m_width;
    std::vector<float> m_slot[kSlots];
    LONG m_tag[kSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int m_next = 0;
};

}  // namespace pxgeo
