// Checks every decoder's fuzz target makes: a refusal says why, and whatever is accepted can be
// written back and read again at the same size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/pxfile.h"

// Headers may claim any size; a valid but huge picture only measures the allocator. True when a
// dimensions-only decode finds a picture larger than maxPixels.
template <class Codec>
bool ClaimsMoreThan(std::vector<unsigned char>& bytes, uint64_t maxPixels, LONG frame = 0) {
    Codec probe;
    probe.SetEscape(-1);
    probe.SetFrame(frame);
    PxMemFile file(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return probe.Decode(&file) && uint64_t{probe.GetWidth()} * probe.GetHeight() > maxPixels;
}

// Decodes; false for a refusal, which must carry a reason.
template <class Codec>
bool DecodeOrExplain(Codec& codec, std::vector<unsigned char>& bytes) {
    PxMemFile in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (!codec.Decode(&in)) {
        if (codec.GetLastError()[0] == '\0') abort();
        return false;
    }
    if (!codec.IsValid()) abort();
    return true;
}

// Encodes into memory and reads it back with a fresh codec of the same kind.
template <class Codec>
void ReencodeAndReread(Codec& codec) {
    PxMemFile out;
    out.Open();
    if (!codec.Encode(&out)) abort();
    Codec again;
    out.Seek(0, SEEK_SET);
    if (!again.Decode(&out) || again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight())
        abort();
}
