// Pillow's reading of a file, for the codec tests that check other programs read our files.
#pragma once

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
