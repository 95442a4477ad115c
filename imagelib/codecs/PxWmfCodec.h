// Windows metafiles (format id 10): placeable WMF files and enhanced metafiles, played by our
// own record player into a white 96 DPI surface that becomes a 24-bit image. Not writable.
#pragma once

#include "imagelib/pximage.h"

class PxWmfCodec : public PxImage {
public:
    PxWmfCodec() : PxImage(PXIMAGE_FORMAT_WMF) {}

    using PxImage::Decode;
    using PxImage::Encode;
    // A forced width or height (0 = the metafile's own) replaces that part of the size.
    bool Decode(PxFile* hFile, LONG forcedWidth = 0, LONG forcedHeight = 0);
    bool Encode(PxFile* hFile);

    // The output size rules after a forced side: sides above 4000 come down to 4000 with the other
    // side scaled alike, never below 1 pixel.
    static void CapSize(int64_t& width, int64_t& height);

    // Format detection's test of a stream's first bytes: the placeable key, or an enhanced
    // header (record type 1 with " EMF" at byte 40).
    static bool HasSignature(const BYTE* head, size_t count);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream, 0, 0); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }
};
