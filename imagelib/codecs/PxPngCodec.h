// PNG files (format id 4) through libpng, over PxFile read, write and flush callbacks.
#pragma once

#include "imagelib/pximage.h"

class PxPngCodec : public PxImage {
public:
    PxPngCodec() : PxImage(PXIMAGE_FORMAT_PNG) {}

    bool Decode(PxFile* hFile);
    bool Decode(FILE* hFile) {
        PxIOFile f(hFile);
        return Decode(&f);
    }
    bool Encode(PxFile* hFile);
    bool Encode(FILE* hFile) {
        PxIOFile f(hFile);
        return Encode(&f);
    }

    // Format detection's test of a stream's first bytes: the eight-byte PNG signature.
    static bool HasSignature(const BYTE* head, size_t count);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }
};
