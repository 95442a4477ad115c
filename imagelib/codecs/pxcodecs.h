// The codec table of format dispatch: one codec object per format id.
#pragma once

#include "imagelib/pximage.h"

// A new codec object for the format id (1-15), or nullptr when that codec is not built in.
// The caller deletes it.
PxImage* PxNewCodec(DWORD imagetype);

// The name of a format id for messages ("BMP", "JPEG", ...).
const char* PxFormatName(DWORD imagetype);

// How many decoders the last format detection on this thread ran: detection reads a file's first
// bytes once and should run only the decoders those bytes point to.
unsigned PxDetectionDecodersTried();
