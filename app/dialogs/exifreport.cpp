#include "app/dialogs/exifreport.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void Append(std::string& s, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) s.append(buffer, static_cast<size_t>(std::min<int>(n, sizeof buffer - 1)));
}

// A text field of the record, which need not end in a terminator.
template <size_t N>
std::string Field(const char (&text)[N]) {
    return std::string(text, strnlen(text, N));
}

}  // namespace

const char* CExifReport::OrientationText(int orientation) {
    switch (orientation) {
    case 2: return "Mirrored horizontally";
    case 3: return "Rotated 180";
    case 4: return "Mirrored vertically";
    case 5: return "Mirrored horizontally, rotated 270 CW";
    case 6: return "Rotated 90 CW";
    case 7: return "Mirrored horizontally, rotated 90 CW";
    case 8: return "Rotated 270 CW";
    default: return "Undefined";
    }
}

const char* CExifReport::ProcessText(int marker) {
    switch (marker) {
    case 0xC0: return "Baseline\n";
    case 0xC1: return "Extended sequential\n";
    case 0xC2: return "Progressive\n";
    case 0xC3: return "Lossless\n";
    case 0xC5: return "Differential sequential\n";
    case 0xC6: return "Differential progressive\n";
    case 0xC7: return "Differential lossless\n";
    case 0xC9: return "Extended sequential, arithmetic coding\n";
    case 0xCA: return "Progressive, arithmetic coding\n";
    case 0xCB: return "Lossless, arithmetic coding\n";
    case 0xCD: return "Differential sequential, arithmetic coding\n";
    case 0xCE: return "Differential progressive, arithmetic coding\n";
    case 0xCF: return "Differential lossless, arithmetic coding\n";
    default: return "Unknown\n";
    }
}

int CExifReport::RoundToInt(double value) {
    // A record from a file may hold anything: a tiny exposure time gives a huge fraction.
    const double v = std::trunc(value + 0.5);
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

std::string CExifReport::Build(const PxImageJPG::tag_ExifInfo& e) {
    std::string s;
    const std::string make = Field(e.make);
    if (!make.empty()) {
        Append(s, "Camera make  : %s\n", make.c_str());
        Append(s, "Camera model : %s\n", Field(e.model).c_str());
    }
    const std::string date = Field(e.dateTime);
    if (!date.empty()) Append(s, "Date/Time    : %s\n", date.c_str());
    const std::string version = Field(e.version);
    if (!version.empty()) Append(s, "Exif version : %s\n", version.c_str());
    Append(s, "Width x Height   : %d x %d\n", e.width, e.height);
    if (e.resolutionUnit != 0 && e.xResolution != 0)
        Append(s, "X resolution (dpi) : %5.1f\n", static_cast<double>(e.xResolution / e.resolutionUnit));
    if (e.resolutionUnit != 0 && e.yResolution != 0)
        Append(s, "Y resolution (dpi) : %5.1f\n", static_cast<double>(e.yResolution / e.resolutionUnit));
    if (e.orientation > 1) Append(s, "Orientation  : %s\n", OrientationText(e.orientation));
    if (e.isColor == 0) s += "Color/bw     : Black and white\n";
    if (e.flashUsed >= 0) Append(s, "Flash used   : %s\n", e.flashUsed ? "Yes" : "No");
    if (e.focalLength != 0) {
        Append(s, "Focal length : %4.1fmm", static_cast<double>(e.focalLength));
        if (e.ccdWidth != 0)
            Append(s, "  (35mm equivalent: %dmm)",
                   RoundToInt(static_cast<double>(e.focalLength) / static_cast<double>(e.ccdWidth) * 36));
        s += "\n";
    }
    if (e.ccdWidth != 0) Append(s, "CCD width    : %4.2fmm\n", static_cast<double>(e.ccdWidth));
    if (e.exposureTime != 0) {
        Append(s, "Exposure time:%6.3f s ", static_cast<double>(e.exposureTime));
        if (e.exposureTime <= 0.5) Append(s, " (1/%d)", RoundToInt(1.0 / static_cast<double>(e.exposureTime)));
        s += "\n";
    }
    if (e.brightness != 0) Append(s, "Brightness : %6.3f\n", static_cast<double>(e.brightness));
    if (e.fNumber != 0) Append(s, "Aperture     : f/%3.1f\n", static_cast<double>(e.fNumber));
    if (e.subjectDistance != 0) {
        if (e.subjectDistance < 0)
            s += "Focus dist.  : Infinite\n";
        else
            Append(s, "Focus dist.  : %4.2fm\n", static_cast<double>(e.subjectDistance));
    }
    if (e.isoSpeed != 0) Append(s, "ISO equiv.   : %2d\n", e.isoSpeed);
    if (e.exposureBias != 0) Append(s, "Exposure bias:%4.2f\n", static_cast<double>(e.exposureBias));
    if (e.lightSource != 0) {
        switch (e.lightSource) {
        case 1: s += "Whitebalance : sunny\n"; break;
        case 2: s += "Whitebalance : fluorescent\n"; break;
        case 3: s += "Whitebalance : incandescent\n"; break;
        default: s += "Whitebalance : cloudy\n"; break;
        }
    }
    switch (e.meteringMode) {
    case 2: s += "Metering Mode: center weight\n"; break;
    case 3: s += "Metering Mode: spot\n"; break;
    case 5: s += "Metering Mode: matrix\n"; break;
    default: break;
    }
    switch (e.exposureProgram) {
    case 2: s += "Exposure     : program (auto)\n"; break;
    case 3: s += "Exposure     : aperture priority (semi-auto)\n"; break;
    case 4: s += "Exposure     : shutter priority (semi-auto)\n"; break;
    default: break;
    }
    switch (e.compressionLevel) {
    case 1: s += "Jpeg Quality : basic\n"; break;
    case 2: s += "Jpeg Quality : normal\n"; break;
    case 4: s += "Jpeg Quality : fine\n"; break;
    default: break;
    }
    s += "Encoding      : ";
    s += ProcessText(e.process);
    if (e.comment[0]) {
        s += "Comment      : ";
        const size_t n = strnlen(e.comment, sizeof e.comment);
        for (size_t i = 0; i < n; i++) {
            if (e.comment[i] != '\n')
                s += e.comment[i];
            else if (i + 1 < n)
                s += "\nComment      : ";
            else
                s += "\n";
        }
        s += "\n";
    }
    s += "\n";
    return s;
}
