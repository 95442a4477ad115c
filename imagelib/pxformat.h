// Format ids of the image library and the extension table shared with the program.
#pragma once

#include "platform/wintypes.h"

enum PxImageFormat : DWORD {
    PXIMAGE_FORMAT_UNKNOWN = 0,
    PXIMAGE_FORMAT_BMP = 1,
    PXIMAGE_FORMAT_GIF = 2,
    PXIMAGE_FORMAT_JPG = 3,
    PXIMAGE_FORMAT_PNG = 4,
    PXIMAGE_FORMAT_ICO = 5,
    PXIMAGE_FORMAT_TIF = 6,
    PXIMAGE_FORMAT_TGA = 7,
    PXIMAGE_FORMAT_PCX = 8,
    PXIMAGE_FORMAT_WBMP = 9,
    PXIMAGE_FORMAT_WMF = 10,
    PXIMAGE_FORMAT_JP2 = 11,
    PXIMAGE_FORMAT_JPC = 12,
    PXIMAGE_FORMAT_PGX = 13,
    PXIMAGE_FORMAT_PNM = 14,
    PXIMAGE_FORMAT_RAS = 15,
};

constexpr DWORD PXIMAGE_FORMAT_COUNT = 16;
