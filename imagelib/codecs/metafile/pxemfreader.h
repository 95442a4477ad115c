// Plays the records of an enhanced metafile into a player: the header's frame, seen through its
// reference device, maps onto the output rectangle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "imagelib/codecs/metafile/pxmetaplayer.h"

class PxEmfReader {
public:
    static constexpr int64_t kMaxRecords = 2000000;

    // False when play stopped at a cancel; a bad record just ends play. `depth` counts embedded
    // metafiles: those inside an embedded one are not played.
    static bool Play(const uint8_t* data, size_t size, PxMetaPlayer& player, LONG width, LONG height,
                     const std::function<bool()>& cancelled, int depth = 0);
};
