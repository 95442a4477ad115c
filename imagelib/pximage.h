// PxImage: the one image class of the system. A packed bottom-up DIB (header, palette, rows in
// one heap block) with an information block, optional selection and alpha planes and owned
// sub-images. Codecs derive from it; image operations are its members.
//
// Coordinates: x from the left, y from the bottom row (the DIB's storage order).
#pragma once

#include <atomic>
#include <cstdio>

#include "imagelib/pxfile.h"
#include "imagelib/pxformat.h"
#include "platform/wintypes.h"

// A 32-bit long that one thread writes while another reads (progress, escape). Copyable so that
// the information block can be copied as a whole.
class PxAtomicLong {
public:
    PxAtomicLong(LONG v = 0) : m_v(v) {}
    PxAtomicLong(const PxAtomicLong& o) : m_v(o.m_v.load(std::memory_order_relaxed)) {}
    PxAtomicLong& operator=(const PxAtomicLong& o) {
        m_v.store(o.m_v.load(std::memory_order_relaxed), std::memory_order_relaxed);
        return *this;
    }
    PxAtomicLong& operator=(LONG v) {
        m_v.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator LONG() const { return m_v.load(std::memory_order_relaxed); }

private:
    std::atomic<LONG> m_v;
};

constexpr unsigned long long PXIMAGE_MAX_MEMORY = 256000000ULL;

// The information block: only plain settings and state. The pointers that tie an image to its
// memory (bits, ghost body, sub-images) live outside it, so copying the block never shares memory.
struct PxImageInfo {
    DWORD dwEffWidth = 0;
    DWORD dwType = 0;
    char szLastError[256] = {};
    PxAtomicLong nProgress;
    PxAtomicLong nEscape;
    LONG nBkgndIndex = 0;      // transparent index, -1 none
    RGBQUAD nBkgndColor = {};  // transparent colour of 24-bit images
    BYTE nQuality = 0;         // JPEG quality
    BYTE nJpegScale = 0;
    LONG nFrame = 0;
    LONG nNumFrames = 0;
    DWORD dwFrameDelay = 0;
    LONG xDPI = 0;
    LONG yDPI = 0;
    RECT rSelectionBox = {};
    BYTE nAlphaMax = 0;
    bool bAlphaPaletteEnabled = false;
    bool bEnabled = false;
    LONG xOffset = 0;
    LONG yOffset = 0;
    DWORD dwCodecOpt[PXIMAGE_FORMAT_COUNT] = {};
    RGBQUAD last_c = {};  // nearest-colour cache
    BYTE last_c_index = 0;
    bool last_c_isvalid = false;
    DWORD dwFlags = 0;
};

class PxImage {
public:
    struct rgb_color {
        BYTE r, g, b;
    };

