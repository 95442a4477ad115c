// Where the palette dialog's colour cells lie and which one a point picks, without widgets.
#pragma once

#include "platform/wintypes.h"

class CPaletteGrid {
public:
    static constexpr int kColumns = 16;
    static constexpr int kCellWidth = 11;
    static constexpr int kCellHeight = 11;
    static constexpr int kGap = 1;
    static constexpr int kOriginX = 14;
    static constexpr int kOriginY = 14;

    // The cell of entry `index` in client coordinates (right and bottom exclusive).
    static RECT CellRect(int index);
    // The entry under a client point, or -1 when the point picks none of the first `count`.
    static int HitTest(int x, int y, int count);
};
