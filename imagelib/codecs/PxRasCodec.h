// Sun raster files (types 0-3, the 0x80 run escape of type 2, no colour map or an RGB one, rows
// padded to 16 bits) for the JPEG-2000 family codec. Writes type 1 (standard): grey images at
// 8 bits without a map, 24-bit images in blue, green, red order.
#pragma once

#include <cstdint>
#include <vector>

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxRasCodec {
public:
    struct Layout {
        DWORD width = 0, height = 0, depth = 0;
        bool encoded = false, rgbOrder = false, mapped = false;
        std::vector<BYTE> map;  // all reds, then all greens, then all blues
        DWORD entries = 0;      // of the map
        int comps = 1;          // three for colour and mapped pixels
        uint64_t rowBytes = 0;
        // Pixels of 8 bits or more: the rows can go straight into a 24-bit or 8-bit grey picture.
        bool Samples8() const { return depth != 1; }
    };
    // Each throws its failure text.
    static void Read(PxFile* file, PxJasperPicture& picture);
    // The header and colour map, checked against the bytes the file holds; the stream is left at
    // the raster.
    static Layout ReadLayout(PxFile* file);
    // The raster of a file of 8-bit samples into the rows of image, made at its size: colour as
    // blue, green, red, grey as it is.
    static void ReadRows8(PxFile* file, const Layout& layout, PxImage& image);
    static void Write(PxFile* file, PxImage& image);
};
