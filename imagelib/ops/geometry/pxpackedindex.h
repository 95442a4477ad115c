// Unchecked access to one palette index inside a packed row (1, 4 or 8 bits per pixel), for the
// geometry loops that have already clipped their coordinates. At 4 bits the even x is in the high
// nibble; at 1 bit x AND 7 = 0 is the most significant bit.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

inline BYTE PackedGetIndex(const BYTE* row, int64_t x, WORD bpp) {
    switch (bpp) {
        case 1:
            return static_cast<BYTE>((row[x >> 3] >> (7 - (x & 7))) & 1);
        case 4:
            return static_cast<BYTE>((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
        default:
            return row[x];
    }
}

inline void PackedSetIndex(BYTE* row, int64_t x, WORD bpp, BYTE v) {
    switch (bpp) {
        case 1: {
            const BYTE mask = static_cast<BYTE>(0x80 >> (x & 7));
            if (v & 1)
                row[x >> 3] |= mask;
            else
                row[x >> 3] &= static_cast<BYTE>(~mask);
            break;
        }
        case 4:
            if (x & 1)
                row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0xF0) | (v & 0x0F));
            else
                row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
            break;
        default:
            row[x] = v;
            break;
    }
}
