// Feeds PGX-like bytes to the PGX reader, and writes back and rereads what it accepts.
#include "jasperfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzJasper(data, size, PXIMAGE_FORMAT_PGX, [](DWORD d) { return d == PXIMAGE_FORMAT_PGX; });
}
