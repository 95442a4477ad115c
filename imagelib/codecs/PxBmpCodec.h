// Windows bitmap files (format id 1): reads uncompressed 1/4/8/16/24/32-bit, RLE8 and RLE4 data
// with a BITMAPINFOHEADER, the 12-byte core header or the larger uncompressed headers; writes
// bottom-up, uncompressed files at the image's own depth.
#pragma once

#include "imagelib/pximage.h"

class PxBmpCodec : public PxImage {
public:
    PxBmpCodec() : PxImage(PXIMAGE_FORMAT_BMP) {}

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile);
    bool Encode(PxFile* hFile);
    // Reads the info header at the stream's position and normalises it (core headers widened,
    // zero image size and colour count filled in); false for a short read or an unknown kind.
    bool ReadBitmapInfo(PxFile* fh, BITMAPINFOHEADER* pdib);

    // Format detection's tests of a stream's first bytes: "BM" starts a bitmap file; a bare DIB
    // (as on the clipboard) has no signature, so its info header must be one the reader takes,
    // with sides that make a picture.
    static bool HasSignature(const BYTE* head, size_t count);
    static bool IsPlausibleDib(const BYTE* head, size_t count);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }

private:
    void DecodeRle8(PxFile* hFile);
    void DecodeRle4(PxFile* hFile);
};
