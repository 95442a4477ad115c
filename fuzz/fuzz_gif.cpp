// Feeds arbitrary bytes to the GIF reader (a frame chosen by the last byte), and writes back
// with one of the three encoders and rereads whatever it accepts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxImageGIF.h"

namespace {
// Headers may claim any size; a valid but huge picture only measures the allocator.
constexpr uint64_t kMaxPixels = 1u << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);

    PxImageGIF probe;
    probe.SetEscape(-1);
    PxMemFile probeFile(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (probe.Decode(&probeFile) && uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    const uint8_t pick = size ? data[size - 1] : 0;
    PxImageGIF codec;
    codec.SetFrame(pick & 3);
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (!codec.IsValid()) abort();

    PxMemFile out;
    out.Open();
    codec.SetCodecOption((pick >> 2) % 3, PXIMAGE_FORMAT_GIF);
    if (!codec.Encode(&out)) abort();
    PxImageGIF again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
    return 0;
}
