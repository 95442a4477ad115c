// PCX reader and writer. Every size in the header is checked against the others and against the
// file's length before anything is allocated: bytes per line must cover the width, and the
// compressed data must be able to fill the rows.
#include "imagelib/codecs/PxPcxCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/le.h"

namespace {

// Buffered byte reads that know the stream position of the next unread byte, so that whatever
// follows the data (the 256-colour palette) is found exactly.
class ByteReader {
public:
    explicit ByteReader(PxFile* f) : m_file(f), m_base(f->Tell()) {}
    LONG Next() {
        if (m_pos == m_len) {
            m_base += static_cast<LONG>(m_len);
            m_len = m_file->Read(m_buf, 1, sizeof(m_buf));
            m_pos = 0;
            if (m_len == 0) return -1;
        }
        return m_buf[m_pos++];
    }
    // Leaves the stream right after the last byte taken.
    void Settle() { m_file->Seek(m_base + static_cast<LONG>(m_pos), SEEK_SET); }

private:
    PxFile* m_file;
    LONG m_base;
    BYTE m_buf[4096];
    size_t m_len = 0, m_pos = 0;
};

void FlushRun(LONG last, LONG count, PxFile* f) {
    if (count == 1 && last < 0xC0) {
        f->PutC(static_cast<BYTE>(last));
    } else {
        f->PutC(static_cast<BYTE>(0xC0 | count));
        f->PutC(static_cast<BYTE>(last));
    }
}

}  // namespace

void PxPcxCodec::PCX_PlanesToPixels(BYTE* pixels, BYTE* bitplanes, short bytesperline, short planes,
                                    short bitsperpixel) {
    if (planes > 4) throw "Can't handle more than 4 planes";
    if (bitsperpixel != 1) throw "Can't handle more than 1 bit per pixel";
    const size_t npixels = static_cast<size_t>(bytesperline) * 8;
    std::memset(pixels, 0, npixels);
    for (int i = 0; i < planes; ++i) {
        const BYTE* plane = bitplanes + static_cast<size_t>(i) * bytesperline;
        for (size_t k = 0; k < npixels; ++k)
            if (plane[k >> 3] & (0x80 >> (k & 7))) pixels[k] = static_cast<BYTE>(pixels[k] | (1 << i));
    }
}

void PxPcxCodec::PCX_UnpackPixels(BYTE* pixels, BYTE* bitplanes, short bytesperline, short planes,
                                  short bitsperpixel) {
    if (planes != 1) throw "Can't handle packed pixels with more than 1 plane.";
    if (bitsperpixel == 8) {
        std::memcpy(pixels, bitplanes, static_cast<size_t>(bytesperline));
        return;
    }
    if (bitsperpixel != 4 && bitsperpixel != 2 && bitsperpixel != 1) return;
    const int perByte = 8 / bitsperpixel;
    const BYTE mask = static_cast<BYTE>((1 << bitsperpixel) - 1);
    for (int j = 0; j < bytesperline; ++j) {
        const BYTE b = bitplanes[j];
        for (int k = 0; k < perByte; ++k)
            *pixels++ = static_cast<BYTE>((b >> (8 - bitsperpixel * (k + 1))) & mask);
    }
}

void PxPcxCodec::PCX_PixelsToPlanes(BYTE* pixels, LONG width, BYTE* bitplanes, short plane, LONG bytesperline) {
    std::memset(bitplanes, 0, static_cast<size_t>(bytesperline));
    for (LONG x = 0; x < width; ++x)
        if ((pixels[x] >> plane) & 1) bitplanes[x >> 3] = static_cast<BYTE>(bitplanes[x >> 3] | (0x80 >> (x & 7)));
}

void PxPcxCodec::PCX_PackPixels(LONG p, LONG& last, LONG& count, PxFile* f) {
    if (count && p != last) {
        FlushRun(last, count, f);
        count = 0;
    }
    if (p < 0) {
        // The end of a line: nothing runs on into the next one.
        if (p == -2) f->PutC(0);
        count = 0;
        last = -1;
        return;
    }
    last = p;
    if (++count == 0x3F) {
        f->PutC(0xFF);
        f->PutC(static_cast<BYTE>(last));
        count = 0;
    }
}

void PxPcxCodec::PCX_PackPlanes(BYTE* buff, LONG size, PxFile* f) {
    if (size <= 0) return;
    // Packed in memory and written at once: a byte at a time through the stream costs a call each.
    std::vector<BYTE> out(2 * static_cast<size_t>(size));
    BYTE* o = out.data();
    for (LONG i = 0; i < size;) {
        const BYTE b = buff[i];
        LONG n = 1;
        while (i + n < size && n < 0x3F && buff[i + n] == b) ++n;
        if (n > 1 || b >= 0xC0) *o++ = static_cast<BYTE>(0xC0 | n);
        *o++ = b;
        i += n;
    }
    f->Write(out.data(), 1, static_cast<size_t>(o - out.data()));
}

