// Feeds JP2 files and JPC code streams to the OpenJPEG path, and writes back and rereads what
// it accepts.
#include <cstdint>

#include "jasperfuzz.h"

namespace {

// A code stream may describe a huge picture in a few bytes, and a valid huge picture only
// measures the allocator: inputs any of whose SIZ markers claims more are skipped.
constexpr uint64_t kMaxSamples = uint64_t{1} << 18;

uint32_t Get32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }

bool ClaimsTooMuch(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 40 <= size; ++i) {
        if (data[i] != 0xFF || data[i + 1] != 0x51) continue;
        const uint8_t* s = data + i + 2;  // Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, tiles..., Csiz
        const uint64_t x = Get32(s + 4), y = Get32(s + 8), x0 = Get32(s + 12), y0 = Get32(s + 16);
        const uint64_t comps = (uint64_t{s[36]} << 8) | s[37];
        const uint64_t w = x > x0 ? x - x0 : 0, h = y > y0 ? y - y0 : 0;
        if (w * h > kMaxSamples || w * h * comps > kMaxSamples) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DWORD detected = PxJasperCodec::Detect(data, size);
    if ((detected != PXIMAGE_FORMAT_JP2 && detected != PXIMAGE_FORMAT_JPC) || ClaimsTooMuch(data, size)) return 0;
    return FuzzJasper(data, size, detected, [](DWORD) { return true; });
}
