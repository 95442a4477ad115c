// The 24-bit area reduction of Resample in float or 32-bit integer lanes: each output row sums
// its source rows down the columns first and then across, and gives the very bytes of the
// integer formula in thousandths, because every sum it forms stays an exact integer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

namespace pxarea {

// One output column: its whole source columns [in0, in1), then its split column (-1 for none),
// whose near part pa stays here and whose far part goes to the next output column.
struct Cell {
    LONG in0, in1, right;
    int pa;
};

constexpr int kPartSlots = 4;

// A worker's own rows: vertical sums, sums of whole rows, the output row's sums and the parts of
// the last rows in part at the split columns.
struct Scratch {
    std::vector<float> f;
    std::vector<int32_t> i;
    std::vector<const BYTE*> rows;  // the whole rows of the output row in hand
    int partOf[kPartSlots] = {-1, -1, -1, -1};  // the part each slot of parts was worked out for
    int nextSlot = 0;
};

class AreaReducer {
public:
    // col and colA: the output column (already kept below newx) and the near part of each source
    // column; rowOf and rowA the same for rows. The vectors must outlive the reducer.
    AreaReducer(const std::vector<LONG>& col, const std::vector<int>& colA, const std::vector<LONG>& rowOf,
                const std::vector<int>& rowA, LONG newx, LONG newy, int64_t denom);

    // False when some sum could leave the exact range of 32-bit lanes, or when the splits do not
    // have the shape this reduction relies on (the caller then sums in 64 bits).
    bool Usable() const { return m_lanes != Lanes::None; }
    // Bytes of scratch one worker needs.
    size_t ScratchBytes() const;
    Scratch NewScratch() const;
    // Output row r of a 24-bit source whose row y starts at bits + y x eff.
    void Row(Scratch& s, LONG r, const BYTE* bits, size_t eff, BYTE* drow) const;

private:
    enum class Lanes { None, Float, Int32 };
    template <typename T>
    void RowIn(T* base, Scratch& s, LONG r, const BYTE* bits, size_t eff, BYTE* drow) const;

    const std::vector<LONG>& m_rowOf;
    const std::vector<int>& m_rowA;
    LONG m_w, m_newx, m_maxRows = 0;
    int64_t m_denom;
    Lanes m_lanes = Lanes::None;
    bool m_needSum = false;  // some output row has two or more whole rows
    std::vector<Cell> m_cells;
    // Each output column's near and far parts of its split column, 0 without one.
    std::vector<float> m_paF, m_pbF;
    std::vector<int32_t> m_paI, m_pbI;
    std::vector<BYTE> m_zero;  // a row of zeros standing in for missing rows
};

}  // namespace pxarea
