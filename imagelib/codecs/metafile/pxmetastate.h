// The device-context state of the metafile player: what SaveDC keeps and RestoreDC brings back.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

struct PxMetaPen {
    int style = 0;       // PS_SOLID .. PS_INSIDEFRAME (5 = PS_NULL)
    double width = 0;    // logical units; 0 is one device pixel
    bool cosmetic = false;
    COLORREF color = 0;
};

struct PxMetaBrush {
    int style = 0;       // BS_SOLID, BS_NULL (1), BS_HATCHED (2); pattern brushes are kept as null
    COLORREF color = 0xFFFFFF;
    int hatch = 0;
};

struct PxMetaFont {
    int height = 0, width = 0, escapement = 0, weight = 400;
    bool italic = false, underline = false, strikeout = false;
    int charset = 0;
    std::string face;  // UTF-8
};

struct PxMetaState {
    PxMetaPen pen;
    PxMetaBrush brush;
    PxMetaFont font;
    COLORREF textColor = 0, bkColor = 0xFFFFFF;
    int bkMode = 2;      // OPAQUE
    int rop2 = 13;       // R2_COPYPEN
    int fillMode = 1;    // ALTERNATE
    UINT textAlign = 0;
    int mapMode = 1;     // MM_TEXT
    double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
    double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
    double world[6] = {1, 0, 0, 1, 0, 0};  // eM11, eM12, eM21, eM22, eDx, eDy
    double curX = 0, curY = 0;             // current position, logical
    bool arcClockwise = false;
    std::vector<RECT> clip;                // device rectangles
};
