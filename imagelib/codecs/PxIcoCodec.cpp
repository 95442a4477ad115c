// Icon reader and writer. Detection tries icons early, so the reader refuses a bad header or a
// frame outside the directory quietly (no text) and bounds every offset by the file.
#include "imagelib/codecs/PxIcoCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imagelib/codecs/PxBmpCodec.h"
#include "imagelib/codecs/PxPngCodec.h"
#include "platform/le.h"

namespace {

constexpr size_t kEntrySize = 16;
constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

bool PxIcoCodec::HasSignature(const BYTE* head, size_t count) {
    return count >= 6 && le::get16(head) == 0 && (le::get16(head + 2) == 1 || le::get16(head + 2) == 2);
}

bool PxIcoCodec::Decode(PxFile* hFile) {
    if (!hFile) return false;
    const LONG start = hFile->Tell();
    const int64_t fileEnd = hFile->Size();
    BYTE hb[6];
    if (hFile->Read(hb, 1, sizeof(hb)) != sizeof(hb)) return false;
    const WORD reserved = le::get16(hb), type = le::get16(hb + 2), count = le::get16(hb + 4);
    if (reserved != 0 || (type != 1 && type != 2)) return false;
    info.nNumFrames = count;
    if (info.nFrame < 0 || info.nFrame >= count) return false;

    std::vector<BYTE> dir(kEntrySize * count);
    if (hFile->Read(dir.data(), 1, dir.size()) != dir.size()) {
        SetLastError("Error reading ICO directory");
        return false;
    }
    const BYTE* entry = dir.data() + kEntrySize * static_cast<size_t>(info.nFrame);
    // A side byte of 0 stands for 256.
    const DWORD width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
    const DWORD bytes = le::get32(entry + 8), offset = le::get32(entry + 12);
    if (int64_t{start} + offset + 8 > fileEnd || !hFile->Seek(static_cast<LONG>(start + int64_t{offset}), SEEK_SET)) {
        SetLastError("Error reading ICO info");
        return false;
    }

    BYTE sig[8];
    if (hFile->Read(sig, 1, sizeof(sig)) != sizeof(sig)) {
        SetLastError("Error reading ICO info");
        return false;
    }
    hFile->Seek(-static_cast<LONG>(sizeof(sig)), SEEK_CUR);
    if (std::memcmp(sig, kPngSignature, sizeof(sig)) == 0) return DecodePngEntry(hFile, bytes);

    PxBmpCodec bmp;
    BITMAPINFOHEADER bih;
    if (!bmp.ReadBitmapInfo(hFile, &bih) || bih.biSize != 40) {
        SetLastError("Error reading ICO info");
        return false;
    }
    const WORD bits = bih.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        SetLastError("ICO bit depth not supported");
        return false;
    }
    if (!Create(width, height, bits, PXIMAGE_FORMAT_ICO)) return false;  // with Create's text

    if (GetNumColors()) {
        // The file's own table length (0 was widened to the full count); more than the image
        // holds is skipped.
        const DWORD inFile = std::min<DWORD>(bih.biClrUsed, 256);
        const DWORD keep = std::min(inFile, GetNumColors());
        std::vector<BYTE> pal(size_t{inFile} * 4);
        hFile->Read(pal.data(), 1, pal.size());
        std::memcpy(GetPalette(), pal.data(), size_t{keep} * 4);
    }

    if (bits == 32) {
        AlphaCreate();
        if (!AlphaIsValid()) {
            SetLastError("Can't allocate memory");
            return false;
        }
        std::vector<BYTE> raw(size_t{width} * height * 4);
        hFile->Read(raw.data(), 1, raw.size());
        for (DWORD y = 0; y < height; ++y) {
            BYTE* dst = GetBits(y);
            const BYTE* src = raw.data() + size_t{y} * width * 4;
            for (DWORD x = 0; x < width; ++x) {
                std::memcpy(dst + 3 * size_t{x}, src + 4 * size_t{x}, 3);
                AlphaSet(static_cast<LONG>(x), static_cast<LONG>(y), src[4 * size_t{x} + 3]);
            }
        }
    } else {
        hFile->Read(GetBits(), 1, size_t{GetEffWidth()} * height);
    }

