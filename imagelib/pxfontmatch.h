// Font matching for everything that draws text with FreeType (the text tool and the metafile
// player): fontconfig picks the face file for a family, weight and slant.
#pragma once

#include <string>

class PxFontMatch {
public:
    // The face file for a family, weight (100-900, 0 = normal) and slant; the GUI default
    // ("sans-serif") when the family is unknown to fontconfig, empty when there is no font at all.
    static std::string FindFile(const char* family, int weight, bool italic);
};
