// Plays the records of a Windows metafile (the bytes after a placeable header) into a player.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "imagelib/codecs/metafile/pxmetaplayer.h"

class PxWmfReader {
public:
    static constexpr int64_t kMaxRecords = 2000000;

    // Window (the placeable box) and output size set the mapping. `cancelled` is asked between
    // records. False when play stopped at a cancel; a bad record just ends play.
    static bool Play(const uint8_t* data, size_t size, PxMetaPlayer& player, const RECT& box, LONG width, LONG height,
                     const std::function<bool()>& cancelled);
};
