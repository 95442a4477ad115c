// Feeds arbitrary bytes to the WBMP reader, and writes back and rereads whatever it accepts.
// The reader gives no dimensions-only answer; it bounds what it allocates by the input's length.
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxWbmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    PxWbmpCodec codec;
    if (!DecodeOrExplain(codec, bytes)) return 0;
    if (uint64_t{codec.GetWidth()} * codec.GetHeight() > (1u << 20)) return 0;
    // The writer takes sides up to 255; longer ones are only read.
    if (codec.GetWidth() > 255 || codec.GetHeight() > 255) return 0;
    ReencodeAndReread(codec);
    return 0;
}
