// Feeds arbitrary bytes to the PNG reader, and writes back and rereads whatever it accepts.
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxPngCodec.h"
#include "platform/le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader has no size-only mode; the IHDR sits at a fixed place.
    if (size >= 24 && uint64_t{le::get32be(data + 16)} * le::get32be(data + 20) > (1u << 20)) return 0;
    std::vector<unsigned char> bytes(data, data + size);

    PxPngCodec codec;
    if (!DecodeOrExplain(codec, bytes)) return 0;
    ReencodeAndReread(codec);
    return 0;
}
