// The shared body of the JPEG-2000 family's fuzz targets: inputs whose signature names another
// format are left to that format's target; whatever is accepted is written back in the same
// format when it can be, and read again at the same size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/codecs/PxJasperCodec.h"

inline int FuzzJasper(const uint8_t* data, size_t size, DWORD format, bool (*wanted)(DWORD detected)) {
    if (!wanted(PxJasperCodec::Detect(data, size))) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    PxJasperCodec codec(format);
    if (!codec.Decode(&in, format)) {
        if (codec.GetLastError()[0] == '\0') abort();  // every refusal says why
        return 0;
    }
    if (!codec.IsValid() || codec.GetType() != format) abort();
    // Only 8-bit grey and 24-bit images can be written.
    if (codec.GetBpp() != 24 && !codec.IsGrayScale()) return 0;
    if (format == PXIMAGE_FORMAT_PGX && codec.GetBpp() == 24) return 0;
    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out, format)) abort();
    PxJasperCodec again(format);
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out, format) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
    return 0;
}
