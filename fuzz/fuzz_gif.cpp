// Feeds arbitrary bytes to the GIF reader (a frame chosen by the last byte), and writes back
// with one of the three encoders and rereads whatever it accepts.
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxImageGIF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    if (ClaimsMoreThan<PxImageGIF>(bytes, 1u << 16)) return 0;

    const uint8_t pick = size ? data[size - 1] : 0;
    PxImageGIF codec;
    codec.SetFrame(pick & 3);
    if (!DecodeOrExplain(codec, bytes)) return 0;
    codec.SetCodecOption((pick >> 2) % 3, PXIMAGE_FORMAT_GIF);
    ReencodeAndReread(codec);
    return 0;
}
