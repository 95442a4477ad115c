// GIF reading: the screen descriptor, extensions and image descriptors, frame after frame, each
// frame composed onto the logical screen as its disposal asks. The LZW code stream of a frame is
// expanded in PxImageGIFLzwDecoder.cpp.
#include "imagelib/codecs/PxImageGIF.h"

#include <cstring>

namespace {

inline int le16(const BYTE* p) { return p[0] | (p[1] << 8); }
inline int BitsForTable(int count) { return count <= 2 ? 1 : (count <= 16 ? 4 : 8); }

// Skips a chain of data sub-blocks up to and including its zero-length terminator.
void SkipSubBlocks(PxFile* fp) {
    for (;;) {
        LONG count = fp->GetC();
        if (count <= 0) return;
        if (!fp->Seek(count, SEEK_CUR)) return;
    }
}

}  // namespace

bool PxImageGIF::Decode(PxFile* fp) {
    if (!fp) return false;
    // What an earlier file (or the caller's image, through the copied settings) left behind
    // must not pass for this file's transparency, delay, disposal, loops or comment.
    info.nBkgndIndex = -1;
    info.bAlphaPaletteEnabled = false;
    info.dwFrameDelay = 0;
    m_gceFlags = 0;
    m_gceDelay = 0;
    m_gceTransIndex = 0;
    m_frameTrans = -1;
    m_dispmeth = 0;
    m_loops = 0;
    m_comment[0] = 0;
    BYTE dscgif[13];
    if (fp->Read(dscgif, 1, 13) != 13 || std::memcmp(dscgif, "GIF8", 4) != 0) {
        SetLastError("Not a GIF file");
        return false;
    }
    const int scrwidth = le16(dscgif + 6);
    const int scrheight = le16(dscgif + 8);
    const int pflds = dscgif[10];

    if (info.nEscape == -1) {
        head.biWidth = scrwidth;
        head.biHeight = scrheight;
        return true;
    }

    rgb_color pal[256] = {};
    int palcount = 0;
    int bTrueColor = 0;
    if (pflds & 0x80) {
        palcount = 1 << ((pflds & 7) + 1);
        if (fp->Read(pal, 3, static_cast<size_t>(palcount)) != static_cast<size_t>(palcount)) {
            SetLastError("GIF file is truncated");
            return false;
        }
    } else {
        bTrueColor++;
    }

    int maxbits = 1;
    // Frames without a table of their own use the global one, whatever an earlier frame brought.
    rgb_color globalPal[256];
    std::memcpy(globalPal, pal, sizeof(globalPal));
    const int globalCount = palcount;

    info.nNumFrames = get_num_frames(fp, scrwidth, scrheight, palcount, &maxbits);
    if (info.nFrame < 0 || info.nFrame >= info.nNumFrames) {
        SetLastError("Error: frame not present in GIF file");
        return false;
    }
    if (info.nNumFrames == 1) bTrueColor = 0;

    int iImage = 0;
    RGBQUAD screenPal[256] = {};
    int screenCount = 0;
    bool composeRGB = false;  // an animation of more than 256 colours
    LONG first_transparent = -1;
    int prevDispose = 0;
    RECT prevRect = {0, 0, 0, 0};
    bool canIntroduce = true;
    bool composed = false;
    PxImage truecolor;

    for (;;) {
        if (info.nEscape > 0) return false;
        const LONG ch = NextBlock(fp, canIntroduce);
        if (ch < 0) break;

        BYTE d[9];
        if (fp->Read(d, 1, 9) != 9) break;
        const int left = le16(d), top = le16(d + 2), width = le16(d + 4), height = le16(d + 6);
        const int flags = d[8];
        int localcount = 0;
        if (flags & 0x80) localcount = 1 << ((flags & 7) + 1);

        if (left + width > scrwidth || top + height > scrheight || width == 0 || height == 0) {
            // A frame outside the screen is passed over (get_num_frames did not count it).
            if (localcount) fp->Seek(localcount * 3, SEEK_CUR);
            fp->GetC();
            SkipSubBlocks(fp);
            continue;
        }
        if (iImage == 0 && width != scrwidth && height != scrheight) bTrueColor++;
        if (localcount) {
            palcount = localcount;
            if (fp->Read(pal, 3, static_cast<size_t>(palcount)) != static_cast<size_t>(palcount)) break;
        } else {
            std::memcpy(pal, globalPal, sizeof(pal));
            palcount = globalCount;
        }
        const int bpp = BitsForTable(palcount);

        if (!composed) {
            // The screen: true colour, or indexed. Frames after the first bring their own
            // tables, whose colours are merged into the screen's, so an animation is composed
            // at 8 bits; a single image keeps its own depth.
            (void)maxbits;
            const int screenBits = bTrueColor >= 2 ? 24 : (info.nNumFrames > 1 ? 8 : bpp);
            if (!Create(static_cast<DWORD>(scrwidth), static_cast<DWORD>(scrheight), static_cast<DWORD>(screenBits),
                        PXIMAGE_FORMAT_GIF))
                return false;
            if (bTrueColor < 2 && m_gceTransIndex) Clear(m_gceTransIndex);  // a new image is zeroed
            first_transparent = info.nBkgndIndex;
            composed = true;
        } else if (prevDispose == 2 && bTrueColor < 2) {
            // "Restore to background" gives back the area of the previous frame only; the rest
            // of the screen stays as composed.
            // Only rows the previous frame's data reached are given back, so a frame whose header
            // claims the whole of a huge screen costs what its data holds, as when it was drawn.
            const BYTE fill = static_cast<BYTE>(first_transparent >= 0 ? first_transparent : dscgif[11]);
            for (int y = prevRect.top; y < prevRect.bottom; y++) {
                const size_t prevRow = static_cast<size_t>(y - prevRect.top);
                if (prevRow < m_rowWritten.size() && !m_rowWritten[prevRow]) continue;
                if (!composeRGB && head.biBitCount == 8) {
                    BYTE* row = GetBits(static_cast<DWORD>(scrheight - 1 - y));
                    if (row) std::memset(row + prevRect.left, fill, static_cast<size_t>(prevRect.right - prevRect.left));
                    continue;
                }
                for (int x = prevRect.left; x < prevRect.right; x++) {
                    if (composeRGB) SetPixelColor(x, scrheight - 1 - y, screenPal[fill]);
                    else SetPixelIndex(x, scrheight - 1 - y, fill);
                }
            }
        }

        PxImage frame;
        if (!frame.Create(static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<DWORD>(bpp),
                          PXIMAGE_FORMAT_GIF)) {
            SetLastError(frame.GetLastError());
            return false;
        }
        // This frame's own transparency, from the control extension just before it.
        const LONG frameTrans = m_frameTrans;
        m_frameTrans = -1;
        if (palcount) {
            if (frameTrans >= 0) {
                RGBQUAD full[256];
                for (int i = 0; i < 256; i++) full[i] = RGBQUAD{255, 255, 255, 0};
                for (int i = 0; i < palcount; i++) full[i] = RGBQUAD{pal[i].b, pal[i].g, pal[i].r, 0};
                frame.SetPalette(full, 256);
            } else {
                frame.SetPalette(pal, static_cast<DWORD>(palcount));
            }
        }
        frame.SetTransIndex(frameTrans);

        // Decode the frame's rows, top to bottom.
        m_interlaced = (flags & 0x40) ? 1 : 0;
        m_iypos = 0;
        m_istep = 8;
        m_ipass = 0;
        m_iheight = height;
        m_cury = height - 1;
        m_ibf = GIFBUFTAM + 1;
        m_rowWritten.assign(static_cast<size_t>(height), 0);
        const LONG dataStart = fp->Tell();
        int badcode = 0;
        const int decoded = decoder(fp, &frame, width, badcode);
        // A frame whose data has a bad code size stays blank, and the file still reads; the
        // caller can learn why. Without memory for a line the frame cannot be decoded at all.
        if (decoded == OUT_OF_MEMORY) {
            SetLastError("GIF: out of memory");
            return false;
        }
        if (decoded == BAD_CODE_SIZE) SetLastError("GIF: bad code size");
        // Reading resumes after the frame's data, whatever the decoder consumed.
        fp->Seek(dataStart, SEEK_SET);
        fp->GetC();
        SkipSubBlocks(fp);

        if (info.nEscape) return false;

        if (bTrueColor < 2) {
            const RGBQUAD* fpal = frame.GetPalette();
            const int fcount = static_cast<int>(frame.GetNumColors());
            if (iImage == 0 || screenCount == 0) {
                // The first frame's table becomes the screen's as it stands.
                for (int i = 0; i < fcount; i++) screenPal[i] = fpal[i], m_mixMap[i] = static_cast<BYTE>(i);
                screenCount = fcount;
            } else if (!composeRGB) {
                bool full = false;
                for (int i = 0; i < fcount && !full; i++)
                    full = !MergeColour(screenPal, screenCount, fpal[i], &m_mixMap[i], first_transparent);
                if (full) {
                    // More than 256 colours in all: the screen goes on in true colour.
                    PxImage indexed(*this);
                    if (!Create(static_cast<DWORD>(scrwidth), static_cast<DWORD>(scrheight), 24, PXIMAGE_FORMAT_GIF))
                        return false;
                    for (LONG y = 0; y < scrheight; y++)
                        for (LONG x = 0; x < scrwidth; x++) {
                            RGBQUAD c = indexed.GetPixelColor(x, y, false);
                            c.rgbReserved = 0;
                            SetPixelColor(x, y, c);
                        }
                    composeRGB = true;
                }
            }
            if (composeRGB) {
                PaintFrame(frame, left, top, true);
            } else {
                GifMix(frame, left, top);
                SetTransIndex(first_transparent);
                SetPalette(screenPal, static_cast<DWORD>(screenCount));
            }
        } else {
            PaintFrame(frame, left, top, false);
        }
        prevDispose = m_dispmeth;
        prevRect = RECT{left, top, left + width, top + height};

        if (iImage == info.nFrame && bTrueColor < 2) break;
        iImage++;
    }

    if (!composed) {
        SetLastError("GIF file is truncated");
        return false;
    }
    if (composeRGB) {
        SetTransIndex(-1);
        if (first_transparent >= 0) {
            SetTransColor(screenPal[first_transparent]);
            SetTransIndex(0);
        }
    }
    if (bTrueColor >= 2 && (m_gceFlags & 1)) {
        RGBQUAD tc = {pal[m_gceTransIndex].b, pal[m_gceTransIndex].g, pal[m_gceTransIndex].r, 0};
        SetTransColor(tc);
        SetTransIndex(0);
    }
    return true;
}

