// Windows icon and cursor files (format id 5): each directory entry is a frame, held as a
// bitmap (1-32 bits with an AND mask, which becomes transparency) or as embedded PNG data;
// writes single-image icons up to 255 x 255.
#pragma once

#include "imagelib/pximage.h"

class PxIcoCodec : public PxImage {
public:
    PxIcoCodec() : PxImage(PXIMAGE_FORMAT_ICO) {}

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile);
    bool Encode(PxFile* hFile);

    // Format detection's test of a stream's first bytes: a zero word, then 1 (icon) or 2 (cursor).
    static bool HasSignature(const BYTE* head, size_t count);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }

private:
    bool DecodePngEntry(PxFile* hFile, DWORD size);
    // Turns the AND mask (bottom-up rows of rowBytes) into a transparent colour, a transparent
    // index or the alpha channel.
    void ApplyMask(const BYTE* mask, size_t rowBytes);
};
