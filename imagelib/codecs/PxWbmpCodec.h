// Wireless bitmaps of type 0 (format id 9): 1-bit pictures, top row first, 1 = white. Sides are
// the format's multi-byte integers; old files that stored 128-255 as a single byte still read.
#pragma once

#include "imagelib/pximage.h"

class PxWbmpCodec : public PxImage {
public:
    PxWbmpCodec() : PxImage(PXIMAGE_FORMAT_WBMP) {}

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile);
    bool Encode(PxFile* hFile);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }
};
