// PGX files (the JPEG-2000 test format: "PG ML|LM [+|-] precision width height", then one grey
// plane of 1-, 2- or 4-byte samples) for the JPEG-2000 family codec.
#pragma once

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxPgxCodec {
public:
    // Both throw their failure text.
    static void Read(PxFile* file, PxJasperPicture& picture);
    // `image` is an 8-bit grey image; written as "PG ML + 8 w h" with one byte per sample.
    static void Write(PxFile* file, PxImage& image);
};