bool PxImageGIF::DecodeExtension(PxFile* fp) {
    const LONG fnc = fp->GetC();
    if (fnc < 0) return false;
    bool bContinue = true;
    LONG count;
    if (fnc == 0xF9) {
        count = fp->GetC();
        BYTE gce[4];
        bContinue = fp->Read(gce, 1, 4) == 4 && count == 4;
        if (bContinue) {
            m_gceFlags = gce[0];
            m_gceDelay = static_cast<WORD>(le16(gce + 1));
            m_gceTransIndex = gce[3];
            if (m_gceFlags & 1) info.nBkgndIndex = m_gceTransIndex;
            m_frameTrans = (m_gceFlags & 1) ? m_gceTransIndex : -1;
            info.dwFrameDelay = m_gceDelay;
            m_dispmeth = (m_gceFlags >> 2) & 7;
        }
    } else if (fnc == 0xFE) {
        count = fp->GetC();
        if (count > 0) {
            const size_t n = fp->Read(m_comment, 1, static_cast<size_t>(count));
            m_comment[n] = 0;
        }
    } else if (fnc == 0xFF) {
        count = fp->GetC();
        if (count != 11) return false;
        BYTE app[11];
        bContinue = fp->Read(app, 1, 11) == 11;
        if (bContinue) {
            count = fp->GetC();
            if (count > 0) {
                BYTE dati[256];
                const size_t n = fp->Read(dati, 1, static_cast<size_t>(count));
                if (n > 2) m_loops = dati[1] | (dati[2] << 8);
            }
        }
    }
    while (bContinue && (count = fp->GetC()) > 0) {
        if (!fp->Seek(count, SEEK_CUR)) break;
    }
    return bContinue;
}

