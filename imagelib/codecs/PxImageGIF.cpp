#include "imagelib/codecs/PxImageGIF.h"

#include <cstring>
#include <memory>

namespace {

constexpr int BAD_CODE_SIZE = -20;
constexpr int OUT_OF_MEMORY = -10;
constexpr int MAXBITSCODES = 12;
const int code_mask[13] = {0, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F,
                           0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF};

inline int MAXCODE(int n_bits) { return (1 << n_bits) - 1; }
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

PxImageGIF::PxImageGIF() : PxImage(PXIMAGE_FORMAT_GIF) {
    m_comment[0] = 0;
    std::memset(m_buf, 0, sizeof(m_buf));
    std::memset(byte_buff, 0, sizeof(byte_buff));
    std::memset(stack, 0, sizeof(stack));
    std::memset(suffix, 0, sizeof(suffix));
    std::memset(prefix, 0, sizeof(prefix));
    std::memset(htab, 0, sizeof(htab));
    std::memset(codetab, 0, sizeof(codetab));
    std::memset(accum, 0, sizeof(accum));
    std::memset(oblock, 0, sizeof(oblock));
}

void PxImageGIF::SetComment(const char* sz_comment_in) {
    if (!sz_comment_in) return;
    std::strncpy(m_comment, sz_comment_in, 255);
    m_comment[255] = 0;
}

void PxImageGIF::GetComment(char* sz_comment_out) {
    if (!sz_comment_out) return;
    std::strncpy(sz_comment_out, m_comment, 255);
    sz_comment_out[255] = 0;
}

bool PxImageGIF::HasSignature(const BYTE* head, size_t count) {
    return count >= 13 && std::memcmp(head, "GIF8", 4) == 0;
}

bool PxImageGIF::Decode(FILE* fp) {
    PxIOFile f(fp);
    return Decode(&f);
}

bool PxImageGIF::Encode(FILE* fp) {
    PxIOFile f(fp);
    return Encode(&f);
}

bool PxImageGIF::Encode(FILE* fp, PxImage** pImages, int pagecount, bool bLocalColorMap) {
    PxIOFile f(fp);
    return Encode(&f, pImages, pagecount, bLocalColorMap);
}

// ---------------------------------------------------------------------------------------------
// decoding

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

void PxImageGIF::init_exp(int size) {
    curr_size = size + 1;
    top_slot = 1 << curr_size;
    clear = 1 << size;
    ending = clear + 1;
    slot = newcodes = ending + 1;
    navail_bytes = nbits_left = 0;
    std::memset(stack, 0, sizeof(stack));
    std::memset(prefix, 0, sizeof(prefix));
    std::memset(suffix, 0, sizeof(suffix));
}

int PxImageGIF::get_byte(PxFile* file) {
    if (m_ibf >= GIFBUFTAM) {
        m_ibfmax = static_cast<int>(file->Read(m_buf, 1, GIFBUFTAM));
        if (m_ibfmax < GIFBUFTAM) m_buf[m_ibfmax] = 255;
        m_ibf = 0;
    }
    if (m_ibf >= m_ibfmax) return -1;
    return m_buf[m_ibf++];
}

// The next byte of the code stream, reading the next data sub-block when the current one is
// used up; negative is a read error. An empty sub-block leaves the count below zero, which ends
// the stream.
int PxImageGIF::next_stream_byte(PxFile* file) {
    if (navail_bytes <= 0) {
        pbytes = 0;
        if ((navail_bytes = get_byte(file)) < 0) return navail_bytes;
        for (int i = 0; i < navail_bytes; ++i) {
            const int x = get_byte(file);
            if (x < 0) return x;
            byte_buff[i] = static_cast<BYTE>(x);
        }
    }
    --navail_bytes;
    return byte_buff[pbytes++];
}

int PxImageGIF::get_next_code(PxFile* file) {
    if (nbits_left == 0) {
        const int x = next_stream_byte(file);
        if (x < 0) return x;
        b1 = static_cast<BYTE>(x);
        nbits_left = 8;
    }
    if (navail_bytes < 0) return ending;  // past the end of the data
    int ret = b1 >> (8 - nbits_left);
    while (curr_size > nbits_left) {
        const int x = next_stream_byte(file);
        if (x < 0) return x;
        b1 = static_cast<BYTE>(x);
        ret |= b1 << nbits_left;
        nbits_left += 8;
    }
    nbits_left -= curr_size;
    ret &= code_mask[curr_size];
    return ret;
}

int PxImageGIF::decoder(PxFile* file, PxImage* frame, int linewidth, int& bad_code_count) {
    bad_code_count = 0;
    const int size = get_byte(file);
    if (size < 0) return size;
    if (size < 2 || 9 < size) return BAD_CODE_SIZE;
    init_exp(size);

    std::unique_ptr<BYTE[]> buf(new (std::nothrow) BYTE[static_cast<size_t>(linewidth) + 1]);
    if (!buf) return OUT_OF_MEMORY;
    BYTE* bufptr = buf.get();
    int bufcnt = linewidth;
    BYTE* sp = stack;
    BYTE* const stackEnd = stack + MAX_CODES;
    int oc = 0, fc = 0, c, ret = 0;

    auto emit = [&](BYTE v) -> int {
        *bufptr++ = v;
        if (--bufcnt == 0) {
            const int r = out_line(frame, buf.get(), linewidth);
            if (r < 0) return r;
            bufptr = buf.get();
            bufcnt = linewidth;
        }
        return 0;
    };

    while ((c = get_next_code(file)) != ending) {
        if (c < 0) return 0;
        if (c == clear) {
            curr_size = size + 1;
            slot = newcodes;
            top_slot = 1 << curr_size;
            while ((c = get_next_code(file)) == clear) {
            }
            if (c == ending) break;
            if (c < 0) return 0;
            if (c >= slot) c = 0;
            oc = fc = c;
            if ((ret = emit(static_cast<BYTE>(c))) < 0) return ret;
        } else {
            int code = c;
            if (code >= slot) {
                if (code > slot) ++bad_code_count;
                code = oc;
                *sp++ = static_cast<BYTE>(fc);
            }
            while (code >= newcodes && sp < stackEnd) {
                *sp++ = suffix[code];
                code = prefix[code];
            }
            if (sp < stackEnd) *sp++ = static_cast<BYTE>(code);
            if (slot < top_slot) {
                suffix[slot] = static_cast<BYTE>(fc = code);
                prefix[slot++] = static_cast<WORD>(oc);
                oc = c;
            }
            if (slot >= top_slot && curr_size < 12) {
                top_slot <<= 1;
                ++curr_size;
            }
            while (sp > stack) {
                --sp;
                if ((ret = emit(*sp)) < 0) return ret;
            }
        }
    }
    if (bufcnt != linewidth) ret = out_line(frame, buf.get(), linewidth - bufcnt);
    return ret;
}

int PxImageGIF::out_line(PxImage* frame, BYTE* pixels, int linelen) {
    if (!frame || !frame->IsValid()) return -1;
    const int bpp = frame->GetBpp();
    // Pack the indices in place for the smaller depths.
    if (bpp == 1) {
        int n = 0;
        for (int x = 0; x < linelen; x += 8) {
            BYTE v = 0;
            for (int k = 0; k < 8; k++)
                if (x + k < linelen && (pixels[x + k] & 1)) v |= static_cast<BYTE>(0x80 >> k);
            pixels[n++] = v;
        }
        linelen = n;
    } else if (bpp == 4) {
        int n = 0;
        for (int x = 0; x < linelen; x += 2) {
            BYTE v = static_cast<BYTE>((pixels[x] & 15) << 4);
            if (x + 1 < linelen) v |= pixels[x + 1] & 15;
            pixels[n++] = v;
        }
        linelen = n;
    }
    const int rowbytes = static_cast<int>(frame->GetEffWidth());
    const int ncopy = (linelen < 0 || linelen >= rowbytes) ? rowbytes : linelen;

    if (m_interlaced) {
        // Four passes over rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
        if (m_ipass >= 4) return -1;
        if (m_iypos < m_iheight) {
            BYTE* row = frame->GetBits(static_cast<DWORD>(m_iheight - m_iypos - 1));
            if (row) std::memcpy(row, pixels, static_cast<size_t>(ncopy));
            if (static_cast<size_t>(m_iypos) < m_rowWritten.size()) m_rowWritten[static_cast<size_t>(m_iypos)] = 1;
        }
        if ((m_iypos += m_istep) >= m_iheight) {
            do {
                if (m_ipass++ > 0) m_istep /= 2;
                if (m_ipass >= 4) break;
                m_iypos = m_istep / 2;
            } while (m_iypos >= m_iheight);  // a pass without rows takes no line
        }
        return 0;
    }
    if (m_cury < 0) return -1;
    BYTE* row = frame->GetBits(static_cast<DWORD>(m_cury));
    if (!row) return -1;
    std::memcpy(row, pixels, static_cast<size_t>(ncopy));
    const size_t fromTop = static_cast<size_t>(m_iheight - 1 - m_cury);
    if (fromTop < m_rowWritten.size()) m_rowWritten[fromTop] = 1;
    m_cury--;
    return 0;
}

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

// ---------------------------------------------------------------------------------------------
// encoding

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

int PxImageGIF::GifNextPixel() {
    if (m_encCountDown <= 0) return -1;
    --m_encCountDown;
    const int r = m_pEncodeSrc->GetPixelIndex(m_encCurx, m_encCury);
    if (++m_encCurx == static_cast<LONG>(m_pEncodeSrc->GetWidth())) {
        m_encCurx = 0;
        m_encCury--;
    }
    return r;
}

// ---- uncompressed codes ----

// The code-stream state both the uncompressed and the LZW encoder start from.
void PxImageGIF::startCodeStream(int init_bits, PxFile* outfile) {
    g_init_bits = init_bits;
    g_outfile = outfile;
    n_bits = g_init_bits;
    maxcode = MAXCODE(n_bits);
    ClearCode = 1 << (init_bits - 1);
    EOFCode = ClearCode + 1;
    free_ent = ClearCode + 2;
    clear_flg = 0;
    cur_accum = 0;
    cur_bits = 0;
    a_count = 0;
}

void PxImageGIF::compressNONE(int init_bits, PxFile* outfile) {
    startCodeStream(init_bits, outfile);

    output(ClearCode);
    int c;
    while ((c = GifNextPixel()) != -1) {
        output(c);
        if (free_ent > (1 << MAXBITSCODES) - 1) {
            free_ent = ClearCode + 2;
            clear_flg = 1;
            output(ClearCode);
        } else {
            free_ent++;
        }
    }
    output(EOFCode);
}

// ---- LZW ----

void PxImageGIF::compressLZW(int init_bits, PxFile* outfile) {
    startCodeStream(init_bits, outfile);

    int ent = GifNextPixel();
    int hshift = 0;
    for (int32_t fcode = HSIZE; fcode < 65536L; fcode *= 2) ++hshift;
    hshift = 8 - hshift;
    cl_hash(HSIZE);
    output(ClearCode);

    int c;
    while ((c = GifNextPixel()) != -1) {
        const int32_t fcode = (static_cast<int32_t>(c) << MAXBITSCODES) + ent;
        int i = (c << hshift) ^ ent;
        bool found = false;
        if (htab[i] == fcode) {
            ent = codetab[i];
            continue;
        } else if (htab[i] >= 0) {
            int disp = HSIZE - i;
            if (i == 0) disp = 1;
            do {
                if ((i -= disp) < 0) i += HSIZE;
                if (htab[i] == fcode) {
                    ent = codetab[i];
                    found = true;
                    break;
                }
            } while (htab[i] > 0);
        }
        if (found) continue;
        output(ent);
        ent = c;
        if (free_ent < (1 << MAXBITSCODES)) {
            codetab[i] = static_cast<WORD>(free_ent++);
            htab[i] = fcode;
        } else {
            cl_hash(HSIZE);
            free_ent = ClearCode + 2;
            clear_flg = 1;
            output(ClearCode);
        }
    }
    if (ent >= 0) output(ent);
    output(EOFCode);
}

void PxImageGIF::cl_hash(int32_t hsize) {
    for (int32_t i = 0; i < hsize; i++) htab[i] = -1;
}

void PxImageGIF::output(int code) {
    cur_accum &= (1u << cur_bits) - 1;
    cur_accum |= static_cast<uint32_t>(code) << cur_bits;
    cur_bits += n_bits;
    while (cur_bits >= 8) {
        char_out(static_cast<int>(cur_accum & 0xFF));
        cur_accum >>= 8;
        cur_bits -= 8;
    }
    // The width grows when the next code no longer fits, and drops back after a clear.
    if (free_ent > maxcode || clear_flg) {
        if (clear_flg) {
            maxcode = MAXCODE(n_bits = g_init_bits);
            clear_flg = 0;
        } else {
            ++n_bits;
            maxcode = n_bits == MAXBITSCODES ? (1 << MAXBITSCODES) : MAXCODE(n_bits);
        }
    }
    if (code == EOFCode) {
        while (cur_bits > 0) {
            char_out(static_cast<int>(cur_accum & 0xFF));
            cur_accum >>= 8;
            cur_bits -= 8;
        }
        flush_char();
        g_outfile->Flush();
        if (g_outfile->Error()) {
            m_writeError = true;
            SetLastError("Write Error in GIF file");
        }
    }
}

void PxImageGIF::char_out(int c) {
    accum[a_count++] = static_cast<BYTE>(c);
    if (a_count >= 254) flush_char();
}

void PxImageGIF::flush_char() {
    if (a_count > 0) {
        if (!g_outfile->PutC(static_cast<unsigned char>(a_count))) m_writeError = true;
        if (g_outfile->Write(accum, 1, static_cast<size_t>(a_count)) != static_cast<size_t>(a_count))
            m_writeError = true;
        a_count = 0;
    }
}

// ---- run-length encoding: only codes the decoder's table is known to hold ----

void PxImageGIF::compressRLE(int init_bits, PxFile* outfile) {
    g_init_bits = init_bits;
    g_outfile = outfile;
    obuf = 0;
    obits = 0;
    oblen = 0;
    code_clear = 1 << (init_bits - 1);
    code_eof = code_clear + 1;
    rl_basecode = code_eof + 1;
    out_bump_init = (1 << (init_bits - 1)) - 1;
    out_clear_init = (init_bits <= 3) ? 9 : (out_bump_init - 1);
    out_bits_init = init_bits;
    max_out_clear = (1 << MAXBITSCODES) - ((1 << (out_bits_init - 1)) + 3);
    rl_count = 0;
    rl_pixel = 0;
    out_bits = out_bits_init;
    rle_output(code_clear);
    rle_clear();
    int c;
    while ((c = GifNextPixel()) != -1) {
        // A run is flushed before its count can overflow (a picture may hold 2^32 pixels).
        if (rl_count > 0 && (c != rl_pixel || rl_count >= (1 << 28))) rle_flush();
        if (rl_pixel == c) {
            rl_count++;
        } else {
            rl_pixel = c;
            rl_count = 1;
        }
    }
    if (rl_count > 0) rle_flush();
    rle_output(code_eof);
    rle_output_flush();
}

void PxImageGIF::rle_clear() {
    out_bits = out_bits_init;
    out_bump = out_bump_init;
    out_clear = out_clear_init;
    out_count = 0;
    rl_table_max = 0;
    just_cleared = 1;
}

void PxImageGIF::rle_output_plain(int c) {
    just_cleared = 0;
    rle_output(c);
    out_count++;
    if (out_count >= out_bump) {
        out_bits++;
        out_bump += 1 << (out_bits - 1);
    }
    if (out_count >= out_clear) {
        rle_output(code_clear);
        rle_clear();
    }
}

void PxImageGIF::rle_reset_out_clear() {
    out_clear = out_clear_init;
    if (out_count >= out_clear) {
        rle_output(code_clear);
        rle_clear();
    }
}

void PxImageGIF::rle_flush_fromclear(int count) {
    out_clear = max_out_clear;
    rl_table_pixel = rl_pixel;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            rl_table_max = 1;
            rle_output_plain(rl_pixel);
            count--;
        } else if (count >= n) {
            rl_table_max = n;
            rle_output_plain(rl_basecode + n - 2);
            count -= n;
        } else if (count == 1) {
            rl_table_max++;
            rle_output_plain(rl_pixel);
            count = 0;
        } else {
            rl_table_max++;
            rle_output_plain(rl_basecode + count - 2);
            count = 0;
        }
        if (out_count == 0) n = 1;
        else n++;
    }
    rle_reset_out_clear();
}

