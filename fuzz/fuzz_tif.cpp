// Feeds arbitrary bytes to the TIFF reader (a page chosen by the last byte), and writes back
// and rereads whatever it accepts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxImageTIF.h"

namespace {
// Headers may claim any size; a valid but huge picture only measures the allocator.
constexpr uint64_t kMaxPixels = 1u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    const uint8_t pick = size ? data[size - 1] : 0;

    PxImageTIF probe;
    probe.SetEscape(-1);
    probe.SetFrame(pick & 1);
    PxMemFile probeFile(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (probe.Decode(&probeFile) && uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    PxImageTIF codec;
    codec.SetFrame(pick & 1);
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (!codec.IsValid()) abort();

    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out)) abort();
    PxImageTIF again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
    return 0;
}
