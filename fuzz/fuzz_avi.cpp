// Feeds arbitrary bytes to the start page's AVI reader: open, first frame, a second frame. A
// refusal must say why, and a decoded frame must be as large as the reader says.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "video/avifile.h"

namespace {
// One scratch file per process: the reader takes a path, as the list gives it.
const std::string& ScratchPath() {
    static std::string path = [] {
        char name[] = "/tmp/fuzz_avi_XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = fopen(ScratchPath().c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);

    CAviFile avi;
    if (!avi.OpenForRead(ScratchPath())) {
        if (avi.LastError().empty()) abort();
        return 0;
    }
    if (avi.Width() <= 0 || avi.Height() <= 0 ||
        static_cast<int64_t>(avi.Width()) * avi.Height() > CAviFile::kMaxReadPixels)
        abort();
    for (int n = 0; n < 2; n++) {
        if (!avi.ReadFrame(n)) break;
        const BYTE* bits = avi.FrameBits();
        if (!bits) abort();
        // Touch the last byte: the buffer holds the whole frame.
        volatile BYTE last = bits[static_cast<size_t>(avi.Width()) * avi.Height() * 3 - 1];
        (void)last;
    }
    return 0;
}
