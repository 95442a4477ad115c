// GIF writing: the file around the code streams (header, colour tables, extensions, image
// descriptors), single images, true-colour images as tiles of 256 colours, and animations. The
// codec option picks the code writer: LZW, run-length or uncompressed.
#include "imagelib/codecs/PxImageGIF.h"

#include <cstring>

void PxImageGIF::Putword(int w, PxFile* fp) {
    fp->PutC(static_cast<unsigned char>(w & 0xFF));
    fp->PutC(static_cast<unsigned char>((w >> 8) & 0xFF));
}

bool PxImageGIF::Encode(PxFile* fp) {
    if (EncodeSafeCheck(fp)) return false;
    if (head.biBitCount > 8) return EncodeRGB(fp);
    m_writeError = false;
    EncodeHeader(fp);
    EncodeExtension(fp);
    EncodeComment(fp);
    EncodeBody(fp);
    fp->PutC(';');
    if (m_writeError || fp->Error()) {
        SetLastError("Write Error in GIF file");
        return false;
    }
    return true;
}

bool PxImageGIF::Encode(PxFile* fp, PxImage** pImages, int pagecount, bool bLocalColorMap) {
    try {
        if (!fp) throw "invalid file pointer";
        if (!pImages || pagecount <= 0 || !pImages[0]) throw "multipage GIF, no images!";
        for (int i = 0; i < pagecount; i++) {
            // A frame's codes are its palette indices; deeper images have none.
            if (pImages[i] && pImages[i]->GetBpp() > 8) throw "multipage GIF, frames must have 8 bits or fewer";
        }
        PxImageGIF ghost;
        ghost.m_writeError = false;
        ghost.Ghost(pImages[0]);
        ghost.EncodeHeader(fp);
        if (m_loops != 1) {
            ghost.SetLoops(m_loops > 1 ? m_loops - 1 : 0);
            ghost.EncodeLoopExtension(fp);
        }
        ghost.SetDisposalMethod(GetDisposalMethod());
        ghost.EncodeExtension(fp);
        ghost.SetComment(m_comment);
        ghost.EncodeComment(fp);
        ghost.EncodeBody(fp);
        for (int i = 1; i < pagecount; i++) {
            if (!pImages[i]) throw "Bad image pointer";
            ghost.Ghost(pImages[i]);
            ghost.SetDisposalMethod(GetDisposalMethod());
            ghost.EncodeExtension(fp);
            ghost.EncodeBody(fp, bLocalColorMap);
        }
        fp->PutC(';');
        if (ghost.m_writeError || fp->Error()) throw "Write Error in GIF file";
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
    return true;
}

void PxImageGIF::EncodeHeader(PxFile* fp) {
    fp->Write("GIF89a", 1, 6);
    Putword(head.biWidth, fp);
    Putword(head.biHeight, fp);
    BYTE flags;
    RGBQUAD* pal = GetPalette();
    if (pal) {
        const int bits = head.biBitCount;
        flags = static_cast<BYTE>(0x80 | (((bits + 7) * 32) & 0xFF) | (bits - 1));
    } else {
        flags = 0x11;
    }
    fp->PutC(flags);
    fp->PutC(0);  // background index
    fp->PutC(0);  // aspect ratio
    if (pal) PutColourTable(fp);
}

void PxImageGIF::PutColourTable(PxFile* fp) {
    // The flags announce 2^bits entries; an image that uses fewer colours (a quantized JPEG)
    // gets black ones after its own, or readers would take pixel codes for table bytes.
    const RGBQUAD* pal = GetPalette();
    const DWORD entries = 1u << head.biBitCount;
    for (DWORD i = 0; i < entries; i++) {
        const bool used = pal && i < head.biClrUsed;
        fp->PutC(used ? pal[i].rgbRed : 0);
        fp->PutC(used ? pal[i].rgbGreen : 0);
        fp->PutC(used ? pal[i].rgbBlue : 0);
    }
}

void PxImageGIF::EncodeExtension(PxFile* fp) {
    fp->PutC('!');
    fp->PutC(0xF9);
    fp->PutC(4);
    BYTE flags = static_cast<BYTE>((m_dispmeth * 4) & 0x1C);
    if (info.nBkgndIndex >= 0) flags |= 1;
    fp->PutC(flags);
    Putword(static_cast<int>(info.dwFrameDelay & 0xFFFF), fp);
    fp->PutC(static_cast<unsigned char>(info.nBkgndIndex & 0xFF));
    fp->PutC(0);
}

void PxImageGIF::EncodeLoopExtension(PxFile* fp) {
    fp->PutC('!');
    fp->PutC(0xFF);
    fp->PutC(11);
    fp->Write("NETSCAPE2.0", 11, 1);
    fp->PutC(3);
    fp->PutC(1);
    Putword(m_loops, fp);
    fp->PutC(0);
}

void PxImageGIF::EncodeComment(PxFile* fp) {
    const size_t n = std::strlen(m_comment);
    if (n == 0) return;
    const size_t len = n > 255 ? 255 : n;
    fp->PutC('!');
    fp->PutC(0xFE);
    fp->PutC(static_cast<unsigned char>(len));
    fp->Write(m_comment, len, 1);
    fp->PutC(0);
}

void PxImageGIF::EncodeBody(PxFile* fp, bool bLocalColorMap) {
    const LONG w = head.biWidth, h = head.biHeight;
    m_pEncodeSrc = this;
    m_encCurx = 0;
    m_encCury = h - 1;
    m_encCountDown = static_cast<int64_t>(w) * h;
    m_encWidth = w;
    // An 8-bit picture with a palette is fed straight from its rows.
    m_encRow = head.biBitCount == 8 && head.biClrUsed != 0 && h > 0 ? GetBits(static_cast<DWORD>(h - 1)) : nullptr;

    fp->PutC(',');
    Putword(info.xOffset, fp);
    Putword(info.yOffset, fp);
    Putword(w, fp);
    Putword(h, fp);

    const int bits = head.biBitCount;
    RGBQUAD* pal = GetPalette();
    BYTE flags = 0;
    if (bLocalColorMap && pal) flags = static_cast<BYTE>(0x80 | (bits - 1));
    fp->PutC(flags);
    if (bLocalColorMap && pal) PutColourTable(fp);
    const int InitCodeSize = bits <= 1 ? 2 : bits;
    fp->PutC(static_cast<unsigned char>(InitCodeSize));
    switch (GetCodecOption(PXIMAGE_FORMAT_GIF)) {
    case 1: compressNONE(InitCodeSize + 1, fp); break;
    case 2: compressRLE(InitCodeSize + 1, fp); break;
    default: compressLZW(InitCodeSize + 1, fp); break;
    }
    fp->PutC(0);
}

bool PxImageGIF::EncodeRGB(PxFile* fp) {
    m_writeError = false;
    EncodeHeader(fp);
    EncodeComment(fp);

    const LONG w = head.biWidth, h = head.biHeight;
    const bool transparent = info.nBkgndIndex >= 0;
    const RGBQUAD tcolor = GetTransColor();
    PxImageGIF tile;
    for (LONG ytop = 0; ytop < h; ytop += 15) {
        const LONG th = (h - ytop) < 15 ? (h - ytop) : 15;
        for (LONG x = 0; x < w; x += 17) {
            const LONG tw = (w - x) < 17 ? (w - x) : 17;
            if (!tile.Create(static_cast<DWORD>(tw), static_cast<DWORD>(th), 8, PXIMAGE_FORMAT_GIF)) {
                SetLastError(tile.GetLastError());
                return false;
            }
            RGBQUAD pal[256] = {};
            if (transparent) pal[0] = RGBQUAD{tcolor.rgbBlue, tcolor.rgbGreen, tcolor.rgbRed, 0};
            for (LONG r = 0; r < th; r++) {
                for (LONG c = 0; c < tw; c++) {
                    RGBQUAD col = BlindGetPixelColor(x + c, h - 1 - (ytop + r));
                    col.rgbReserved = 0;
                    pal[r * 17 + c + 1] = col;
                }
            }
            tile.SetPalette(pal, 256);
            // Every colour is in the table, so the nearest entry is the first exact one; a
            // small hash finds it without a scan per pixel.
            int16_t firstIndex[1024];
            uint32_t keyOf[1024];
            std::memset(firstIndex, 0xFF, sizeof(firstIndex));
            auto insertOrFind = [&](uint32_t key, int index) -> int {
                uint32_t hsh = (key * 2654435761u) >> 22;
                while (firstIndex[hsh] >= 0) {
                    if (keyOf[hsh] == key) return firstIndex[hsh];
                    hsh = (hsh + 1) & 1023;
                }
                firstIndex[hsh] = static_cast<int16_t>(index);
                keyOf[hsh] = key;
                return index;
            };
            auto keyFor = [](const RGBQUAD& q) {
                return static_cast<uint32_t>(q.rgbRed) << 16 | static_cast<uint32_t>(q.rgbGreen) << 8 | q.rgbBlue;
            };
            insertOrFind(keyFor(pal[0]), 0);
            for (int i = 1; i < 256; i++) insertOrFind(keyFor(pal[i]), i);
            for (LONG r = 0; r < th; r++) {
                BYTE* row = tile.GetBits(static_cast<DWORD>(th - 1 - r));
                for (LONG c = 0; c < tw; c++) row[c] = static_cast<BYTE>(insertOrFind(keyFor(pal[r * 17 + c + 1]), 0));
            }
            tile.SetTransIndex(transparent ? 0 : -1);
            tile.SetOffset(x, ytop);
            tile.SetCodecOption(GetCodecOption(PXIMAGE_FORMAT_GIF), PXIMAGE_FORMAT_GIF);
            tile.m_dispmeth = m_dispmeth;
            tile.m_writeError = false;
            tile.EncodeExtension(fp);
            tile.EncodeBody(fp, true);
            if (tile.m_writeError) m_writeError = true;
        }
    }
    fp->PutC(';');
    if (m_writeError || fp->Error()) {
        SetLastError("Write Error in GIF file");
        return false;
    }
    return true;
}