void PxImageGIF::rle_flush_clearorrep(int count) {
    const int withclr = 1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(count),
                                                                        static_cast<unsigned>(max_out_clear)));
    if (withclr < count) {
        rle_output(code_clear);
        rle_clear();
        rle_flush_fromclear(count);
    } else {
        for (; count > 0; count--) rle_output_plain(rl_pixel);
    }
}

void PxImageGIF::rle_flush_withtable(int count) {
    int repmax = count / rl_table_max;
    int leftover = count % rl_table_max;
    int repleft = leftover ? 1 : 0;
    if (out_count + repmax + repleft > max_out_clear) {
        repmax = max_out_clear - out_count;
        leftover = count - (repmax * rl_table_max);
        repleft = 1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(leftover),
                                                                   static_cast<unsigned>(max_out_clear)));
    }
    if (1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(count),
                                                        static_cast<unsigned>(max_out_clear))) <
        repmax + repleft) {
        rle_output(code_clear);
        rle_clear();
        rle_flush_fromclear(count);
        return;
    }
    out_clear = max_out_clear;
    for (; repmax > 0; repmax--) rle_output_plain(rl_basecode + rl_table_max - 2);
    if (leftover) {
        if (just_cleared) rle_flush_fromclear(leftover);
        else if (leftover == 1) rle_output_plain(rl_pixel);
        else rle_output_plain(rl_basecode + leftover - 2);
    }
    rle_reset_out_clear();
}

