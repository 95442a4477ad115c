// Feeds arbitrary bytes to the TIFF reader (a page chosen by the last byte, and maybe a tile's
// decode hint, which reads a reduced copy of the page), and writes back and rereads whatever it
// accepts.
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxImageTIF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    const uint8_t pick = size ? data[size - 1] : 0;
    if (ClaimsMoreThan<PxImageTIF>(bytes, 1u << 20, pick & 1)) return 0;

    PxImageTIF codec;
    codec.SetFrame(pick & 1);
    if (pick & 2) codec.SetDecodeHint(16u + (pick >> 2), 16u + (pick >> 2));
    if (!DecodeOrExplain(codec, bytes)) return 0;
    ReencodeAndReread(codec);
    return 0;
}
