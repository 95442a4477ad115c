// The text report of a JPEG file's EXIF record that the options dialog shows.
#pragma once

#include <string>

#include "imagelib/codecs/PxImageJPG.h"

class CExifReport {
public:
    // The report, line by line; depends on nothing but the record.
    static std::string Build(const PxImageJPG::tag_ExifInfo& info);
    // The text of an orientation value 2 to 8 ("Undefined" for any other).
    static const char* OrientationText(int orientation);
    // The JPEG process of a start-of-frame marker, with its line feed.
    static const char* ProcessText(int marker);
    // A float rounded as the report rounds it (trunc of value + 0.5), kept inside int.
    static int RoundToInt(double value);
};
