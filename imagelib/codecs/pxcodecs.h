// The codec table of format dispatch: one codec object per format id.
#pragma once

#include <cstdint>
#include <span>

#include "imagelib/pximage.h"

// A new codec object for the format id (1-15), or nullptr when that codec is not built in.
// The caller deletes it.
PxImage* PxNewCodec(DWORD imagetype);

// The name of a format id for messages ("BMP", "JPEG", ...).
const char* PxFormatName(DWORD imagetype);

// Format detection reads this many bytes from the start of a stream once (fewer if the stream is
// shorter) and asks each codec whether they can begin its file; length is what the stream holds
// from its start on.
constexpr size_t kPxDetectionHeadBytes = 128;
struct PxFormatProbe {
    DWORD imagetype;  // 0: the JPEG-2000 family, which reports which of its formats it read
    bool (*accepts)(const BYTE* head, size_t count, int64_t length);
};

// The formats a signature announces, in the order detection runs their decoders.
std::span<const PxFormatProbe> PxSignatureProbes();
// The formats without a signature, each behind a check that its header makes sense, in the
// order detection runs them once no signature codec has read the file.
std::span<const PxFormatProbe> PxHeaderProbes();

// How many decoders the last format detection on this thread ran: detection reads a file's first
// bytes once and should run only the decoders those bytes point to.
unsigned PxDetectionDecodersTried();
