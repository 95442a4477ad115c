// The TIFF codec's fast strip reader: what the decoder asks of it.
#pragma once

#include <cstdint>

namespace pxtif {

// How the fourth sample of an 8-bit RGB pixel reaches the alpha channel: as libtiff's RGBA reader
// takes it, which premultiplies unassociated alpha and takes any other for premultiplied.
enum RgbAlpha { kRgbNoAlpha, kRgbStraight, kRgbPremultiply };

// Compressions whose strips decode alone, in any order and on any handle.
bool StripCodecKnown(uint16_t compression);

}  // namespace pxtif
