// The samples of a decoded JPEG-2000, PGX, PNM or Sun raster file, one plane per component, as
// they come from the file: the codec turns them into a DIB in one place for all five formats.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

struct PxJasperPicture {
    struct Component {
        DWORD width = 0, height = 0;
        int precision = 8;     // bits per sample, 1-32
        bool sign = false;     // samples are two's complement around 0
        uint32_t maxval = 0;   // the largest sample a PNM declares; 0: 2^precision - 1
        const int32_t* data = nullptr;  // width x height samples, top row first
        std::vector<int32_t> own;       // the samples, when this object holds them

        // The span of the samples once signed ones are moved up to start at 0.
        uint64_t Range() const { return maxval ? maxval : (uint64_t{1} << precision) - 1; }
        int64_t Offset() const { return sign ? int64_t{1} << (precision - 1) : 0; }
    };
    std::vector<Component> comps;

    // A component of the given size whose samples this picture holds.
    Component& Add(DWORD width, DWORD height, int precision, uint32_t maxval = 0) {
        Component& c = comps.emplace_back();
        c.width = width;
        c.height = height;
        c.precision = precision;
        c.maxval = maxval;
        c.own.assign(static_cast<size_t>(width) * height, 0);
        c.data = c.own.data();
        return c;
    }
};
