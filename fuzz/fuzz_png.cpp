// Feeds arbitrary bytes to the PNG reader, and writes back and rereads whatever it accepts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxPngCodec.h"

namespace {
// Headers may claim any size; a valid but huge picture only measures the allocator.
constexpr uint64_t kMaxPixels = 1u << 20;

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader has no size-only mode; the IHDR sits at a fixed place.
    if (size >= 24 && uint64_t{be32(data + 16)} * be32(data + 20) > kMaxPixels) return 0;
    std::vector<unsigned char> bytes(data, data + size);

    PxPngCodec codec;
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (!codec.IsValid()) abort();

    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out)) abort();
    PxPngCodec again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
    return 0;
}
