// Feeds arbitrary bytes to the BMP reader, and writes back and rereads whatever it accepts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxBmpCodec.h"

namespace {
// Headers may claim any size; a valid but huge picture only measures the allocator.
constexpr uint64_t kMaxPixels = 1u << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);

    PxBmpCodec probe;
    probe.SetEscape(-1);
    PxMemFile probeFile(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (probe.Decode(&probeFile) && uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    PxBmpCodec codec;
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }

    // Whatever depth and odd size the reader produced also goes through the exact geometry.
    PxImage turned;
    const LONG w = static_cast<LONG>(codec.GetWidth()), h = static_cast<LONG>(codec.GetHeight());
    if (!codec.RotateLeft(&turned) || !turned.RotateRight() || !codec.Rotate180(&turned) ||
        !codec.Crop(w / 3, h / 4, w - w / 5, h, &turned) || !codec.Expand(1, 2, 3, 4, RGBQUAD{9, 8, 7, 0}, &turned) ||
        !codec.Mirror() || !codec.Flip())
        abort();

    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out)) abort();
    PxBmpCodec again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight() ||
        again.GetBpp() != codec.GetBpp())
        abort();
    return 0;
}
