// Feeds arbitrary bytes to the JPEG reader (EXIF sections included), and writes back and
// rereads whatever it accepts, which also runs the EXIF carry-over.
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxImageJPG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    if (ClaimsMoreThan<PxImageJPG>(bytes, 1u << 20)) return 0;

    PxImageJPG codec;
    // The options pick other decoder paths: grey output, colour quantizing, scaling.
    const uint8_t pick = size ? data[size - 1] : 0;
    if (pick & 1) codec.SetCodecOption(0x080, PXIMAGE_FORMAT_JPG);
    if (pick & 2) {
        codec.SetCodecOption(codec.GetCodecOption(PXIMAGE_FORMAT_JPG) | 0x100, PXIMAGE_FORMAT_JPG);
        codec.SetJpegQuality(16);
    }
    codec.SetJpegScale(static_cast<BYTE>((pick >> 2) & 7));
    if (!DecodeOrExplain(codec, bytes)) return 0;
    if (codec.GetNumColors() != 0 && !codec.IsGrayScale()) return 0;  // JPEG takes grey or RGB only
    ReencodeAndReread(codec);
    return 0;
}