int PxImageGIF::get_num_frames(PxFile* fp, int scrwidth, int scrheight, int tablecount, int* maxbits) {
    // Extensions read here must not leak into the frames decoded afterwards.
    const LONG savedTrans = info.nBkgndIndex;
    const DWORD savedDelay = info.dwFrameDelay;
    const int savedDisp = m_dispmeth;
    const BYTE savedFlags = m_gceFlags, savedIndex = m_gceTransIndex;
    const LONG savedFrameTrans = m_frameTrans;
    const WORD savedGceDelay = m_gceDelay;

    const LONG pos = fp->Tell();
    int nframes = 0;
    *maxbits = 1;
    bool canIntroduce = true;
    for (;;) {
        if (NextBlock(fp, canIntroduce) < 0) break;
        BYTE d[9];
        if (fp->Read(d, 1, 9) != 9) break;
        const int left = le16(d), top = le16(d + 2), width = le16(d + 4), height = le16(d + 6);
        const int flags = d[8];
        if (flags & 0x80) {
            tablecount = 1 << ((flags & 7) + 1);
            fp->Seek(tablecount * 3, SEEK_CUR);
        }
        fp->GetC();  // minimum code size
        SkipSubBlocks(fp);
        if (left + width <= scrwidth && top + height <= scrheight && width > 0 && height > 0) {
            nframes++;
            const int bits = BitsForTable(tablecount);
            if (bits > *maxbits) *maxbits = bits;
        }
    }
    fp->Seek(pos, SEEK_SET);

    info.nBkgndIndex = savedTrans;
    info.dwFrameDelay = savedDelay;
    m_dispmeth = savedDisp;
    m_gceFlags = savedFlags;
    m_gceTransIndex = savedIndex;
    m_frameTrans = savedFrameTrans;
    m_gceDelay = savedGceDelay;
    return nframes;
}

