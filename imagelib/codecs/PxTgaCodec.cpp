// TGA reader and writer. The header says little that could tell a TGA from other data, so the
// reader checks the colour-map type and requires the file to be long enough for the rows it
// declares before it allocates them.
#include "imagelib/codecs/PxTgaCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/le.h"

namespace {

// A 15- or 16-bit value widened to blue, green, red (5 bits each, times 8).
void Widen16(const BYTE* p, BYTE* bgr) {
    const WORD v = le::get16(p);
    bgr[0] = static_cast<BYTE>((v & 0x1F) << 3);
    bgr[1] = static_cast<BYTE>((v >> 2) & 0xF8);
    bgr[2] = static_cast<BYTE>((v >> 7) & 0xF8);
}

int BytesPerPixel(BYTE depth) { return (depth + 7) / 8; }

// 16-bit grey files hold a grey byte and an alpha byte, not 5-5-5 colour.
bool GreyAlpha(const PxTgaCodec::TgaHeader& h) { return (h.ImageType == 3 || h.ImageType == 11) && h.PixelDepth == 16; }

}  // namespace

const char* PxTgaCodec::ReadHeader(const BYTE* hb, size_t count, int64_t length, TgaHeader& h) {
    if (count < 18) return "Not a TGA";
    h = TgaHeader{hb[0],           hb[1],           hb[2],           le::get16(hb + 3),  le::get16(hb + 5),
                  hb[7],           le::get16(hb + 8), le::get16(hb + 10), le::get16(hb + 12), le::get16(hb + 14),
                  hb[16],          hb[17]};
    bool compressed;
    switch (h.ImageType) {
        case 1:
        case 2:
        case 3: compressed = false; break;
        case 9:
        case 10:
        case 11: compressed = true; break;
        default: return "Unknown TGA image type";
    }
    if (h.ImageWidth == 0 || h.ImageHeight == 0 || h.PixelDepth == 0 || h.CmapLength > 256) return "bad TGA header";
    if (h.PixelDepth != 8 && h.PixelDepth != 15 && h.PixelDepth != 16 && h.PixelDepth != 24 && h.PixelDepth != 32)
        return "bad TGA header";
    // Only types 0 and 1 are defined; anything else is most likely not a TGA at all.
    if (h.CmapType > 1) return "bad TGA header";
    const int cmapEntryBytes = h.CmapType ? BytesPerPixel(h.CmapEntrySize) : 0;
    if (h.CmapType && h.CmapLength && (cmapEntryBytes < 1 || cmapEntryBytes > 4)) return "bad TGA header";

    // The least the file must hold for the rows it declares: raw pixels, or one full run of
    // 128 pixels per packet.
    const int64_t pixels = int64_t{h.ImageWidth} * h.ImageHeight;
    const int64_t bpp = BytesPerPixel(h.PixelDepth);
    const int64_t least = h.IdLength + int64_t{h.CmapLength} * cmapEntryBytes +
                          (compressed ? (pixels + 127) / 128 * (1 + bpp) : pixels * bpp);
    if (length - 18 < least) return "corrupted TGA";
    return nullptr;
}

bool PxTgaCodec::IsPlausibleHeader(const BYTE* head, size_t count, int64_t length) {
    TgaHeader h;
    return ReadHeader(head, count, length, h) == nullptr;
}

