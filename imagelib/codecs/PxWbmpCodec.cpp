// WBMP reader and writer. The format has no signature and its header says little, so the reader
// (and format detection, which runs it last) refuses any file whose rows the remaining bytes
// cannot fill.
#include "imagelib/codecs/PxWbmpCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// A multi-byte integer: seven bits a byte, most significant first, bit 7 set on all but the
// last. False past the end or beyond 28 bits (no real side is that long).
bool ReadMultiByte(const BYTE* p, size_t n, size_t& pos, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= n) return false;
        const BYTE b = p[pos++];
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

size_t PutMultiByte(BYTE* out, uint32_t v) {
    BYTE tmp[5];
    size_t n = 0;
    do {
        tmp[n++] = static_cast<BYTE>(v & 0x7F);
        v >>= 7;
    } while (v);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<BYTE>(tmp[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return n;
}

}  // namespace

const char* PxWbmpCodec::ReadHeader(const BYTE* hb, size_t count, int64_t length, uint32_t& width, uint32_t& height,
                                     int64_t& header) {
    // Nothing past the header's longest form: type, fixed header, two sides of four bytes each.
    count = std::min(count, kLongestHeader);
    if (count < 4) return "Not a WBMP";
    if (hb[0] != 0) return "Unsupported WBMP type";

    // Which reading of the sides the file's length supports: the format's multi-byte form
    // first, else the single bytes older writers used for sides up to 255.
    auto fits = [&](int64_t bytes, uint32_t w, uint32_t h) {
        return w != 0 && h != 0 && bytes + int64_t{h} * ((int64_t{w} + 7) / 8) <= length;
    };
    size_t pos = 2;
    const bool multi = ReadMultiByte(hb, count, pos, width) && ReadMultiByte(hb, count, pos, height);
    header = static_cast<int64_t>(pos);
    if (!multi || !fits(header, width, height)) {
        if (hb[2] == 0 || hb[3] == 0) return "Corrupted WBMP";
        // Neither reading has its rows in the file: a short or foreign file.
        if (!fits(4, hb[2], hb[3])) return "Corrupted WBMP";
        width = hb[2], height = hb[3], header = 4;
    }
    return nullptr;
}

bool PxWbmpCodec::IsPlausibleHeader(const BYTE* head, size_t count, int64_t length) {
    uint32_t width = 0, height = 0;
    int64_t header = 0;
    return ReadHeader(head, count, length, width, height, header) == nullptr;
}

bool PxWbmpCodec::Decode(PxFile* hFile) {
    if (!hFile) return false;
    try {
        const LONG start = hFile->Tell();
        BYTE hb[kLongestHeader] = {};
        const size_t got = hFile->Read(hb, 1, sizeof(hb));
        uint32_t width = 0, height = 0;
        int64_t header = 0;
        if (const char* problem = ReadHeader(hb, got, int64_t{hFile->Size()} - start, width, height, header))
            throw problem;

        if (!Create(width, height, 1, PXIMAGE_FORMAT_WBMP)) throw "WBMP Create failed";
        SetGrayPalette();
        if (!hFile->Seek(static_cast<LONG>(start + header), SEEK_SET)) throw "Corrupted WBMP";
        const size_t rowBytes = (size_t{width} + 7) / 8;
        for (uint32_t r = 0; r < height; ++r) {
            if (hFile->Read(GetBits(height - 1 - r), 1, rowBytes) != rowBytes) throw "Corrupted WBMP";
        }
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
}

bool PxWbmpCodec::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    const DWORD width = GetWidth(), height = GetHeight();
    if (width > 255 || height > 255 || GetBpp() != 1) {
        SetLastError("Can't save this image as WBMP");
        return false;
    }
    BYTE hb[12] = {0, 0};
    size_t n = 2;
    n += PutMultiByte(hb + n, width);
    n += PutMultiByte(hb + n, height);
    bool ok = hFile->Write(hb, 1, n) == n;
    // The index bits go out as they are: the palette is not consulted.
    const size_t rowBytes = (size_t{width} + 7) / 8;
    for (DWORD r = 0; ok && r < height; ++r) ok = hFile->Write(GetBits(height - 1 - r), 1, rowBytes) == rowBytes;
    if (!ok) {
        SetLastError("Error writing WBMP file");
        return false;
    }
    return true;
}
