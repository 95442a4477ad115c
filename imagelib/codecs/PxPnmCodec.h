// Netpbm files (P1-P6, maxval up to 65535) for the JPEG-2000 family codec: the reader gives the
// file's samples as they are, the writer puts out P5 for grey and P6 for 24-bit images.
#pragma once

#include <cstdint>

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxPnmCodec {
public:
    struct Header {
        int kind = 0;  // the n of Pn
        uint32_t width = 0, height = 0, maxval = 0;
        int comps = 1;
        uint64_t rowBytes = 0;  // of a binary raster
    };
    // Each throws its failure text.
    static void Read(PxFile* file, PxJasperPicture& picture);
    // The header, checked against the bytes the file holds; the stream is left at the raster.
    static Header ReadHeader(PxFile* file);
    // The rows of a binary file of 8-bit samples (P5, P6 with maxval 255) straight into a picture
    // made for them (8 or 24 bits): grey levels as they are, colour as blue, green, red.
    static void ReadRows8(PxFile* file, const Header& header, PxImage& image);
    // `image` is an 8-bit grey image (pixel indices are the grey levels) or a 24-bit one.
    static void Write(PxFile* file, PxImage& image);
};
