// Truevision TGA files (format id 7): colour-mapped, true-colour and grey images, raw or
// run-length, 8/15/16/24/32 bits in either row order; writes raw 8-bit mapped, 24- or 32-bit.
#pragma once

#include "imagelib/pximage.h"

class PxTgaCodec : public PxImage {
public:
    PxTgaCodec() : PxImage(PXIMAGE_FORMAT_TGA) {}

    // The 18-byte file header, fields in file order.
    struct TgaHeader {
        BYTE IdLength;
        BYTE CmapType;
        BYTE ImageType;
        WORD CmapIndex;
        WORD CmapLength;
        BYTE CmapEntrySize;
        WORD X_Origin;
        WORD Y_Origin;
        WORD ImageWidth;
        WORD ImageHeight;
        BYTE PixelDepth;
        BYTE ImagDesc;
    };

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile);
    bool Encode(PxFile* hFile);

    // TGA has no signature. Format detection takes a stream only when its first bytes pass the
    // reader's own header checks, the file long enough for the rows the header declares.
    static bool IsPlausibleHeader(const BYTE* head, size_t count, int64_t length);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }

    // The header from its 18 bytes (count read of them) in a stream of length bytes from there,
    // or why it is none the reader takes.
    static const char* ReadHeader(const BYTE* hb, size_t count, int64_t length, TgaHeader& h);
    // One run-length row from the carried packet byte (255 for none); returns the packet byte to
    // carry into the next row. A run split at the row's end leaves the stream before its value.
    BYTE ExpandCompressedLine(BYTE* pDest, TgaHeader* ptgaHead, PxFile* hFile, int width, int y, BYTE rleLeftover);
    // Pixel count raw pixels into the row from column xoffset; y is the file row (for alpha).
    void ExpandUncompressedLine(BYTE* pDest, TgaHeader* ptgaHead, PxFile* hFile, int width, int y, int xoffset);
};
