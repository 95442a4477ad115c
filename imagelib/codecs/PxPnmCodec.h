// Netpbm files (P1-P6, maxval up to 65535) for the JPEG-2000 family codec: the reader gives the
// file's samples as they are, the writer puts out P5 for grey and P6 for 24-bit images.
#pragma once

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxPnmCodec {
public:
    // Both throw their failure text.
    static void Read(PxFile* file, PxJasperPicture& picture);
    // `image` is an 8-bit grey image (pixel indices are the grey levels) or a 24-bit one.
    static void Write(PxFile* file, PxImage& image);
};