LONG PxImageGIF::NextBlock(PxFile* fp, bool& canIntroduce) {
    for (;;) {
        const LONG ch = fp->GetC();
        if (ch < 0 || (canIntroduce && ch == ';')) return -1;
        // After skipped data only a byte that follows a 0 starts a block again.
        if (!canIntroduce) {
            canIntroduce = (ch == 0);
            continue;
        }
        if (ch == '!') {
            if (!DecodeExtension(fp)) return -1;
            continue;
        }
        if (ch == ',') return ch;
        canIntroduce = (ch == 0);
    }
}

LONG PxImageGIF::seek_next_image(PxFile* fp, LONG position) {
    fp->Seek(position, SEEK_SET);
    LONG prev = 0;
    for (;;) {
        const LONG ch = fp->GetC();
        if (ch < 0) return -1;
        if (ch == ',' && prev == 0) {
            fp->Seek(-1, SEEK_CUR);
            return fp->Tell();
        }
        prev = ch;
    }
}

// ---- composition onto the logical screen ----

bool PxImageGIF::MergeColour(RGBQUAD* pal, int& count, RGBQUAD c, BYTE* index, LONG transparent) {
    for (int j = 0; j < count; j++) {
        // The screen's transparent entry stands for "see through", whatever its colour says.
        if (j == transparent) continue;
        if (pal[j].rgbRed == c.rgbRed && pal[j].rgbGreen == c.rgbGreen && pal[j].rgbBlue == c.rgbBlue) {
            *index = static_cast<BYTE>(j);
            return true;
        }
    }
    if (count >= 256) return false;
    pal[count] = c;
    *index = static_cast<BYTE>(count++);
    return true;
}

void PxImageGIF::PaintFrame(PxImage& frame, LONG left, LONG top, bool skipTransparent) {
    const LONG w = static_cast<LONG>(frame.GetWidth()), h = static_cast<LONG>(frame.GetHeight());
    const LONG trans = frame.GetTransIndex();
    for (LONG y = 0; y < h; y++) {
        if (!m_rowWritten[static_cast<size_t>(h - 1 - y)]) continue;
        const LONG dy = head.biHeight - 1 - (top + (h - 1 - y));
        for (LONG x = 0; x < w; x++) {
            if (skipTransparent && trans >= 0 && frame.GetPixelIndex(x, y) == trans) continue;
            RGBQUAD c = frame.GetPixelColor(x, y, false);
            c.rgbReserved = 0;
            SetPixelColor(left + x, dy, c);
        }
    }
}

void PxImageGIF::GifMix(PxImage& imgsrc2, LONG lxOffset, LONG lyOffset) {
    const LONG w = static_cast<LONG>(imgsrc2.GetWidth());
    const LONG h = static_cast<LONG>(imgsrc2.GetHeight());
    const LONG scrheight = head.biHeight;
    const LONG trans = imgsrc2.GetTransIndex();
    for (LONG y = 0; y < h; y++) {
        // Rows the data never reached stay as the screen was: a short frame of a huge size
        // costs what its data holds, not what its header claims.
        const size_t fromTop = static_cast<size_t>(h - 1 - y);
        if (fromTop < m_rowWritten.size() && !m_rowWritten[fromTop]) continue;
        const LONG dy = scrheight - 1 - (lyOffset + (h - 1 - y));
        if (imgsrc2.GetBpp() == 8 && head.biBitCount == 8) {
            // The common case, byte for byte; the frame lies inside the screen (checked by
            // the caller).
            const BYTE* src = imgsrc2.GetBits(static_cast<DWORD>(y));
            BYTE* dst = GetBits(static_cast<DWORD>(dy));
            if (!src || !dst) continue;
            dst += lxOffset;
            for (LONG x = 0; x < w; x++) {
                const BYTE i = src[x];
                if (trans < 0 || i != trans) dst[x] = m_mixMap[i];
            }
            continue;
        }
        for (LONG x = 0; x < w; x++) {
            const BYTE i = imgsrc2.GetPixelIndex(x, y);
            if (trans >= 0 && i == trans) continue;
            SetPixelIndex(lxOffset + x, dy, m_mixMap[i]);
        }
    }
}
