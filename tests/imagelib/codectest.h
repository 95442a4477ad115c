// The codec tests' round trip through memory: an image encoded to bytes, bytes decoded to an image.
#pragma once

#include <vector>

#include "imagelib/pxfile.h"
#include "imagelib/pximage.h"

using Bytes = std::vector<BYTE>;

// The image in the format, or no bytes when the encoder refuses it.
inline Bytes EncodeToBytes(PxImage& img, DWORD format) {
    BYTE* buffer = nullptr;
    LONG size = 0;
    if (!img.Encode(buffer, size, format)) return {};
    Bytes out(buffer, buffer + size);
    PxImage::FreeMemory(buffer);
    return out;
}

// Decodes the bytes as the format (PXIMAGE_FORMAT_UNKNOWN: as whatever format they are in), into
// the frame the image asks for.
inline bool DecodeBytes(PxImage& img, const Bytes& bytes, DWORD format) {
    PxMemFile f(const_cast<BYTE*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    return img.Decode(&f, format);
}

// The same for one frame of a file that holds several.
inline bool DecodeBytes(PxImage& img, const Bytes& bytes, DWORD format, LONG frame) {
    img.SetFrame(frame);
    return DecodeBytes(img, bytes, format);
}
