// The image object: life cycle, memory layout and information accessors.
#include "imagelib/pximage.h"

#include "imagelib/core/pxblockcache.h"
#include "platform/le.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kHeaderSize = sizeof(BITMAPINFOHEADER);

DWORD NormalizedBpp(DWORD bpp) {
    if (bpp <= 1) return 1;
    if (bpp <= 4) return 4;
    if (bpp <= 8) return 8;
    return 24;
}

// Pixels per metre of a resolution; a resolution from a file can be so large that the metre
// count no longer fits the header's 32-bit field, so it stops at the largest value there.
LONG PelsPerMeter(LONG dpi) {
    const double ppm = std::floor(dpi * 39.37007874015748 + 0.5);
    return ppm >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<LONG>(ppm);
}

uint64_t EffWidthOf(uint64_t width, uint64_t bpp) { return ((width * bpp) + 31) / 32 * 4; }

// Scales a masked channel to 8 bits from the mask's own position and width; masks come from
// files, so nothing here may shift by a negative or oversized count.
BYTE MaskedChannel(DWORD value, DWORD mask) {
    if (mask == 0) return 0;
    int low = __builtin_ctz(mask);
    int width = __builtin_popcount(mask);
    DWORD v = (value & mask) >> low;
    if (width > 8) return static_cast<BYTE>(v >> (width - 8));
    return static_cast<BYTE>(v << (8 - width));
}

