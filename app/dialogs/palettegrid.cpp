#include "app/dialogs/palettegrid.h"

RECT CPaletteGrid::CellRect(int index) {
    const int column = index % kColumns, row = index / kColumns;
    RECT r;
    r.left = kOriginX + column * (kCellWidth + kGap);
    r.top = kOriginY + row * (kCellHeight + kGap);
    r.right = r.left + kCellWidth;
    r.bottom = r.top + kCellHeight;
    return r;
}

int CPaletteGrid::HitTest(int x, int y, int count) {
    if (x < kOriginX || y < kOriginY) return -1;
    const int column = (x - kOriginX) / (kCellWidth + kGap), row = (y - kOriginY) / (kCellHeight + kGap);
    // Right of the last column is no cell: it would wrap to the next row's first entry.
    if (column >= kColumns) return -1;
    const long index = static_cast<long>(row) * kColumns + column;
    return index < count ? static_cast<int>(index) : -1;
}
