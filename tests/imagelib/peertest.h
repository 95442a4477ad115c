// How other programs see the files of the codec tests: ImageMagick's alpha plane and Pillow's
// rendering, beside tooltest.h's ImageMagick rendering.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

#include "tooltest.h"

inline bool HavePillow() { return Shell("/usr/bin/python3 -c 'import PIL'") == 0; }

// Pillow's RGB rendering of a file (through a PPM it writes), or an empty Ppm.
inline Ppm PillowRender(const std::string& file) {
    const std::string out = file + ".pil.ppm";
    if (Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2])\" '" +
              file + "' '" + out + "'") != 0)
        return Ppm{};
    return Render(out);
}

// ImageMagick's alpha plane of a file, top row first (empty when it cannot say).
inline Bytes RenderAlpha(const std::string& file, const std::string& options = "") {
    const std::string out = file + ".alpha.pgm";
    if (Shell("convert '" + file + "' " + options + " -alpha extract -depth 8 pgm:'" + out + "'") != 0) return {};
    Bytes b = ReadFile(out);
    b.push_back(0);
    int w = 0, h = 0, maxval = 0, consumed = 0;
    if (std::sscanf(reinterpret_cast<const char*>(b.data()), "P5 %d %d %d%n", &w, &h, &maxval, &consumed) != 3) return {};
    b.pop_back();
    return Bytes(b.begin() + consumed + 1, b.end());
}

// Largest difference between the image's alpha (255 without a channel) and a rendered plane
// (256 when the sizes differ).
inline int AlphaDifference(PxImage& img, const Bytes& alpha) {
    const LONG w = static_cast<LONG>(img.GetWidth()), h = static_cast<LONG>(img.GetHeight());
    if (alpha.size() != static_cast<size_t>(w) * h) return 256;
    int worst = 0;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            const int ours = img.AlphaIsValid() ? img.AlphaGet(x, h - 1 - y) : 255;
            worst = std::max(worst, std::abs(ours - alpha[static_cast<size_t>(y) * w + x]));
        }
    return worst;
}
