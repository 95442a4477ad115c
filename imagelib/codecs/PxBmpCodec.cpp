// Windows bitmap reader and writer. A bare DIB has no signature, so the reader must turn down
// anything else cleanly, and every count it takes from a file is bounded by the image it
// created: a hostile header can cost a refusal, never a stray write.
#include "imagelib/codecs/PxBmpCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/le.h"

namespace {

const char* const kDimensionsOnly = "output dimensions returned";

int64_t DibRowBytes(int64_t bitcount, int64_t width) { return ((bitcount * width + 31) / 32) * 4; }

// Bytes of the pixel rows a header describes, or -1 when that is not a sensible positive size.
int64_t DibImageBytes(int64_t bitcount, int64_t width, int64_t height) {
    const int64_t row = DibRowBytes(bitcount, width);
    if (row <= 0 || height <= 0 || height > INT64_MAX / row) return -1;
    return row * height;
}

LONG ClampToLong(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Capped far beyond any real device, so that converting back to pixels per metre stays in range.
LONG DpiFromPelsPerMeter(LONG ppm) {
    return static_cast<LONG>(std::min(std::floor(ppm * 254.0 / 10000.0 + 0.5), 1000000.0));
}

}  // namespace

bool PxBmpCodec::HasSignature(const BYTE* head, size_t count) {
    return count >= BITMAPFILEHEADER_SIZE && le::get16(head) == 0x4D42;
}

// The reader's own conditions on a bare header, so that no DIB it reads is turned away.
bool PxBmpCodec::IsPlausibleDib(const BYTE* head, size_t count) {
    if (count < BITMAPFILEHEADER_SIZE || le::get16(head) == 0x4D42) return false;
    const DWORD size = le::get32(head);
    if (size == 12) return count >= 12 && le::get16(head + 4) != 0 && le::get16(head + 6) != 0;
    if (count < 40) return false;
    const LONG width = le::get32s(head + 4), height = le::get32s(head + 8);
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    if (size == 40 || size == 64) return true;
    return size > 40 && size - 40 <= static_cast<DWORD>(INT32_MAX) && le::get16(head + 12) == 1 &&
           le::get32(head + 16) == BI_RGB && le::get32(head + 32) == 0 &&
           int64_t{le::get32(head + 20)} == DibImageBytes(le::get16(head + 14), width, height);
}

bool PxBmpCodec::ReadBitmapInfo(PxFile* fh, BITMAPINFOHEADER* pdib) {
    if (!fh || !pdib) return false;
    BYTE b[40] = {};
    // A core-header file can be shorter than 40 bytes after the file header, so a short read is
    // judged by the header kind it reveals.
    const size_t got = fh->Read(b, 1, sizeof(b));
    if (got < 4) return false;
    BITMAPINFOHEADER h = {};
    h.biSize = le::get32(b);
    if (h.biSize == 12) {
        if (got < 12) return false;
        h.biWidth = le::get16(b + 4);
        h.biHeight = le::get16(b + 6);
        h.biPlanes = le::get16(b + 8);
        h.biBitCount = le::get16(b + 10);
        if (!fh->Seek(12 - static_cast<LONG>(got), SEEK_CUR)) return false;
    } else {
        if (got < 40) return false;
        h.biWidth = le::get32s(b + 4);
        h.biHeight = le::get32s(b + 8);
        h.biPlanes = le::get16(b + 12);
        h.biBitCount = le::get16(b + 14);
        h.biCompression = le::get32(b + 16);
        h.biSizeImage = le::get32(b + 20);
        h.biXPelsPerMeter = le::get32s(b + 24);
        h.biYPelsPerMeter = le::get32s(b + 28);
        h.biClrUsed = le::get32(b + 32);
        h.biClrImportant = le::get32(b + 36);
        if (h.biSize == 64) {
            if (!fh->Seek(24, SEEK_CUR)) return false;
        } else if (h.biSize != 40) {
            // Later header versions are taken only when nothing in their extra fields matters.
            const bool plain = h.biSize > 40 && h.biPlanes == 1 && h.biCompression == BI_RGB && h.biClrUsed == 0 &&
                               int64_t{h.biSizeImage} == DibImageBytes(h.biBitCount, h.biWidth, h.biHeight);
            if (!plain || h.biSize - 40 > static_cast<DWORD>(INT32_MAX)) return false;
            if (!fh->Seek(static_cast<LONG>(h.biSize - 40), SEEK_CUR)) return false;
        }
    }
    if (h.biSizeImage == 0) {
        const int64_t bytes = DibImageBytes(h.biBitCount, h.biWidth, std::abs(int64_t{h.biHeight}));
        h.biSizeImage = bytes > 0 ? static_cast<DWORD>(bytes) : 0;
    }
    if (h.biClrUsed == 0 && h.biBitCount <= 8) h.biClrUsed = 1u << h.biBitCount;
    *pdib = h;
    return true;
}

bool PxBmpCodec::Decode(PxFile* hFile) {
    if (!hFile) return false;
    try {
        const LONG start = hFile->Tell();
        BYTE fb[BITMAPFILEHEADER_SIZE];
        if (hFile->Read(fb, 1, sizeof(fb)) != sizeof(fb)) throw "Not a BMP";
        BITMAPFILEHEADER bf = {le::get16(fb), le::get32(fb + 2), le::get16(fb + 6), le::get16(fb + 8),
                               le::get32(fb + 10)};
        if (bf.bfType != 0x4D42) {
            // A bare DIB (as on the clipboard): the bits follow the palette.
            if (!hFile->Seek(start, SEEK_SET)) throw "Not a BMP";
            bf.bfOffBits = 0;
        }

        BITMAPINFOHEADER bih;
        if (!ReadBitmapInfo(hFile, &bih)) throw "Error reading BMP info";
        const DWORD compression = bih.biCompression;
        const WORD bitcount = bih.biBitCount;
        const bool oldFormat = bih.biSize == 12;
        bool topDown = false;
        if (bih.biHeight < 0) {
            if (bih.biHeight == INT32_MIN) throw "Error reading BMP info";
            topDown = true;
            bih.biHeight = -bih.biHeight;
        }
        if (bih.biWidth <= 0 || bih.biHeight == 0) throw "Error reading BMP info";

        if (GetEscape() == -1) {
            // Only the size is known: no earlier pixels may be left behind a changed header.
            if (!Destroy()) throw "Can't allocate memory";
            head.biWidth = bih.biWidth;
            head.biHeight = bih.biHeight;
            throw kDimensionsOnly;
        }

        // A depth without a pixel reader (0 for embedded JPEG or PNG data, 2, ...) would come out as a
        // blank picture reported as read; say that it is not supported instead.
        if (bitcount != 1 && bitcount != 4 && bitcount != 8 && bitcount != 16 && bitcount != 24 && bitcount != 32)
            throw "BMP bit depth not supported";

        if (!Create(static_cast<DWORD>(bih.biWidth), static_cast<DWORD>(bih.biHeight), bitcount, PXIMAGE_FORMAT_BMP))
            throw "Can't allocate memory";
        // 0 pixels per metre (common) means "unknown": SetXDPI turns it into the default.
        SetXDPI(DpiFromPelsPerMeter(bih.biXPelsPerMeter));
        SetYDPI(DpiFromPelsPerMeter(bih.biYPelsPerMeter));
        if (GetEscape()) throw "Cancelled";

        if (GetPalette()) {
            const int64_t inFile = bih.biClrUsed;
            const int64_t keep = std::min<int64_t>(inFile, GetNumColors());
            const size_t entrySize = oldFormat ? 3 : 4;
            std::vector<BYTE> raw(static_cast<size_t>(keep) * entrySize, 0);
            hFile->Read(raw.data(), 1, raw.size());
            for (int64_t i = 0; i < keep; ++i) {
                const BYTE* e = raw.data() + i * entrySize;
                SetPaletteColor(static_cast<BYTE>(i), RGBQUAD{e[0], e[1], e[2], 0});
            }
            // Entries beyond the palette are skipped, so that a bare DIB's bits are still found.
            if (inFile > keep && bf.bfOffBits == 0)
                hFile->Seek(ClampToLong((inFile - keep) * static_cast<int64_t>(entrySize)), SEEK_CUR);
        }
        if (GetEscape()) throw "Cancelled";

        const int64_t width = GetWidth(), height = GetHeight();
        const size_t pixelBytes = static_cast<size_t>(GetEffWidth()) * static_cast<size_t>(height);
        auto seekToBits = [&] {
            if (bf.bfOffBits != 0) {
                hFile->Seek(ClampToLong(int64_t{start} + bf.bfOffBits), SEEK_SET);
            } else if (!GetPalette() && bih.biClrUsed != 0) {
                // A bare true-colour DIB may still list a colour table (after any masks); its
                // bits follow that table.
                const int64_t entry = oldFormat ? 3 : 4;
                hFile->Seek(ClampToLong(int64_t{bih.biClrUsed} * entry), SEEK_CUR);
            }
        };
        switch (bitcount) {
            case 1:
            case 4:
            case 8:
                seekToBits();
                if (compression == BI_RGB)
                    hFile->Read(GetBits(), 1, pixelBytes);
                else if (compression == BI_RLE8)
                    DecodeRle8(hFile);
                else if (compression == BI_RLE4)
                    DecodeRle4(hFile);
                else
                    throw "compression type not supported";
                break;
            case 16: {
                DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
                if (compression == BI_BITFIELDS) {
                    // Some writers (ImageMagick's BMP3 5-6-5) set bit fields but start the bits
                    // right after the header: pixels are not masks, and 5-6-5 is what they mean.
                    const int64_t room = int64_t{bf.bfOffBits} - (int64_t{hFile->Tell()} - start);
                    if (bf.bfOffBits != 0 && room < 12) {
                        masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
                    } else {
                        BYTE m[12] = {};
                        hFile->Read(m, 1, sizeof(m));
                        for (int i = 0; i < 3; ++i) masks[i] = le::get32(m + 4 * i);
                    }
                }
                seekToBits();
                // The 16-bit rows are narrower than the 24-bit ones: read them into the pixel
                // buffer and widen in place from the end.
                hFile->Read(GetBits(), 1, static_cast<size_t>((width + 1) / 2) * static_cast<size_t>(height) * 4);
                Bitfield2RGB(GetBits(), masks[0], masks[1], masks[2], 16);
                break;
            }
            case 24:
                if (compression != BI_RGB) throw "unknown compression";
                seekToBits();
                hFile->Read(GetBits(), 1, pixelBytes);
                break;
            case 32: {
                if (compression != BI_RGB && compression != BI_BITFIELDS) throw "unknown compression";
                // In a packed DIB the three masks sit between the header and the bits.
                if (bf.bfOffBits == 0 && compression == BI_BITFIELDS) hFile->Seek(12, SEEK_CUR);
                seekToBits();
                // One row at a time: blue, green, red are bytes 0, 1, 2; the fourth byte is dropped.
                const size_t rowBytes = static_cast<size_t>(width) * 4;
                BYTE* row = static_cast<BYTE*>(malloc(rowBytes));
                if (!row) throw "can't allocate memory";
                for (int64_t y = 0; y < height; ++y) {
                    memset(row, 0, rowBytes);
                    hFile->Read(row, 1, rowBytes);
                    BYTE* dst = GetBits(static_cast<DWORD>(y));
                    for (int64_t x = 0; x < width; ++x) memcpy(dst + 3 * x, row + 4 * x, 3);
                }
                free(row);
                break;
            }
            default:
                break;  // refused above
        }

        if (topDown) Flip();
        return true;
    } catch (const char* message) {
        SetLastError(message);
        // With escape -1 only the planned dimensions-only stop is a success.
        return GetEscape() == -1 && strcmp(message, kDimensionsOnly) == 0;
    }
}

namespace {

// The escape codes both RLE kinds share. Runs and literals are clipped at the row's end by the
// callbacks and decoding goes on; it stops at the end-of-bitmap code, above the top row, or where
// the data runs out. run(row, col, count, value) writes an encoded run; literal(row, col, count)
// reads and places an absolute run with its padding and returns false when the data ran out.
template <class Run, class Literal>
void DecodeRleStream(PxFile* hFile, int64_t height, Run run, Literal literal) {
    int64_t row = 0, col = 0;
    while (row < height) {
        const LONG status = hFile->GetC();
        if (status < 0) return;
        if (status > 0) {
            const LONG value = hFile->GetC();
            if (value < 0) return;
            run(row, col, status, static_cast<BYTE>(value));
            col += status;
            continue;
        }
        const LONG command = hFile->GetC();
        if (command < 0) return;
        if (command == 0) {
            col = 0;
            ++row;
        } else if (command == 1) {
            return;
        } else if (command == 2) {
            const LONG dx = hFile->GetC(), dy = hFile->GetC();
            if (dx < 0 || dy < 0) return;
            col += dx;
            row += dy;
        } else {
            if (!literal(row, col, command)) return;
            col += command;
        }
    }
}

}  // namespace

void PxBmpCodec::DecodeRle8(PxFile* hFile) {
    const int64_t rowLen = GetEffWidth();
    BYTE literal[255];
    DecodeRleStream(
        hFile, GetHeight(),
        [&](int64_t row, int64_t col, LONG count, BYTE value) {
            if (col < rowLen)
                memset(GetBits(static_cast<DWORD>(row)) + col, value, std::min<int64_t>(count, rowLen - col));
        },
        [&](int64_t row, int64_t col, LONG count) {
            const size_t got = hFile->Read(literal, 1, static_cast<size_t>(count));
            if (col < rowLen)
                memcpy(GetBits(static_cast<DWORD>(row)) + col, literal, std::min<int64_t>(got, rowLen - col));
            if (got < static_cast<size_t>(count)) return false;
            if (count & 1) hFile->GetC();
            return true;
        });
}

// RLE4: the column counts pixels, two per byte, the first in the high nibble.
void PxBmpCodec::DecodeRle4(PxFile* hFile) {
    const int64_t rowPixels = int64_t{GetEffWidth()} * 2;
    BYTE literal[128];
    auto put = [&](int64_t row, int64_t x, BYTE nibble) {
        BYTE& b = GetBits(static_cast<DWORD>(row))[x >> 1];
        b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | nibble) : static_cast<BYTE>((b & 0x0F) | (nibble << 4));
    };
    DecodeRleStream(
        hFile, GetHeight(),
        [&](int64_t row, int64_t col, LONG count, BYTE value) {
            for (LONG i = 0; i < count && col + i < rowPixels; ++i)
                put(row, col + i, static_cast<BYTE>((i & 1) ? (value & 0x0F) : (value >> 4)));
        },
        [&](int64_t row, int64_t col, LONG count) {
            const size_t bytes = (static_cast<size_t>(count) + 1) / 2;
            const size_t got = hFile->Read(literal, 1, bytes);
            for (LONG i = 0; i < count && static_cast<size_t>(i / 2) < got && col + i < rowPixels; ++i)
                put(row, col + i, static_cast<BYTE>((i & 1) ? (literal[i / 2] & 0x0F) : (literal[i / 2] >> 4)));
            if (got < bytes) return false;
            if (bytes & 1) hFile->GetC();
            return true;
        });
}