    const size_t maskRow = ((size_t{width} + 31) / 32) * 4;
    std::vector<BYTE> mask(maskRow * height);
    if (hFile->Read(mask.data(), 1, mask.size()) != mask.size()) return true;
    ApplyMask(mask.data(), maskRow);
    return true;
}

bool PxIcoCodec::DecodePngEntry(PxFile* hFile, DWORD size) {
    // The entry's bytes, as far as the file holds them, decoded on their own.
    const int64_t left = int64_t{hFile->Size()} - hFile->Tell();
    std::vector<BYTE> data(static_cast<size_t>(std::clamp<int64_t>(size, 0, left)));
    data.resize(hFile->Read(data.data(), 1, data.size()));
    PxMemFile in(data.data(), static_cast<unsigned long>(data.size()));
    PxPngCodec png;
    png.SetEscape(GetEscape());
    if (!png.Decode(&in)) {
        SetLastError(png.GetLastError()[0] ? png.GetLastError() : "Error reading ICO PNG entry");
        return false;
    }
    const PxImageInfo mine = info;
    if (!Transfer(png)) {
        SetLastError("Error reading ICO PNG entry");
        return false;
    }
    // The picture is the PNG's; the frame, settings and format are the icon's.
    info.dwType = PXIMAGE_FORMAT_ICO;
    info.nFrame = mine.nFrame;
    info.nNumFrames = mine.nNumFrames;
    info.nEscape = mine.nEscape;
    std::memcpy(info.dwCodecOpt, mine.dwCodecOpt, sizeof(info.dwCodecOpt));
    return true;
}

void PxIcoCodec::ApplyMask(const BYTE* mask, size_t rowBytes) {
    const LONG width = static_cast<LONG>(GetWidth()), height = static_cast<LONG>(GetHeight());
    const size_t maskBytes = rowBytes * static_cast<size_t>(height);
    if (std::all_of(mask, mask + maskBytes, [](BYTE b) { return b == 0xFF; })) {
        SetTransIndex(0);
        Negative();
        return;
    }
    auto masked = [&](LONG x, LONG y) { return (mask[static_cast<size_t>(y) * rowBytes + (x >> 3)] >> (7 - (x & 7))) & 1; };

    const bool hadAlpha = AlphaIsValid();
    AlphaCreate();
    if (!AlphaIsValid()) return;
    bool any = false;
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x)
            if (masked(x, y)) {
                AlphaSet(x, y, 0);
                any = true;
            }
    if (!hadAlpha && !any) {
        AlphaDelete();
        return;
    }

    const WORD bits = GetBpp();
    if (bits == 24 && !hadAlpha) {
        // One colour under the whole mask becomes the transparent colour.
        bool first = true, same = true;
        RGBQUAD colour = {};
        for (LONG y = 0; y < height && same; ++y)
            for (LONG x = 0; x < width && same; ++x) {
                if (!masked(x, y)) continue;
                const RGBQUAD c = GetPixelColor(x, y, false);
                if (first) {
                    colour = c, first = false;
                } else if (c.rgbRed != colour.rgbRed || c.rgbGreen != colour.rgbGreen || c.rgbBlue != colour.rgbBlue) {
                    same = false;
                }
            }
        if (same && !first) {
            SetTransColor(colour);
            SetTransIndex(0);
            AlphaDelete();
        }
    } else if (bits <= 8) {
        bool used[256] = {};
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x) used[GetPixelIndex(x, y)] = true;
        const DWORD colours = std::min<DWORD>(GetNumColors(), 256);
        DWORD free = 0;
        while (free < colours && used[free]) ++free;
        if (free == colours) return;  // every index in use: the mask stays as alpha
        bool set = false;
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x)
                if (masked(x, y)) {
                    SetPixelIndex(x, y, static_cast<BYTE>(free));
                    set = true;
                }
        if (set) SetTransIndex(static_cast<LONG>(free));
        AlphaDelete();
    }
}

