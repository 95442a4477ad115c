// Sun raster files (types 0-3, the 0x80 run escape of type 2, no colour map or an RGB one, rows
// padded to 16 bits) for the JPEG-2000 family codec. Writes type 1 (standard): grey images at
// 8 bits without a map, 24-bit images in blue, green, red order.
#pragma once

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxRasCodec {
public:
    // Both throw their failure text.
    static void Read(PxFile* file, PxJasperPicture& picture);
    static void Write(PxFile* file, PxImage& image);
};