bool PxPcxCodec::Decode(PxFile* hFile) {
    if (!hFile) return false;
    try {
        const LONG start = hFile->Tell();
        BYTE hb[128];
        if (hFile->Read(hb, 1, sizeof(hb)) != sizeof(hb)) throw "Can't read PCX image";
        if (hb[0] != 10) throw "Error: Not a PCX file";
        if (hb[2] != 1) throw "PCX file has unknown encoding scheme";
        const int bits = hb[3];
        const int64_t width = int64_t{le::get16(hb + 8)} - le::get16(hb + 4) + 1;
        const int64_t height = int64_t{le::get16(hb + 10)} - le::get16(hb + 6) + 1;
        const int planes = hb[65];
        const int64_t bpl = le::get16(hb + 66);
        if (planes > 4) throw "Can't handle image with more than 4 planes";

        // The layouts the line routines take, refused before anything is allocated.
        const bool trueColour = bits == 8 && (planes == 3 || planes == 4);
        if (!trueColour) {
            if (planes > 1 && bits != 1) throw "Can't handle more than 1 bit per pixel";
            if (planes == 1 && bits != 1 && bits != 2 && bits != 4 && bits != 8)
                throw "Can't handle more than 1 bit per pixel";
            if (planes == 0) throw "Can't handle packed pixels with more than 1 plane.";
        }
        // Short lines would make every row read past its plane (and the last past the buffer).
        if (width > 0 && bpl * 8 < width * bits) throw "PCX lines too short for the width";

        // 2 and 3 planes of 1 bit hold 4 and 8 colours: they need 4 bits, as 4 planes do.
        const DWORD depth = trueColour ? 24 : (planes > 1 ? 4 : static_cast<DWORD>(bits));
        const int64_t total = height > 0 ? height * planes * bpl : 0;
        // A byte pair expands to at most 63 bytes: shorter data cannot fill the rows.
        if (width > 0 && height > 0 && (int64_t{hFile->Size()} - start - 128) * 63 < total) throw "corrupted PCX";
        if (!Create(static_cast<DWORD>(std::clamp<int64_t>(width, 0, UINT32_MAX)),
                    static_cast<DWORD>(std::clamp<int64_t>(height, 0, UINT32_MAX)), depth, PXIMAGE_FORMAT_PCX))
            return false;  // Create's own text says why
        if (planes == 4 && trueColour) {
            AlphaCreate();
            if (!AlphaIsValid()) throw "Can't allocate memory";
        }
        SetXDPI(le::get16(hb + 12));
        SetYDPI(le::get16(hb + 14));
        if (GetEscape()) throw "Cancelled";

        std::vector<BYTE> data(static_cast<size_t>(total));
        ByteReader in(hFile);
        for (size_t filled = 0; filled < data.size();) {
            const LONG c = in.Next();
            if (c < 0) throw "corrupted PCX";
            if (c > 191) {
                const size_t count = static_cast<size_t>(c & 0x3F);
                const LONG v = in.Next();
                if (v < 0) throw "corrupted PCX";
                if (count > data.size() - filled) throw "repeat count spans end of image";
                std::memset(data.data() + filled, v, count);
                filled += count;
            } else {
                data[filled++] = static_cast<BYTE>(c);
            }
        }
        in.Settle();

        BYTE table[256 * 3] = {};
        std::memcpy(table, hb + 16, 48);
        if (bits == 8 && planes == 1) {
            if (hFile->GetC() != 12) throw "bad color map signature";
            if (hFile->Read(table, 1, sizeof(table)) != sizeof(table)) throw "corrupted PCX";
        } else if (bits == 1 && planes == 1 && (hb[1] < 5 || std::memcmp(table, table + 3, 3) == 0)) {
            // Black and white, unless a version-5 header names two colours of its own (netpbm
            // writes two-colour pictures so); older writers left stray colours there.
            std::memset(table, 0, 6);
            std::memset(table + 3, 255, 3);
        }
        for (DWORD i = 0; i < GetNumColors(); ++i)
            SetPaletteColor(static_cast<BYTE>(i), table[3 * i], table[3 * i + 1], table[3 * i + 2]);

        const size_t lineBytes = static_cast<size_t>(planes * bpl);
        std::vector<BYTE> pixels(static_cast<size_t>(width + bpl * 8));
        for (int64_t r = 0; r < height; ++r) {
            if (GetEscape()) throw "Cancelled";
            const LONG y = static_cast<LONG>(height - 1 - r);
            BYTE* line = data.data() + static_cast<size_t>(r) * lineBytes;
            if (trueColour) {
                BYTE* dst = GetBits(static_cast<DWORD>(y));
                for (int64_t x = 0; x < width; ++x) {
                    dst[3 * x] = line[2 * bpl + x];
                    dst[3 * x + 1] = line[bpl + x];
                    dst[3 * x + 2] = line[x];
                    if (planes == 4) AlphaSet(static_cast<LONG>(x), y, line[3 * bpl + x]);
                }
                continue;
            }
            if (planes == 1)
                PCX_UnpackPixels(pixels.data(), line, static_cast<short>(bpl), static_cast<short>(planes),
                                 static_cast<short>(bits));
            else
                PCX_PlanesToPixels(pixels.data(), line, static_cast<short>(bpl), static_cast<short>(planes),
                                   static_cast<short>(bits));
            for (int64_t x = 0; x < width; ++x) SetPixelIndex(static_cast<LONG>(x), y, pixels[x]);
        }
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
}

bool PxPcxCodec::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    const LONG width = static_cast<LONG>(GetWidth()), height = static_cast<LONG>(GetHeight());
    if (width > 0x10000 || height > 0x10000) {
        SetLastError("Image too large for PCX");
        return false;
    }
    const WORD bpp = GetBpp();
    const bool alpha = bpp == 24 && AlphaIsValid();
    BYTE hb[128] = {};
    hb[0] = 10;
    hb[1] = 5;
    hb[2] = 1;
    le::put16(hb + 8, static_cast<WORD>(width - 1));
    le::put16(hb + 10, static_cast<WORD>(height - 1));
    le::put16(hb + 12, static_cast<WORD>(std::clamp<LONG>(GetXDPI(), 0, 0xFFFF)));
    le::put16(hb + 14, static_cast<WORD>(std::clamp<LONG>(GetYDPI(), 0, 0xFFFF)));
    le::put16(hb + 68, IsIndexed() ? 0 : 1);

    int planes;
    LONG bpl;
    if (bpp == 8 || bpp == 24) {
        hb[3] = 8;
        planes = bpp == 8 ? 1 : alpha ? 4 : 3;
        bpl = width;
    } else {
        hb[3] = 1;
        planes = bpp == 4 ? 4 : 1;
        bpl = (width + 7) / 8;
        if (planes == 1) {
            std::memset(hb + 16 + 3, 255, 3);  // black, white
        } else {
            for (DWORD i = 0; i < 16 && i < GetNumColors(); ++i) {
                const RGBQUAD c = GetPaletteColor(static_cast<BYTE>(i));
                hb[16 + 3 * i] = c.rgbRed, hb[17 + 3 * i] = c.rgbGreen, hb[18 + 3 * i] = c.rgbBlue;
            }
        }
    }
    bpl += bpl & 1;
    hb[65] = static_cast<BYTE>(planes);
    le::put16(hb + 66, static_cast<WORD>(bpl));
    if (hFile->Write(hb, 1, sizeof(hb)) != sizeof(hb)) {
        SetLastError("cannot write PCX header");
        return false;
    }

    PxMemFile buffer;
    if (!buffer.Open()) {
        SetLastError("Encode: can't allocate memory");
        return false;
    }
    const LONG endOfLine = (width & 1) ? -2 : -1;
    if (bpp == 8) {
        for (LONG y = height - 1; y >= 0; --y) {
            const BYTE* row = GetBits(static_cast<DWORD>(y));
            // The same runs as PCX_PackPixels makes value by value, a line at a time.
            PCX_PackPlanes(const_cast<BYTE*>(row), width, &buffer);
            if (endOfLine == -2) buffer.PutC(0);
        }
        buffer.PutC(12);
        for (DWORD i = 0; i < 256; ++i) {
            const RGBQUAD c = i < GetNumColors() ? GetPaletteColor(static_cast<BYTE>(i)) : RGBQUAD{};
            buffer.PutC(c.rgbRed), buffer.PutC(c.rgbGreen), buffer.PutC(c.rgbBlue);
        }
    } else if (bpp < 8) {
        // Index 0 is black in a 1-bit PCX: a palette with a brighter entry 0 inverts the bits.
        const bool invert =
            bpp == 1 && GetNumColors() >= 2 && CompareColors(&GetPalette()[0], &GetPalette()[1]) > 0;
        std::vector<BYTE> pixels(static_cast<size_t>(width)), plane(static_cast<size_t>(bpl));
        for (LONG y = height - 1; y >= 0; --y) {
            for (LONG x = 0; x < width; ++x) {
                const BYTE v = GetPixelIndex(x, y);
                pixels[static_cast<size_t>(x)] = invert ? static_cast<BYTE>(1 - v) : v;
            }
            for (int p = 0; p < planes; ++p) {
                PCX_PixelsToPlanes(pixels.data(), width, plane.data(), static_cast<short>(p), bpl);
                PCX_PackPlanes(plane.data(), bpl, &buffer);
            }
        }
    } else {
        std::vector<BYTE> plane(static_cast<size_t>(width));
        for (LONG y = height - 1; y >= 0; --y) {
            const BYTE* row = GetBits(static_cast<DWORD>(y));
            for (int p = 0; p < planes; ++p) {
                for (LONG x = 0; x < width; ++x)
                    plane[static_cast<size_t>(x)] = p == 3 ? AlphaGet(x, y) : row[3 * x + (2 - p)];
                PCX_PackPlanes(plane.data(), width, &buffer);
                if (endOfLine == -2) buffer.PutC(0);
            }
        }
    }
    const size_t n = static_cast<size_t>(buffer.Size());
    if (hFile->Write(buffer.GetBuffer(false), 1, n) != n) {
        SetLastError("Error writing PCX file");
        return false;
    }
    return true;
}
