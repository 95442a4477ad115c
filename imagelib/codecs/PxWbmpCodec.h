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

    // WBMP has no signature. Format detection takes a stream only when its first bytes pass the
    // reader's own header checks, the file long enough for the rows the header declares.
    static bool IsPlausibleHeader(const BYTE* head, size_t count, int64_t length);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }

private:
    static constexpr size_t kLongestHeader = 10;
    // The sides and header length from the first count bytes of a stream of length bytes, or
    // why they are none the reader takes.
    static const char* ReadHeader(const BYTE* hb, size_t count, int64_t length, uint32_t& width, uint32_t& height,
                                  int64_t& header);
};
