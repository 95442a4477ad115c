// Plays arbitrary bytes as a metafile at a small forced size: the player must stay inside its
// buffers and budgets whatever the records say.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxWmfCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    PxWmfCodec codec;
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in, 48, 32)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (codec.GetWidth() != 48 || codec.GetHeight() != 32 || codec.GetBpp() != 24) abort();
    return 0;
}