bool PxTgaCodec::Decode(PxFile* hFile) {
    if (!hFile) return false;
    try {
        const LONG start = hFile->Tell();
        BYTE hb[18];
        TgaHeader h;
        const size_t got = hFile->Read(hb, 1, sizeof(hb));
        if (const char* problem = ReadHeader(hb, got, int64_t{hFile->Size()} - start, h)) throw problem;
        const bool compressed = h.ImageType >= 9;
        const int cmapEntryBytes = h.CmapType ? BytesPerPixel(h.CmapEntrySize) : 0;

        if (h.IdLength && !hFile->Seek(h.IdLength, SEEK_CUR)) throw "corrupted TGA";
        if (!Create(h.ImageWidth, h.ImageHeight, h.PixelDepth, PXIMAGE_FORMAT_TGA)) throw "TGA Create failed";
        if (h.PixelDepth == 32 || GreyAlpha(h)) {
            AlphaCreate();
            if (!AlphaIsValid()) throw "TGA Create failed";
        }
        if (GetEscape()) throw "Cancelled";

        if (h.CmapType && h.CmapLength) {
            // Each entry at its own size: 15/16-bit entries widen as 16-bit pixels do.
            std::vector<BYTE> map(static_cast<size_t>(h.CmapLength) * cmapEntryBytes);
            if (hFile->Read(map.data(), 1, map.size()) != map.size()) throw "corrupted TGA";
            const DWORD n = std::min<DWORD>(h.CmapLength, GetNumColors());
            for (DWORD i = 0; i < n; ++i) {
                const BYTE* e = map.data() + size_t{i} * cmapEntryBytes;
                BYTE bgr[3];
                if (cmapEntryBytes == 1)
                    bgr[0] = bgr[1] = bgr[2] = e[0];
                else if (cmapEntryBytes == 2)
                    Widen16(e, bgr);
                else
                    std::memcpy(bgr, e, 3);
                SetPaletteColor(static_cast<BYTE>(i), bgr[2], bgr[1], bgr[0]);
            }
        }
        if (h.ImageType == 3 || h.ImageType == 11) SetGrayPalette();

        const bool topDown = (h.ImagDesc & 0x20) != 0;
        const int width = h.ImageWidth, height = h.ImageHeight;
        BYTE carried = 255;
        for (int r = 0; r < height; ++r) {
            if (GetEscape()) throw "Cancelled";
            if (hFile->Eof()) throw "corrupted TGA";
            BYTE* row = GetBits(static_cast<DWORD>(topDown ? height - 1 - r : r));
            if (compressed)
                carried = ExpandCompressedLine(row, &h, hFile, width, r, carried);
            else
                ExpandUncompressedLine(row, &h, hFile, width, r, 0);
        }

        if (h.ImagDesc & 0x10) Mirror();
        // Alpha went in by file row; pixels by image row.
        if (topDown && AlphaIsValid()) AlphaFlip();
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
}

void PxTgaCodec::ExpandUncompressedLine(BYTE* pDest, TgaHeader* ptgaHead, PxFile* hFile, int width, int y,
                                        int xoffset) {
    const int bpp = BytesPerPixel(ptgaHead->PixelDepth);
    BYTE raw[128 * 4];
    // In chunks, so that a row of any width needs no buffer of its own.
    for (int done = 0; done < width;) {
        const int n = std::min(width - done, 128);
        const size_t want = static_cast<size_t>(n) * bpp;
        if (hFile->Read(raw, 1, want) != want) throw "corrupted TGA";
        for (int i = 0; i < n; ++i) {
            const BYTE* p = raw + i * bpp;
            switch (ptgaHead->PixelDepth) {
                case 8: *pDest++ = p[0]; break;
                case 15:
                case 16:
                    if (GreyAlpha(*ptgaHead)) {
                        pDest[0] = pDest[1] = pDest[2] = p[0];
                        AlphaSet(xoffset + done + i, y, p[1]);
                    } else {
                        Widen16(p, pDest);
                    }
                    pDest += 3;
                    break;
                case 24:
                    std::memcpy(pDest, p, 3);
                    pDest += 3;
                    break;
                case 32:
                    std::memcpy(pDest, p, 3);
                    pDest += 3;
                    AlphaSet(xoffset + done + i, y, p[3]);
                    break;
                default: break;
            }
        }
        done += n;
    }
}

BYTE PxTgaCodec::ExpandCompressedLine(BYTE* pDest, TgaHeader* ptgaHead, PxFile* hFile, int width, int y,
                                      BYTE rleLeftover) {
    const int step = GetBpp() == 24 ? 3 : 1;
    const int bpp = BytesPerPixel(ptgaHead->PixelDepth);
    BYTE carried = 255;
    for (int x = 0; x < width;) {
        int packet;
        if (rleLeftover != 255) {
            packet = rleLeftover;
            rleLeftover = 255;
        } else {
            const LONG c = hFile->GetC();
            if (c < 0) throw "corrupted TGA";
            packet = c;
        }
        const int left = width - x;
        if (packet & 0x80) {
            int run = packet - 127;
            LONG mark = -1;
            if (run > left) {
                // The rest of the run belongs to the next row, which reads the value again.
                carried = static_cast<BYTE>(128 + (run - left - 1));
                mark = hFile->Tell();
                run = left;
            }
            BYTE value[4];
            if (hFile->Read(value, 1, bpp) != static_cast<size_t>(bpp)) throw "corrupted TGA";
            BYTE px[3] = {value[0], value[0], value[0]};
            const bool greyAlpha = GreyAlpha(*ptgaHead);
            if (bpp == 2 && !greyAlpha)
                Widen16(value, px);
            else if (bpp >= 3)
                std::memcpy(px, value, 3);
            for (int i = 0; i < run; ++i) {
                std::memcpy(pDest, px, step);
                pDest += step;
                if (bpp == 4) AlphaSet(x + i, y, value[3]);
                if (greyAlpha) AlphaSet(x + i, y, value[1]);
            }
            x += run;
            if (mark >= 0 && !hFile->Seek(mark, SEEK_SET)) throw "corrupted TGA";
        } else {
            int count = packet + 1;
            if (count > left) {
                carried = static_cast<BYTE>(count - left - 1);
                count = left;
            }
            ExpandUncompressedLine(pDest, ptgaHead, hFile, count, y, x);
            pDest += count * step;
            x += count;
        }
    }
    return carried;
}

bool PxTgaCodec::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    const WORD bits = GetBpp();
    if (bits < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    const DWORD width = GetWidth(), height = GetHeight();
    if (width > 0xFFFF || height > 0xFFFF) {
        SetLastError("Image too large for TGA");
        return false;
    }
    const bool alpha = bits != 8 && AlphaIsValid();
    BYTE hb[18] = {};
    hb[1] = GetPalette() ? 1 : 0;
    hb[2] = bits == 8 ? 1 : 2;
    le::put16(hb + 5, bits == 8 ? 256 : 0);
    hb[7] = bits == 8 ? 24 : 0;
    le::put16(hb + 12, static_cast<WORD>(width));
    le::put16(hb + 14, static_cast<WORD>(height));
    hb[16] = static_cast<BYTE>(alpha ? 32 : bits);
    bool ok = hFile->Write(hb, 1, sizeof(hb)) == sizeof(hb);

    if (ok && bits == 8) {
        // Always the full map, even when the palette is shorter.
        BYTE map[256 * 3] = {};
        const RGBQUAD* pal = GetPalette();
        for (DWORD i = 0; i < 256 && i < GetNumColors(); ++i) {
            map[3 * i] = pal[i].rgbBlue;
            map[3 * i + 1] = pal[i].rgbGreen;
            map[3 * i + 2] = pal[i].rgbRed;
        }
        ok = hFile->Write(map, 1, sizeof(map)) == sizeof(map);
    }

    const BYTE amax = AlphaGetMax();
    std::vector<BYTE> line(size_t{width} * 4);
    for (DWORD y = 0; ok && y < height; ++y) {
        const BYTE* src = GetBits(y);
        size_t n;
        if (alpha) {
            for (DWORD x = 0; x < width; ++x) {
                std::memcpy(&line[4 * size_t{x}], src + 3 * size_t{x}, 3);
                line[4 * size_t{x} + 3] = static_cast<BYTE>(AlphaGet(static_cast<LONG>(x), static_cast<LONG>(y)) * amax / 255);
            }
            n = size_t{width} * 4;
        } else {
            n = size_t{width} * bits / 8;
            std::memcpy(line.data(), src, n);
        }
        ok = hFile->Write(line.data(), 1, n) == n;
    }
    if (!ok) {
        SetLastError("Error writing TGA file");
        return false;
    }
    return true;
}
