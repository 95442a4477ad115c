// How many colours Decrease Bpp may ask for, without widgets.
#pragma once

class CDecreaseBppLogic {
public:
    // Without the limit the depth's full count (2, 16, 256); with it the typed count, capped
    // at what the depth holds (2 for 1 bit, 16 for 4, 256 for 8).
    static int MaxColors(int bits, bool limit, int typed);
    // The table size of a depth: 2, 16 or 256.
    static int TableSize(int bits) { return bits == 1 ? 2 : bits == 4 ? 16 : 256; }
};