void PxImageGIF::rle_flush() {
    if (rl_count == 1) {
        rle_output_plain(rl_pixel);
        rl_count = 0;
        return;
    }
    if (just_cleared) rle_flush_fromclear(rl_count);
    else if (rl_table_max < 2 || rl_table_pixel != rl_pixel) rle_flush_clearorrep(rl_count);
    else rle_flush_withtable(rl_count);
    rl_count = 0;
}

unsigned int PxImageGIF::rle_isqrt(unsigned int x) {
    if (x < 2) return x;
    unsigned int r = 1;
    while (r * r <= x / 4) r *= 2;  // a start below the root
    for (;;) {
        const unsigned int v = (x / r + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}

unsigned int PxImageGIF::rle_compute_triangle_count(unsigned int count, unsigned int nrepcodes) {
    unsigned int cost = 0;
    const unsigned int perrep = (nrepcodes * (nrepcodes + 1)) / 2;
    while (count >= perrep) {
        cost += nrepcodes;
        count -= perrep;
    }
    if (count > 0) {
        unsigned int n = rle_isqrt(count);
        while ((n * (n + 1)) >= 2 * count) n--;
        while ((n * (n + 1)) < 2 * count) n++;
        cost += n;
    }
    return cost;
}

void PxImageGIF::rle_output(int val) {
    obuf |= static_cast<uint32_t>(val) << obits;
    obits += out_bits;
    while (obits >= 8) {
        rle_block_out(static_cast<BYTE>(obuf & 0xFF));
        obuf >>= 8;
        obits -= 8;
    }
}

void PxImageGIF::rle_output_flush() {
    if (obits > 0) rle_block_out(static_cast<BYTE>(obuf & 0xFF));
    obuf = 0;
    obits = 0;
    rle_block_flush();
    g_outfile->Flush();
    if (g_outfile->Error()) {
        m_writeError = true;
        SetLastError("Write Error in GIF file");
    }
}

void PxImageGIF::rle_block_out(BYTE c) {
    oblock[oblen++] = c;
    if (oblen >= 255) rle_write_block();
}

void PxImageGIF::rle_block_flush() {
    if (oblen > 0) rle_write_block();
}

void PxImageGIF::rle_write_block() {
    if (!g_outfile->PutC(static_cast<unsigned char>(oblen))) m_writeError = true;
    if (g_outfile->Write(oblock, 1, static_cast<size_t>(oblen)) != static_cast<size_t>(oblen)) m_writeError = true;
    oblen = 0;
}