    // ---- construction and life cycle ----
    explicit PxImage(DWORD imagetype = 0);
    PxImage(DWORD width, DWORD height, DWORD bpp, DWORD imagetype = 0);
    PxImage(const PxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    PxImage(const char* filename, DWORD imagetype);
    PxImage(FILE* stream, DWORD imagetype);
    PxImage(PxFile* stream, DWORD imagetype);
    PxImage(BYTE* buffer, DWORD size, DWORD imagetype);
    virtual ~PxImage();
    PxImage& operator=(const PxImage& src);

    void* Create(DWORD width, DWORD height, DWORD bpp, DWORD imagetype = 0);
    bool Destroy();
    void Copy(const PxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    bool Transfer(PxImage& from);
    bool CreateFromArray(BYTE* array, DWORD width, DWORD height, DWORD bitsperpixel, DWORD bytesperline, bool flip);
    bool CreateFromMatrix(BYTE** rows, DWORD width, DWORD height, DWORD bitsperpixel, DWORD bytesperline, bool flip);
    static void FreeMemory(void* p);

    // ---- geometry and memory ----
    BYTE* GetBits(DWORD row = 0);
    DWORD GetSize();
    bool IsInside(LONG x, LONG y);
    void Clear(BYTE value = 0);
    bool IsValid() const { return pDib != nullptr; }

    // ---- information ----
    DWORD GetWidth() const { return static_cast<DWORD>(head.biWidth); }
    DWORD GetHeight() const { return static_cast<DWORD>(head.biHeight); }
    WORD GetBpp() const { return head.biBitCount; }
    DWORD GetEffWidth() const { return info.dwEffWidth; }
    DWORD GetType() const { return info.dwType; }
    void* GetDIB() const { return pDib; }
    DWORD GetNumColors() const { return head.biClrUsed; }
    bool IsIndexed() const { return head.biClrUsed != 0; }
    BYTE GetColorType();
    LONG GetTransIndex() const { return info.nBkgndIndex; }
    void SetTransIndex(LONG idx) { info.nBkgndIndex = idx; }
    bool IsTransparent() const { return info.nBkgndIndex >= 0; }
    RGBQUAD GetTransColor();
    void SetTransColor(RGBQUAD rgb);
    LONG GetXDPI() const { return info.xDPI; }
    LONG GetYDPI() const { return info.yDPI; }
    void SetXDPI(LONG dpi);
    void SetYDPI(LONG dpi);
    DWORD GetFlags() const { return info.dwFlags; }
    void SetFlags(DWORD flags, bool lockreserved = true);
    DWORD GetCodecOption(DWORD format = 0);
    bool SetCodecOption(DWORD option, DWORD format = 0);
    DWORD GetFrameDelay() const { return info.dwFrameDelay; }
    void SetFrameDelay(DWORD d) { info.dwFrameDelay = d; }
    void GetOffset(LONG* x, LONG* y);
    void SetOffset(LONG x, LONG y);
    BYTE GetJpegQuality() const { return info.nQuality; }
    void SetJpegQuality(BYTE q) { info.nQuality = q; }
    BYTE GetJpegScale() const { return info.nJpegScale; }
    void SetJpegScale(BYTE s) { info.nJpegScale = s; }
    LONG GetProgress() const { return info.nProgress; }
    void SetProgress(LONG p) { info.nProgress = p; }
    LONG GetEscape() const { return info.nEscape; }
    void SetEscape(LONG e) { info.nEscape = e; }
    bool IsEnabled() const { return info.bEnabled; }
    void Enable(bool enable = true) { info.bEnabled = enable; }
    LONG GetNumFrames() const { return info.nNumFrames; }
    LONG GetFrame() const { return info.nFrame; }
    void SetFrame(LONG f) { info.nFrame = f; }
    const char* GetLastError() const { return info.szLastError; }
    const char* GetVersion();
    float GetVersionNumber();
    // The working header (width, height, depth, pixels per metre).
    const BITMAPINFOHEADER& GetHeader() const { return head; }

    // ---- format dispatch ----
    bool Load(const char* filename, DWORD imagetype = 0);
    bool Decode(PxFile* stream, DWORD imagetype);
    bool Decode(FILE* stream, DWORD imagetype);
    bool Decode(BYTE* buffer, DWORD size, DWORD imagetype);
    bool Save(const char* filename, DWORD imagetype);
    bool Encode(PxFile* stream, DWORD imagetype);
    bool Encode(FILE* stream, DWORD imagetype);
    bool Encode(BYTE*& buffer, LONG& size, DWORD imagetype);
    bool Encode(PxFile* stream, PxImage** images, int count, DWORD imagetype);
    bool Encode(FILE* stream, PxImage** images, int count, DWORD imagetype);
    bool Encode2RGBA(PxFile* stream);
    bool Encode2RGBA(BYTE*& buffer, LONG& size);
    // True when the codec of this format id is built in.
    static bool IsFormatSupported(DWORD imagetype);

    // ---- pixels and palette ----
    BYTE GetPixelIndex(LONG x, LONG y);
    void SetPixelIndex(LONG x, LONG y, BYTE i);
    RGBQUAD GetPixelColor(LONG x, LONG y, bool getalpha = true);
    BYTE GetPixelGray(LONG x, LONG y);
    void SetPixelColor(LONG x, LONG y, RGBQUAD c, bool setalpha = false);
    void SetPixelColor(LONG x, LONG y, COLORREF cr);
    void BlendPixelColor(LONG x, LONG y, RGBQUAD c, float blend, bool setalpha = false);
    bool IsTransparent(LONG x, LONG y);
    void DrawLine(int startx, int endx, int starty, int endy, RGBQUAD color, bool setalpha = false);
    void DrawLine(int startx, int endx, int starty, int endy, COLORREF cr);
    BYTE GetNearestIndex(RGBQUAD c);
    DWORD GetPaletteSize();
    RGBQUAD* GetPalette() const;
    RGBQUAD GetPaletteColor(BYTE idx);
    bool GetPaletteColor(BYTE i, BYTE* r, BYTE* g, BYTE* b);
    void SetPaletteColor(BYTE idx, BYTE r, BYTE g, BYTE b, BYTE alpha = 0);
    void SetPaletteColor(BYTE idx, RGBQUAD c);
    void SetPaletteColor(BYTE idx, COLORREF cr);
    void SetPalette(DWORD n, BYTE* r, BYTE* g = nullptr, BYTE* b = nullptr);
    void SetPalette(rgb_color* rgb, DWORD nColors = 256);
    void SetPalette(RGBQUAD* pPal, DWORD nColors = 256);
    void SetGrayPalette();
    void BlendPalette(COLORREF cr, LONG perc);
    void SetStdPalette();
    bool IsGrayScale();
    void SwapIndex(BYTE idx1, BYTE idx2);
    bool IsSamePalette(PxImage& img, bool bCheckAlpha = true);
    DWORD GetClrImportant() const { return head.biClrImportant; }
    void SetClrImportant(DWORD ncolors = 0);
    static RGBQUAD RGBtoRGBQUAD(COLORREF cr);
    static COLORREF RGBQUADtoRGB(RGBQUAD c);

    // ---- alpha channel ----
    bool AlphaIsValid() const { return pAlpha != nullptr; }
    void AlphaCreate();
    void AlphaDelete();
    void AlphaClear();
    void AlphaSet(BYTE level);
    void AlphaInvert();
    void AlphaSet(LONG x, LONG y, BYTE level);
    BYTE AlphaGet(LONG x, LONG y);
    BYTE* AlphaGetPointer(LONG x = 0, LONG y = 0);
    BYTE AlphaGetMax() const { return info.nAlphaMax; }
    void AlphaSetMax(BYTE nAlphaMax) { info.nAlphaMax = nAlphaMax; }
    void AlphaPaletteEnable(bool enable = true) { info.bAlphaPaletteEnabled = enable; }
    bool AlphaPaletteIsEnabled() const { return info.bAlphaPaletteEnabled; }
    bool AlphaPaletteIsValid();
    void AlphaPaletteClear();
    bool AlphaCopy(PxImage& from);
    bool AlphaSet(PxImage& from);
    bool AlphaFlip();
    bool AlphaMirror();
    bool AlphaSplit(PxImage* dest);
    bool AlphaPaletteSplit(PxImage* dest);
    bool AlphaStrip();

    // ---- flips, right-angle rotations, crop and canvas ----
    bool Flip();
    bool Mirror();
    bool RotateLeft(PxImage* iDst = nullptr);
    bool RotateRight(PxImage* iDst = nullptr);
    bool Rotate180(PxImage* iDst = nullptr);
    bool Crop(LONG left, LONG top, LONG right, LONG bottom, PxImage* iDst = nullptr);
    bool Crop(const RECT& rect, PxImage* iDst = nullptr);
    bool CropRotatedRectangle(LONG topx, LONG topy, LONG width, LONG height, float angle, PxImage* iDst = nullptr);
    bool Expand(LONG left, LONG top, LONG right, LONG bottom, RGBQUAD canvascolor, PxImage* iDst = nullptr);
    bool Expand(LONG newx, LONG newy, RGBQUAD canvascolor, PxImage* iDst = nullptr);
    bool Thumbnail(LONG newx, LONG newy, RGBQUAD canvascolor, PxImage* iDst = nullptr);

    // ==== drawing and clipboard (begin) ====
    // ==== drawing and clipboard (end) ====

    // ==== selection (begin) ====
    // ==== selection (end) ====

    // ==== interpolation and overflow (begin) ====
    // ==== interpolation and overflow (end) ====

    // ==== free rotation, skew, circle transforms (begin) ====
    // ==== free rotation, skew, circle transforms (end) ====

    // ==== resampling (begin) ====
    // ==== resampling (end) ====

    // ==== bit depth, gray scale, dithering, quantizer (begin) ====
    // ==== bit depth, gray scale, dithering, quantizer (end) ====

    // ==== point operations, colour spaces (begin) ====
    // ==== point operations, colour spaces (end) ====

    // ==== filters, histograms, FFT, combine, repair, mixing (begin) ====
    // ==== filters, histograms, FFT, combine, repair, mixing (end) ====

protected:
    void Startup(DWORD imagetype = 0);
    void CopyInfo(const PxImage& src);
    void Ghost(PxImage* from);
    void Bitfield2RGB(BYTE* src, DWORD redmask, DWORD greenmask, DWORD bluemask, BYTE bpp);
    static int CompareColors(const void* elem1, const void* elem2);
    bool EncodeSafeCheck(PxFile* hFile);
    // Copies at most 255 characters of text into the last-error buffer.
    void SetLastError(const char* text);

    BYTE BlindGetPixelIndex(LONG x, LONG y);
    RGBQUAD BlindGetPixelColor(LONG x, LONG y);
    BYTE* BlindGetPixelPointer(LONG x, LONG y);
    BYTE BlindAlphaGet(LONG x, LONG y);
    void RGBtoBGR(BYTE* buffer, int length);

    // Codec hooks: format dispatch creates a codec object (pxcodecs.h) and reaches its decoder
    // and encoders through these. A plain PxImage is no codec and fails them.
    friend PxImage* PxNewCodec(DWORD imagetype);
    virtual bool CodecDecode(PxFile* stream);
    virtual bool CodecEncode(PxFile* stream);
    virtual bool CodecEncodeMulti(PxFile* stream, PxImage** images, int count);

    // ==== protected helpers of later groups (begin) ====
    // ==== protected helpers of later groups (end) ====

    void* pDib = nullptr;            // the packed DIB block
    BITMAPINFOHEADER head = {};      // working copy of the DIB header
    PxImageInfo info;                // the information block
    BYTE* pSelection = nullptr;      // selection plane, width x height
    BYTE* pAlpha = nullptr;          // alpha plane, width x height
    PxImage** ppFrames = nullptr;    // owned sub-images
    LONG nNumLayers = 0;             // number of sub-images
    BYTE* pBits = nullptr;           // start of the pixel rows inside the DIB
    PxImage* pGhost = nullptr;       // the body this object is a ghost of
};
