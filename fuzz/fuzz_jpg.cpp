// Feeds arbitrary bytes to the JPEG reader (EXIF sections included), and writes back and
// rereads whatever it accepts, which also runs the EXIF carry-over.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxImageJPG.h"

namespace {
// Headers may claim any size; a valid but huge picture only measures the allocator.
constexpr uint64_t kMaxPixels = 1u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);

    PxImageJPG probe;
    probe.SetEscape(-1);
    PxMemFile probeFile(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (probe.Decode(&probeFile) && uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    PxImageJPG codec;
    // The options pick other decoder paths: grey output, colour quantizing, scaling.
    const uint8_t pick = size ? data[size - 1] : 0;
    if (pick & 1) codec.SetCodecOption(0x080, PXIMAGE_FORMAT_JPG);
    if (pick & 2) {
        codec.SetCodecOption(codec.GetCodecOption(PXIMAGE_FORMAT_JPG) | 0x100, PXIMAGE_FORMAT_JPG);
        codec.SetJpegQuality(16);
    }
    codec.SetJpegScale(static_cast<BYTE>((pick >> 2) & 7));
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (!codec.IsValid()) abort();

    PxMemFile out;
    out.Open();
    if (codec.GetNumColors() != 0 && !codec.IsGrayScale()) return 0;  // JPEG takes grey or RGB only
    if (!codec.Encode(&out)) abort();
    PxImageJPG again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
    return 0;
}
