// The TIFF codec's streams: libtiff handles over a PxFile, and cursors that let several handles
// read one PxFile at once (each with its own position, every read a seek and a read under one
// lock).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <tiffio.h>

#include "imagelib/pxfile.h"

namespace pxtif {

// No single buffer of a hostile file may ask for more than this.
constexpr tmsize_t MAX_TIFF_ALLOC = static_cast<tmsize_t>(1) << 30;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocPtr = std::unique_ptr<BYTE, FreeDeleter>;

// A libtiff handle over the stream (mode as for TIFFOpen), silent and with bounded buffers.
TIFF* OpenOverFile(PxFile* hFile, const char* mode);
// The stream's size as libtiff asks for it.
toff_t StreamSize(PxFile* hFile);

// One reader's position in a stream that several libtiff handles read.
struct StreamCursor {
    struct Shared {
        PxFile* file;
        toff_t size;
        std::mutex lock;
    };
    Shared* stream;
    int64_t pos = 0;
};

// A read-only libtiff handle reading through the cursor.
TIFF* OpenOverCursor(StreamCursor* cursor);

}  // namespace pxtif