bool PxIcoCodec::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    const DWORD width = GetWidth(), height = GetHeight();
    if (width > 255 || height > 255) {
        SetLastError("Can't save this image as icon");
        return false;
    }
    if (GetBpp() <= 8 && !GetPalette()) return false;

    const size_t maskRow = ((size_t{width} + 31) / 32) * 4;
    const size_t maskSize = maskRow * height;
    const bool with32 = GetBpp() == 24 && AlphaIsValid();
    const WORD bits = with32 ? 32 : GetBpp();
    const size_t pixelSize = with32 ? size_t{width} * height * 4 : size_t{GetEffWidth()} * height;
    // Always the full table: readers take a header count of 0 as 2^bits entries.
    const DWORD colours = GetBpp() <= 8 ? 1u << GetBpp() : 0;

    BYTE hb[6 + kEntrySize + 40] = {};
    le::put16(hb + 2, 1);
    le::put16(hb + 4, 1);
    BYTE* e = hb + 6;
    e[0] = static_cast<BYTE>(width);
    e[1] = static_cast<BYTE>(height);
    e[2] = static_cast<BYTE>(colours);
    le::put16(e + 4, 1);
    le::put16(e + 6, bits);
    le::put32(e + 8, static_cast<DWORD>(pixelSize + size_t{colours} * 4 + maskSize + 40));
    le::put32(e + 12, 6 + kEntrySize);
    BYTE* b = e + kEntrySize;
    le::put32(b, 40);
    le::put32(b + 4, width);
    le::put32(b + 8, height * 2);
    le::put16(b + 12, 1);
    le::put16(b + 14, bits);
    le::put32(b + 20, static_cast<DWORD>(pixelSize));
    bool ok = hFile->Write(hb, 1, sizeof(hb)) == sizeof(hb);
    if (ok && colours) {
        std::vector<RGBQUAD> table(colours, RGBQUAD{});
        std::memcpy(table.data(), GetPalette(), sizeof(RGBQUAD) * std::min(colours, GetNumColors()));
        ok = hFile->Write(table.data(), sizeof(RGBQUAD), colours) == colours;
    }

    if (ok && with32) {
        std::vector<BYTE> row(size_t{width} * 4);
        for (DWORD y = 0; ok && y < height; ++y) {
            const BYTE* src = GetBits(y);
            for (DWORD x = 0; x < width; ++x) {
                std::memcpy(&row[4 * size_t{x}], src + 3 * size_t{x}, 3);
                row[4 * size_t{x} + 3] = AlphaGet(static_cast<LONG>(x), static_cast<LONG>(y));
            }
            ok = hFile->Write(row.data(), 1, row.size()) == row.size();
        }
    } else if (ok) {
        ok = hFile->Write(GetBits(), 1, pixelSize) == pixelSize;
    }
    if (!ok) {
        SetLastError("Error writing ICO file");
        return false;
    }

    std::vector<BYTE> mask;
    try {
        mask.assign(maskSize, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool alphaPalette = GetBpp() <= 8 && AlphaPaletteIsEnabled() && AlphaPaletteIsValid();
    const LONG trans = GetTransIndex();
    const RGBQUAD transColour = GetTransColor();
    for (DWORD y = 0; y < height; ++y)
        for (DWORD x = 0; x < width; ++x) {
            const LONG px = static_cast<LONG>(x), py = static_cast<LONG>(y);
            bool set = AlphaIsValid() && AlphaGet(px, py) == 0;
            if (!set && GetBpp() <= 8) {
                const BYTE idx = GetPixelIndex(px, py);
                set = (alphaPalette && GetPaletteColor(idx).rgbReserved == 0) || (trans >= 0 && idx == trans);
            } else if (!set && trans >= 0) {
                const RGBQUAD c = GetPixelColor(px, py, false);
                set = c.rgbRed == transColour.rgbRed && c.rgbGreen == transColour.rgbGreen &&
                      c.rgbBlue == transColour.rgbBlue;
            }
            if (set) mask[y * maskRow + (x >> 3)] = static_cast<BYTE>(mask[y * maskRow + (x >> 3)] | (0x80 >> (x & 7)));
        }
    if (hFile->Write(mask.data(), 1, maskSize) != maskSize) {
        SetLastError("Error writing ICO file");
        return false;
    }
    return true;
}
