// Area averages of Resample2 in wide float lanes, with the products and additions of the one-pixel
// form lane by lane: the same results. For CPUs with 256-bit float vectors (and 512-bit ones).
#pragma once

#include "platform/wintypes.h"

namespace pxgeo {

bool HasKernelRun();

// The pixels an area average covers along one axis: first..last inclusive, the parts of the
// first and last pixel covered, and the area's extent.
struct ColumnSpan {
    LONG first, last;
    float firstCover, lastCover;
    float extent;
};

// Output pixels 0..n-1 of an area average over rows[0..nrows-1] (converted rows) with row
// weights rowCover[k] and the area's height rowExtent: the sum of each covered pixel times
// (column cover x row cover), rows outer and columns inner, divided by (column extent x
// rowExtent) and clamped to bytes, as the one-pixel form computes it; to d and a as above.
void BoxRun(BYTE* d, BYTE* a, const float* const* rows, int nrows, const float* rowCover, float rowExtent,
            const ColumnSpan* cols, LONG n);

// Sixteen neighbouring output columns of an area average. The lanes come in groups of
// BoxRunGroup() (16 or 8): the samples of group g lie within two vectors (2 x group columns) from
// base[g], at most kBoxSteps of them per column. Step t of lane l reads column base[g] + idx[t][l]
// with the column weight cover[t][l]; past a column's last pixel the weight is 0 and the index
// stays on that pixel, so the step adds exactly nothing.
constexpr int kBoxWindow = 32;  // the widest window, which planar rows leave room for past their end
constexpr int kBoxSteps = 8;
struct BoxBlock {
    LONG x;        // first output column
    LONG base[2];  // first source column of each group's window
    int steps;
    int idx[kBoxSteps][16];
    float cover[kBoxSteps][16];
    float extent[16];
};

// Lanes per window of BoxRun16 here: 16 with 512-bit vectors and byte shuffles, 8 with 256-bit
// integer vectors, 0 when it does not run here (then neither does PlanarRow).
int BoxRunGroup();

// Row src (24-bit, width pixels) and its alpha row (or NULL) as float planes of stride floats:
// blue, green, red, then alpha.
void PlanarRow(float* out, size_t stride, const BYTE* src, const BYTE* alpha, LONG width);

// The blocks' output pixels of one output row: per pixel the same products and additions, in
// the same order, as BoxRun's one-pixel form (rows outer, columns inner), sixteen pixels per
// vector. rows[k] are planar rows (PlanarRow) of stride floats; alpha goes to a when a is not NULL
// (the rows then carry an alpha plane).
void BoxRun16(BYTE* d, BYTE* a, const float* const* rows, size_t stride, int nrows, const float* rowCover,
              float rowExtent, const BoxBlock* blocks, LONG nblocks);

// Area averages whose output columns come in p interleaved groups of eight: lane l of group g
// is output column x + g + p l, and its samples lie q source columns after those of lane l - 1
// (the scale is q / p). Phase rows hold each channel as q planes, plane r the source columns r,
// r + q, r + 2q, ..., so that a step of a group reads eight neighbouring floats of one plane
// instead of picking them out of a window.
constexpr int kPhaseMaxP = 4, kPhaseMaxQ = 5;
struct PhaseLayout {
    int p, q;
    size_t plane;  // floats per plane: the columns and room for a read of eight past the last
};
PhaseLayout PhaseLayoutOf(int p, int q, LONG width);
struct PhaseGroup {
    int steps;           // 0 where the lanes' samples do not lie q apart: then each lane alone
    int off[kBoxSteps];  // step t's samples: their offset in the planes of a channel
    float cover[kBoxSteps][8];
    float extent[8];
};
struct PhaseBlock {
    LONG x;
    PhaseGroup g[kPhaseMaxP];
};

// True where PhaseRow and PhaseRun run (256-bit integer vectors).
bool HasPhaseRun();

// Row src (24-bit, width pixels) and its alpha row (or NULL) as phase planes: plane r of
// channel c (blue, green, red, alpha) starts at out + (c q + r) plane.
void PhaseRow(float* out, const PhaseLayout& layout, const BYTE* src, const BYTE* alpha, LONG width);

// The blocks' output pixels of one output row from phase rows, per pixel the products and
// additions of BoxRun's one-pixel form in its order; a group without steps sums each of its
// columns by spans[column - spanBase]. Alpha to a when a is not NULL.
void PhaseRun(BYTE* d, BYTE* a, const float* const* rows, const PhaseLayout& layout, int nrows,
              const float* rowCover, float rowExtent, const PhaseBlock* blocks, LONG nblocks,
              const ColumnSpan* spans, LONG spanBase);

}  // namespace pxgeo