bool PxBmpCodec::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    const uint64_t paletteBytes = GetPaletteSize();
    const uint64_t pixelBytes = uint64_t{GetEffWidth()} * GetHeight();
    const uint64_t offBits = BITMAPFILEHEADER_SIZE + BITMAPINFOHEADER_SIZE + paletteBytes;

    BYTE fb[BITMAPFILEHEADER_SIZE] = {};
    le::put16(fb, 0x4D42);
    le::put32(fb + 2, static_cast<DWORD>(offBits + pixelBytes));
    le::put32(fb + 10, static_cast<DWORD>(offBits));

    // Always a plain bottom-up BITMAPINFOHEADER, whatever the working header says of its origin.
    BYTE ib[BITMAPINFOHEADER_SIZE] = {};
    le::put32(ib, BITMAPINFOHEADER_SIZE);
    le::put32(ib + 4, static_cast<DWORD>(head.biWidth));
    le::put32(ib + 8, static_cast<DWORD>(head.biHeight));
    le::put16(ib + 12, 1);
    le::put16(ib + 14, GetBpp());
    le::put32(ib + 16, BI_RGB);
    le::put32(ib + 20, static_cast<DWORD>(pixelBytes));
    le::put32(ib + 24, static_cast<DWORD>(head.biXPelsPerMeter));
    le::put32(ib + 28, static_cast<DWORD>(head.biYPelsPerMeter));
    le::put32(ib + 32, GetNumColors());
    le::put32(ib + 36, head.biClrImportant);

    // Every write is checked: a full disk must not pass for a saved file.
    const bool ok = hFile->Write(fb, 1, sizeof(fb)) == sizeof(fb) && hFile->Write(ib, 1, sizeof(ib)) == sizeof(ib) &&
                    (paletteBytes == 0 || hFile->Write(GetPalette(), 1, paletteBytes) == paletteBytes) &&
                    hFile->Write(GetBits(), 1, pixelBytes) == pixelBytes;
    if (!ok) {
        SetLastError("Error writing BMP file");
        return false;
    }
    return true;
}
