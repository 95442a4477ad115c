// Feeds arbitrary bytes to the icon reader (a frame chosen by the last byte), and writes back and
// rereads whatever it accepts. A bad header or a frame outside the directory is refused without a
// text; every other refusal says why.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzzcheck.h"
#include "imagelib/codecs/PxIcoCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    const uint8_t pick = size ? data[size - 1] : 0;
    PxIcoCodec codec;
    codec.SetFrame(pick & 3);
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] != '\0') return 0;
        // Quiet refusals: the first six bytes are no icon header, or the frame is not listed.
        const bool header = size < 6 || data[0] || data[1] || data[3] || (data[2] != 1 && data[2] != 2);
        const bool frame = !header && (pick & 3) >= (data[4] | (data[5] << 8));
        if (!header && !frame) abort();
        return 0;
    }
    if (!codec.IsValid()) abort();
    // The writer takes at most 255 x 255; larger (256-pixel or PNG) entries are only read.
    if (codec.GetWidth() > 255 || codec.GetHeight() > 255) return 0;
    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out)) abort();
    PxIcoCodec again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight()) abort();
    return 0;
}