// Shared by CreateFromArray and CreateFromMatrix: rowAt(i) gives source row i or NULL to skip it.
template <typename RowAt>
bool FillFromRows(PxImage& img, DWORD width, DWORD height, DWORD bpp, DWORD bytesperline, bool flip, RowAt rowAt) {
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (!img.Create(width, height, bpp, 0)) return false;
    if (bpp < 24) img.SetGrayPalette();
    if (bpp == 32) img.AlphaCreate();
    for (DWORD i = 0; i < height; i++) {
        const BYTE* src = rowAt(i);
        if (!src) continue;
        const DWORD row = flip ? height - 1 - i : i;
        BYTE* dst = img.GetBits(row);
        if (bpp == 32) {
            // Only whole 4-byte pixels inside the caller's stated row length are read.
            const DWORD n = bytesperline / 4 < width ? bytesperline / 4 : width;
            BYTE* alpha = img.AlphaGetPointer(0, static_cast<LONG>(row));
            for (DWORD x = 0; x < n; x++) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
                if (alpha) alpha[x] = src[4 * x + 3];
            }
        } else {
            const DWORD n = img.GetEffWidth() < bytesperline ? img.GetEffWidth() : bytesperline;
            std::memcpy(dst, src, n);
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// construction

PxImage::PxImage(DWORD imagetype) { Startup(imagetype); }

PxImage::PxImage(DWORD width, DWORD height, DWORD bpp, DWORD imagetype) {
    Startup(imagetype);
    Create(width, height, bpp, imagetype);
}

PxImage::PxImage(const PxImage& src, bool copypixels, bool copyselection, bool copyalpha) {
    Startup(src.GetType());
    Copy(src, copypixels, copyselection, copyalpha);
}

PxImage::PxImage(const char* filename, DWORD imagetype) {
    Startup(imagetype);
    Load(filename, imagetype);
}

PxImage::PxImage(FILE* stream, DWORD imagetype) {
    Startup(imagetype);
    Decode(stream, imagetype);
}

PxImage::PxImage(PxFile* stream, DWORD imagetype) {
    Startup(imagetype);
    Decode(stream, imagetype);
}

PxImage::PxImage(BYTE* buffer, DWORD size, DWORD imagetype) {
    Startup(imagetype);
    Decode(buffer, size, imagetype);
}

PxImage::~PxImage() { Destroy(); }

PxImage& PxImage::operator=(const PxImage& src) {
    if (this != &src) Copy(src, true, true, true);
    return *this;
}

void PxImage::Startup(DWORD imagetype) {
    pDib = nullptr;
    pSelection = nullptr;
    pAlpha = nullptr;
    ppFrames = nullptr;
    nNumLayers = 0;
    pBits = nullptr;
    pGhost = nullptr;
    head = BITMAPINFOHEADER{};
    info = PxImageInfo{};
    info.dwType = imagetype;
    info.nQuality = 90;
    info.nAlphaMax = 255;
    info.nBkgndIndex = -1;
    info.bEnabled = true;
    SetXDPI(96);
    SetYDPI(96);
}

void* PxImage::Create(DWORD width, DWORD height, DWORD bpp, DWORD imagetype) {
    return CreateBlock(width, height, bpp, imagetype, true);
}

void* PxImage::CreateBlock(DWORD width, DWORD height, DWORD bpp, DWORD imagetype, bool zeroRows) {
    if (!Destroy()) return nullptr;
    if (width == 0 || height == 0) {
        SetLastError("PxImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    bpp = NormalizedBpp(bpp);

    // Everything in 64 bits: the DIB's own size fields are 32-bit and must not wrap.
    const uint64_t w = width, h = height;
    const uint64_t effwidth = EffWidthOf(w, bpp);
    const uint64_t sizeimage = effwidth * h;
    const DWORD colors = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    const uint64_t total = kHeaderSize + uint64_t(colors) * sizeof(RGBQUAD) + sizeimage;
    if ((static_cast<unsigned __int128>(w * h) * bpp) / 256 > PXIMAGE_MAX_MEMORY || w > INT32_MAX ||
        h > INT32_MAX || total > UINT32_MAX) {
        SetLastError("PXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }

    info.dwType = imagetype;
    info.dwEffWidth = static_cast<DWORD>(effwidth);
    info.last_c_isvalid = false;
    head.biSize = kHeaderSize;
    head.biWidth = static_cast<LONG>(width);
    head.biHeight = static_cast<LONG>(height);
    head.biPlanes = 1;
    head.biBitCount = static_cast<WORD>(bpp);
    head.biCompression = BI_RGB;
    head.biSizeImage = static_cast<DWORD>(sizeimage);
    head.biClrUsed = colors;
    head.biClrImportant = 0;

    // Zeroed: palette and rows start black, and decoders that skip rows leave nothing stale.
    // Only an operation that writes every row byte, padding included, skips the rows' fill.
    pDib = zeroRows ? std::calloc(1, static_cast<size_t>(total)) : pxcore::PxBlockCache::Instance().AllocUnfilled(static_cast<size_t>(total));
    if (!pDib) {
        SetLastError("PxImage::Create can't allocate memory");
        return nullptr;
    }
    if (!zeroRows) std::memset(pDib, 0, static_cast<size_t>(total - sizeimage));
    std::memcpy(pDib, &head, kHeaderSize);
    pBits = static_cast<BYTE*>(pDib) + kHeaderSize + GetPaletteSize();
    return pDib;
}

bool PxImage::Destroy() {
    if (pGhost) return false;
    if (ppFrames) {
        for (LONG i = 0; i < nNumLayers; i++) delete ppFrames[i];
        std::free(ppFrames);
        ppFrames = nullptr;
    }
    nNumLayers = 0;
    std::free(pSelection);
    pSelection = nullptr;
    std::free(pAlpha);
    pAlpha = nullptr;
    pxcore::PxBlockCache::Instance().Release(pDib);
    pDib = nullptr;
    pBits = nullptr;
    return true;
}

void PxImage::Copy(const PxImage& src, bool copypixels, bool copyselection, bool copyalpha) {
    if (this == &src) return;
    info = src.info;
    head.biXPelsPerMeter = src.head.biXPelsPerMeter;
    head.biYPelsPerMeter = src.head.biYPelsPerMeter;
    if (!Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType())) return;
    info.last_c_isvalid = false;
    if (copypixels && pDib && src.pDib && src.head.biClrUsed == head.biClrUsed) {
        // Same dimensions, depth and palette length, so the blocks have the same layout.
        std::memcpy(pDib, src.pDib, static_cast<size_t>(GetSize()));
        head.biClrImportant = src.head.biClrImportant;
    } else if (copypixels && pDib && src.pDib) {
        // A source with a short palette (a quantized decode) lays its rows out earlier in its
        // block: copy the palette it has and the rows apart.
        const DWORD n = src.GetNumColors() < GetNumColors() ? src.GetNumColors() : GetNumColors();
        if (n) std::memcpy(GetPalette(), src.GetPalette(), n * sizeof(RGBQUAD));
        std::memcpy(pBits, src.pBits, static_cast<size_t>(head.biSizeImage));
        head.biClrImportant = src.head.biClrImportant;
    } else if (src.pDib && src.GetNumColors() && GetNumColors()) {
        DWORD n = src.GetNumColors() < GetNumColors() ? src.GetNumColors() : GetNumColors();
        std::memcpy(GetPalette(), src.GetPalette(), n * sizeof(RGBQUAD));
    }
    const size_t plane = static_cast<size_t>(GetWidth()) * GetHeight();
    if (copyselection && src.pSelection) {
        std::free(pSelection);
        pSelection = static_cast<BYTE*>(std::malloc(plane));
        if (pSelection) std::memcpy(pSelection, src.pSelection, plane);
    }
    if (copyalpha && src.pAlpha) {
        std::free(pAlpha);
        pAlpha = static_cast<BYTE*>(std::malloc(plane));
        if (pAlpha) std::memcpy(pAlpha, src.pAlpha, plane);
    }
}

void PxImage::CopyInfo(const PxImage& src) {
    if (pDib == nullptr) info = src.info;
}

bool PxImage::Transfer(PxImage& from) {
    if (&from == this) return true;
    // A ghost shares its body's memory; taking it over would free that memory twice.
    if (from.pGhost) return false;
    if (!Destroy()) return false;
    head = from.head;
    info = from.info;
    pDib = from.pDib;
    pBits = from.pBits;
    pSelection = from.pSelection;
    pAlpha = from.pAlpha;
    ppFrames = from.ppFrames;
    nNumLayers = from.nNumLayers;

    from.head = BITMAPINFOHEADER{};
    from.info = PxImageInfo{};
    from.pDib = nullptr;
    from.pBits = nullptr;
    from.pSelection = nullptr;
    from.pAlpha = nullptr;
    from.ppFrames = nullptr;
    from.nNumLayers = 0;
    return true;
}

void PxImage::Ghost(PxImage* from) {
    if (!from || from == this) return;
    if (!pGhost) Destroy();
    head = from->head;
    info = from->info;
    pDib = from->pDib;
    pBits = from->pBits;
    pSelection = from->pSelection;
    pAlpha = from->pAlpha;
    ppFrames = from->ppFrames;
    nNumLayers = from->nNumLayers;
    pGhost = from;
}

bool PxImage::CreateFromArray(BYTE* array, DWORD width, DWORD height, DWORD bitsperpixel, DWORD bytesperline,
                              bool flip) {
    if (!array) return false;
    return FillFromRows(*this, width, height, bitsperpixel, bytesperline, flip,
                        [&](DWORD i) { return array + static_cast<uint64_t>(i) * bytesperline; });
}

bool PxImage::CreateFromMatrix(BYTE** rows, DWORD width, DWORD height, DWORD bitsperpixel, DWORD bytesperline,
                               bool flip) {
    if (!rows) return false;
    return FillFromRows(*this, width, height, bitsperpixel, bytesperline, flip, [&](DWORD i) { return rows[i]; });
}

void PxImage::Bitfield2RGB(BYTE* src, DWORD redmask, DWORD greenmask, DWORD bluemask, BYTE bpp) {
    if (!src || !pDib || head.biBitCount != 24) return;
    const uint64_t width = GetWidth(), height = GetHeight(), eff = GetEffWidth();
    if (bpp != 16 && bpp != 32) return;
    if (bpp == 32 && redmask == 0 && greenmask == 0 && bluemask == 0) {
        // No masks means the plain layout: blue, green, red in bytes 0, 1, 2.
        redmask = 0x00FF0000;
        greenmask = 0x0000FF00;
        bluemask = 0x000000FF;
    }
    const uint64_t bytes = bpp / 8;
    const uint64_t srcrow = bpp == 16 ? (width + 1) / 2 * 4 : width * 4;
    // Backwards, so that a source laid out at the start of our own rows converts in place.
    for (uint64_t y = height; y-- > 0;) {
        const BYTE* s = src + y * srcrow;
        BYTE* d = pBits + y * eff;
        for (uint64_t x = width; x-- > 0;) {
            const BYTE* p = s + bytes * x;
            DWORD w = bpp == 16 ? le::get16(p) : le::get32(p);
            BYTE b = MaskedChannel(w, bluemask);
            BYTE g = MaskedChannel(w, greenmask);
            BYTE r = MaskedChannel(w, redmask);
            d[3 * x] = b;
            d[3 * x + 1] = g;
            d[3 * x + 2] = r;
        }
    }
}

int PxImage::CompareColors(const void* elem1, const void* elem2) {
    const RGBQUAD* a = static_cast<const RGBQUAD*>(elem1);
    const RGBQUAD* b = static_cast<const RGBQUAD*>(elem2);
    int ga = (601 * a->rgbGreen + 306 * a->rgbRed + 117 * a->rgbBlue) >> 10;
    int gb = (601 * b->rgbGreen + 306 * b->rgbRed + 117 * b->rgbBlue) >> 10;
    return ga - gb;
}

void PxImage::FreeMemory(void* p) {
    if (p) std::free(p);
}

void PxImage::SetLastError(const char* text) {
    if (!text) text = "";
    std::strncpy(info.szLastError, text, sizeof info.szLastError - 1);
    info.szLastError[sizeof info.szLastError - 1] = '\0';
}

// ---------------------------------------------------------------------------------------------
// geometry and memory

BYTE* PxImage::GetBits(DWORD row) {
    if (!pDib || !pBits) return nullptr;
    if (row == 0) return pBits;
    if (row < GetHeight()) return pBits + static_cast<uint64_t>(row) * GetEffWidth();
    return nullptr;
}

DWORD PxImage::GetSize() { return head.biSize + GetPaletteSize() + head.biSizeImage; }

bool PxImage::IsInside(LONG x, LONG y) {
    return x >= 0 && y >= 0 && x < head.biWidth && y < head.biHeight;
}

void PxImage::Clear(BYTE value) {
    if (!pDib || !pBits) return;
    if (head.biBitCount == 1 && value) value = 255;
    if (head.biBitCount == 4) value = static_cast<BYTE>((value & 15) * 17);
    std::memset(pBits, value, head.biSizeImage);
}

// ---------------------------------------------------------------------------------------------
// information

BYTE PxImage::GetColorType() {
    if (pAlpha) return 4;
    return head.biBitCount <= 8 ? 1 : 2;
}

RGBQUAD PxImage::GetTransColor() {
    // A transparent index read from a file may lie outside the palette; it never indexes past it.
    if (head.biBitCount < 24 && info.nBkgndIndex >= 0 && static_cast<DWORD>(info.nBkgndIndex) < GetNumColors() &&
        GetPalette())
        return GetPalette()[info.nBkgndIndex];
    return info.nBkgndColor;
}

void PxImage::SetTransColor(RGBQUAD rgb) {
    rgb.rgbReserved = 0;
    info.nBkgndColor = rgb;
}

void PxImage::SetXDPI(LONG dpi) {
    if (dpi < 1) dpi = 96;
    info.xDPI = dpi;
    head.biXPelsPerMeter = PelsPerMeter(dpi);
}

void PxImage::SetYDPI(LONG dpi) {
    if (dpi < 1) dpi = 96;
    info.yDPI = dpi;
    head.biYPelsPerMeter = PelsPerMeter(dpi);
}

void PxImage::SetFlags(DWORD flags, bool lockreserved) { info.dwFlags = lockreserved ? (flags & 0xFFFF) : flags; }

DWORD PxImage::GetCodecOption(DWORD format) {
    if (format == 0) format = GetType();
    if (format >= PXIMAGE_FORMAT_COUNT) return 0;
    return info.dwCodecOpt[format];
}

bool PxImage::SetCodecOption(DWORD option, DWORD format) {
    if (format == 0) format = GetType();
    if (format >= PXIMAGE_FORMAT_COUNT) return false;
    info.dwCodecOpt[format] = option;
    return true;
}

void PxImage::GetOffset(LONG* x, LONG* y) {
    if (x) *x = info.xOffset;
    if (y) *y = info.yOffset;
}

void PxImage::SetOffset(LONG x, LONG y) {
    info.xOffset = x;
    info.yOffset = y;
}

const char* PxImage::GetVersion() { return "PxImage 5.99c0001"; }

float PxImage::GetVersionNumber() { return 5.99003f; }
