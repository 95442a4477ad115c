// Separable 4 x 4 kernel sums of a 24-bit image over a run of output columns, eight output pixels
// per vector. Each sum keeps the products and the order of additions of KernelSum24 (rows outer,
// columns inner, sample x (kx[i] x ky[j]) added one by one to a sum starting at 0), so the bytes
// are those of the one-pixel form.
//
// The samples are first laid out per tap: for every source row, channel and tap i, a run of floats
// holding the sample each output column reads there. A source row serves several output rows, so
// this gathering is paid once per source row, and the sums themselves are plain vector products of
// contiguous floats. Work goes in tiles of columns so that the laid-out rows stay in the cache.
#pragma once

#include <vector>

#include "platform/wintypes.h"

namespace pxgeo {

// One output row of a run: its four source rows (any, repeats allowed), their weights, and where
// its bytes go: blue, green, red to d (3 a pixel), alpha to a when the plan reads alpha.
struct Kernel4Row {
    LONG src[4];
    float ky[4];
    BYTE* d;
    BYTE* a;
};

class Kernel4Plan {
public:
    static constexpr int kTile = 64;  // output columns per tile
    // Floats from one laid-out plane to the next: five cache lines, so that the planes a sum reads
    // fall into different cache sets.
    static constexpr int kPlane = kTile + 16;
    static constexpr int kSlots = 6;   // laid-out source rows kept per thread

    // Output columns 0..n-1 read source columns ix[4 x + i] (inside 0..width-1) with weights
    // k[4 x + i]. alpha is the source's alpha plane (width bytes a row) or NULL.
    Kernel4Plan(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width, std::vector<LONG> ix,
                std::vector<float> k);

    // Each thread's working memory, taken when it is made (so an allocation failure surfaces there).
    class Scratch {
    public:
        explicit Scratch(const Kernel4Plan& plan);

    private:
        friend class Kernel4Plan;
        std::vector<float> planar;  // one source row, channel by channel, as floats
        std::vector<float> slots;   // kSlots laid-out rows of one tile
        LONG tag[kSlots];
        int next = 0;
    };

    // Output rows rows[0..nrows-1], tile by tile.
    void Run(Scratch& s, const Kernel4Row* rows, int nrows) const;

    LONG Columns() const { return m_n; }

private:
    struct Tile {
        LONG x0, n;   // output columns
        LONG lo, hi;  // source columns read, inclusive
        bool planar;  // some block gathers from the row converted to float planes
        size_t ahead0, ahead1;  // the bytes of a row the next tile reads, fetched ahead
    };
    // How a block of eight output columns gathers its samples of one source row.
    enum BlockMode : BYTE {
        kFromBytes,   // byte shuffles: each half's four columns lie in sixteen bytes of the row
        kFromPlanes,  // float permutes: the eight columns lie in sixteen floats of a plane
        kOneByOne
    };
    struct Block {
        BlockMode mode;
        LONG window[4];       // planes: per tap, the first source column of the window
        int idx[4][8];        // planes: lane offsets from the window
        LONG half[4][2];      // bytes: per tap, the first source column of each half's window
        BYTE shuffle[4][32];  // bytes: per tap, the blue bytes of each half's columns (green, red follow)
        BYTE alpha[4][32];    // bytes: the same for the alpha bytes
    };
    int Channels() const { return m_alpha ? 4 : 3; }
    size_t SlotFloats() const { return static_cast<size_t>(Channels()) * 4 * kPlane + 16; }
    void LayOut(Scratch& s, const Tile& t, LONG y, float* slot) const;
    void LayOutWide(Scratch& s, const Tile& t, const BYTE* row, const BYTE* arow, float* slot) const;
    void OneByOne(const Tile& t, const BYTE* row, const BYTE* arow, float* slot, LONG l0, LONG l1) const;

    const BYTE* m_bits;
    size_t m_eff;
    const BYTE* m_alpha;
    LONG m_width, m_n;
    std::vector<LONG> m_ix;     // 4 per column
    std::vector<float> m_kx;    // per tile: tap i's weights of the tile's columns, kPlane apart
    std::vector<Block> m_blocks;  // kTile / 8 per tile
    std::vector<Tile> m_tiles;
    size_t m_planarFloats = 0;  // per channel
};

}  // namespace pxgeo
