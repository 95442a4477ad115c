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

class PlanarRows : public RowSlotCache {
public:
    // The pattern that each thread copies; it holds no rows itself. Width 0 when unused.
    PlanarRows(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width)
        : RowSlotCache(bits, eff, alpha, width) {}
    // A working copy takes all its memory at once (zeroed, so the padding past the row end that
    // the vector reads may touch holds plain numbers), on the thread that makes it.
    PlanarRows(const PlanarRows& o) : PlanarRows(o.m_bits, o.m_eff, o.m_alpha, o.m_width) {
        if (m_width > 0)
            for (auto& slot : m_slot) slot.assign(Channels() * Stride(), 0.0f);
    }

    int Channels() const { return m_alpha ? 4 : 3; }
    // Floats from one plane to the next: the width and room for a whole two-vector read past
    // the last pixel, rounded to whole vectors.
    size_t Stride() const { return (static_cast<size_t>(m_width) + kBoxWindow + 15) & ~static_cast<size_t>(15); }

    // The planes of rows ys[0..n-1] (n at most kMaxRows) into out; plane c of row i starts at
    // out[i] + c x Stride(). Valid until the next call; rows held from earlier calls are reused.
    void Rows(const LONG* ys, int n, const float** out) {
        Take(ys, n, out, [&](int k, LONG y) { PlanarRow(m_slot[k].data(), Stride(), Row(y), AlphaRow(y), m_width); });
    }
};

// The same rows as phase planes (see PhaseRow), for area averages over interleaved groups of
// output columns.
class PhaseRows : public RowSlotCache {
public:
    PhaseRows(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width, const PhaseLayout& layout)
        : RowSlotCache(bits, eff, alpha, width), m_layout(layout) {}
    // Zeroed like the planar rows: the reads past a plane's last column meet plain numbers.
    PhaseRows(const PhaseRows& o) : PhaseRows(o.m_bits, o.m_eff, o.m_alpha, o.m_width, o.m_layout) {
        if (m_width > 0)
            for (auto& slot : m_slot)
                slot.assign((m_alpha ? 4 : 3) * static_cast<size_t>(m_layout.q) * m_layout.plane, 0.0f);
    }

    void Rows(const LONG* ys, int n, const float** out) {
        Take(ys, n, out, [&](int k, LONG y) { PhaseRow(m_slot[k].data(), m_layout, Row(y), AlphaRow(y), m_width); });
    }

private:
    PhaseLayout m_layout;
};

}  // namespace pxgeo
