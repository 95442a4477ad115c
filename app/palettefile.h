// Palette files of the palette dialog: RIFF palettes read and written, JASC text palettes read.
// No Qt here; files are hostile, so every read is bounded and nothing reaches the caller's
// palette unless the file holds what its header promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

class CPaletteFile {
public:
    static constexpr int kMaxColors = 256;
    // A RIFF palette holds at most 24 + 4 * 256 bytes worth reading; a JASC text of 256 entries
    // fits easily in this much.
    static constexpr size_t kMaxJascBytes = 64 * 1024;

    enum class Status {
        Loaded,           // entries read into the palette
        CannotOpen,       // the file does not open for reading (no message)
        UnknownContents,  // neither palette kind, or a header that does not hold what it says
        TooManyColors,    // the file's count is above 256
    };
    struct LoadResult {
        Status status = Status::UnknownContents;
        bool countMismatch = false;  // the file's count differs from the palette's
        int entries = 0;             // entries taken from the file
    };

    // Reads a palette file into `palette` (256 entries) whose first `count` entries are in use.
    // Only a Loaded result changes `palette`; entries the file does not reach keep their values.
    static LoadResult Load(const char* path, RGBQUAD* palette, int count);
    static LoadResult Parse(const uint8_t* data, size_t size, RGBQUAD* palette, int count);

    // The RIFF palette of the first `count` entries, byte for byte as written.
    static std::vector<uint8_t> EncodeRiff(const RGBQUAD* palette, int count);
    // Writes the RIFF palette through a temporary file in the same folder renamed over `path`,
    // so a failed save leaves the old file as it was. False with `errnoValue` set on failure.
    static bool SaveRiff(const char* path, const RGBQUAD* palette, int count, int* errnoValue);

private:
    static LoadResult ParseRiff(const uint8_t* data, size_t size, RGBQUAD* palette, int count);
    static LoadResult ParseJasc(const uint8_t* data, size_t size, RGBQUAD* palette, int count);
};
