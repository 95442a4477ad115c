// ZSoft PCX files (format id 8): 1-4 planes of 1 bit, one plane of 2, 4 or 8 bits, and 3 or 4
// planes of 8 bits (true colour, with alpha); writes 1-bit, 16-colour planar, 8-bit and 24-bit
// (32 with alpha) files.
#pragma once

#include "imagelib/pximage.h"

class PxPcxCodec : public PxImage {
public:
    PxPcxCodec() : PxImage(PXIMAGE_FORMAT_PCX) {}

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile);
    bool Encode(PxFile* hFile);

    // Format detection's test of a stream's first bytes: a whole 128-byte header with the
    // manufacturer byte 10 and run-length encoding 1.
    static bool HasSignature(const BYTE* head, size_t count) { return count >= 128 && head[0] == 10 && head[2] == 1; }

    // Line routines. Planes of 1 bit into one index per pixel (plane i gives bit i).
    static void PCX_PlanesToPixels(BYTE* pixels, BYTE* bitplanes, short bytesperline, short planes, short bitsperpixel);
    // One plane of 1, 2, 4 or 8 bits into one index per pixel, most significant bits first.
    static void PCX_UnpackPixels(BYTE* pixels, BYTE* bitplanes, short bytesperline, short planes, short bitsperpixel);
    // Bit `plane` of each of `width` pixels into a packed line (zeroed first, bytesperline long).
    static void PCX_PixelsToPlanes(BYTE* pixels, LONG width, BYTE* bitplanes, short plane, LONG bytesperline);
    // Byte-run encoding of a stream of values; -1 ends a line, -2 ends it with a pad byte.
    static void PCX_PackPixels(LONG p, LONG& last, LONG& count, PxFile* f);
    static void PCX_PackPlanes(BYTE* buff, LONG size, PxFile* f);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }
};
