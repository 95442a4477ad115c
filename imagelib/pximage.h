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
    DWORD dwFitWidth = 0;   // decode hint (SetDecodeHint), 0 x 0 none
    DWORD dwFitHeight = 0;
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
    // Decode hint: the caller shows the picture shrunk to fit inside width x height, keeping its
    // aspect ratio. A codec that can read a reduced picture cheaply (JPEG's DCT scaling) may then
    // deliver one, never smaller than that fitted size; the others decode in full. 0 x 0, the
    // default, asks for the full picture.
    void SetDecodeHint(DWORD width, DWORD height) { info.dwFitWidth = width; info.dwFitHeight = height; }
    DWORD GetDecodeHintWidth() const { return info.dwFitWidth; }
    DWORD GetDecodeHintHeight() const { return info.dwFitHeight; }
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
    // Drawing goes into a BGRA surface (platform/surface.h); x, y, cx, cy are logical
    // coordinates of the target rectangle, a negative cx or cy means the image's own size.
    // Each returns 1 when it drew and 0 when nothing could be drawn.
    // (The elaborated "struct" names the global surface type of platform/surface.h.)
    long Draw(struct PxSurface* hdc, LONG x = 0, LONG y = 0, LONG cx = -1, LONG cy = -1, RECT* pClipRect = nullptr,
              bool bSmooth = false);
    long Draw(PxSurface* hdc, const RECT& rect, RECT* pClipRect = nullptr, bool bSmooth = false);
    long Draw2(PxSurface* hdc, LONG x = 0, LONG y = 0, LONG cx = -1, LONG cy = -1);
    long Draw2(PxSurface* hdc, const RECT& rect);
    long Stretch(PxSurface* hdc, LONG xoffset, LONG yoffset, LONG xsize, LONG ysize, DWORD dwRop = 0x00CC0020 /* SRCCOPY */);
    long Stretch(PxSurface* hdc, const RECT& rect, DWORD dwRop = 0x00CC0020 /* SRCCOPY */);
    long Tile(PxSurface* hdc, RECT* rc);
    // A BGRA copy of the image (width x height x 4 bytes, top row first, alpha 255), allocated
    // with malloc: the caller releases it with FreeMemory. NULL without DIB.
    BYTE* MakeBitmap(PxSurface* hdc = nullptr);
    // The clipboard's packed DIB (header, palette, rows) in a zero-initialised malloc block of
    // GetSize() bytes; *size receives its length. The caller releases it with FreeMemory.
    BYTE* CopyToHandle(DWORD* size = nullptr);
    // Builds the image from a packed DIB of `size` bytes; every read stays inside the block.
    bool CreateFromHANDLE(const BYTE* hMem, size_t size);
    // Builds a 24-bit image from a BGRA bitmap (its clip rectangle is ignored).
    bool CreateFromHBITMAP(const PxSurface* hbmp);
    // As CreateFromHBITMAP, and the bitmap's alpha bytes (the icon's mask) become the alpha plane.
    bool CreateFromHICON(const PxSurface* hicon);

    // The font of the text tool, with the platform's field names; the face is matched
    // through fontconfig, the height in pixels (negative: character height).
    struct PxLogFont {
        LONG lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
        BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality,
            lfPitchAndFamily;
        char lfFaceName[32];
    };
    // The text tool's record. Text is UTF-8, lines separated by CR LF.
    struct tagPxTextInfo {
        char text[4096];
        PxLogFont lfont;
        COLORREF fcolor;
        LONG align;  // 0 left, 1 centre, 2 right
        BYTE opaque;
        COLORREF bcolor;
        float b_opacity;  // weight of the existing pixels under the box
        BYTE b_outline;
        BYTE r_radius;  // corner radius in percent of the line height
    };
    // Text into the image's own pixels; (x, y) is the text box's bottom-left corner with y
    // counted from the image's top. The surface is not drawn into. DrawStringEx returns -1
    // for an empty image.
    long DrawString(PxSurface* hdc, LONG x, LONG y, const char* text, RGBQUAD color, const char* font,
                    LONG lSize = 0, LONG lWeight = 400, BYTE bItalic = 0, BYTE bUnderline = 0, bool bSetAlpha = false);
    long DrawStringEx(PxSurface* hdc, LONG x, LONG y, tagPxTextInfo* pTextType, bool bSetAlpha = false);
    void InitTextInfo(tagPxTextInfo* txt);
    // ==== drawing and clipboard (end) ====

    // ==== selection (begin) ====
    // A window region: the union of the rectangles ORed into it (ops/selection/pxregion.h).
    typedef struct PxRegion* HRGN;
    bool SelectionIsValid() const { return pSelection != nullptr; }
    bool SelectionCreate();
    bool SelectionDelete();
    bool SelectionClear();
    bool SelectionInvert();
    void SelectionGetBox(RECT& r) const { r = info.rSelectionBox; }
    bool SelectionIsInside(LONG x, LONG y);
    bool SelectionAddPixel(int x, int y);
    bool SelectionAddRect(RECT r);
    bool SelectionAddEllipse(RECT r);
    bool SelectionAddPolygon(POINT* points, LONG npoints);
    bool SelectionAddColor(RGBQUAD c);
    bool SelectionCopy(PxImage& from);
    bool SelectionSplit(PxImage* dest);
    bool SelectionToHRGN(HRGN& region);
    // ==== selection (end) ====

    // ==== interpolation and overflow (begin) ====
    enum InterpolationMethod {
        IM_NEAREST_NEIGHBOUR = 1,
        IM_BILINEAR = 2,
        IM_BSPLINE = 3,
        IM_CUBIC = 4,
        IM_GENERALIZED_CUBIC = 5,
        IM_LANCZOS_SINC = 6,
        IM_BOX = 7,
        IM_HERMITE = 8,
        IM_HAMMING = 9,
        IM_SINC = 10,
        IM_BLACKMAN = 11,
        IM_BESSEL = 12,
        IM_GAUSSIAN = 13,
        IM_QUADRATIC = 14,
        IM_MITCHELL = 15,
        IM_CATROM = 16
    };
    enum OverflowMethod {
        OM_COLOR = 1,
        OM_BACKGROUND = 2,
        OM_TRANSPARENT = 3,
        OM_WRAP = 4,
        OM_REPEAT = 5,
        OM_MIRROR = 6
    };
    void OverflowCoordinates(LONG& x, LONG& y, OverflowMethod ofMethod);
    void OverflowCoordinates(float& x, float& y, OverflowMethod ofMethod);
    RGBQUAD GetPixelColorWithOverflow(LONG x, LONG y, OverflowMethod ofMethod = OM_BACKGROUND,
                                      RGBQUAD* rplColor = nullptr);
    RGBQUAD GetPixelColorInterpolated(float x, float y, InterpolationMethod inMethod = IM_BILINEAR,
                                      OverflowMethod ofMethod = OM_BACKGROUND, RGBQUAD* rplColor = nullptr);
    RGBQUAD GetAreaColorInterpolated(float xc, float yc, float w, float h, InterpolationMethod inMethod,
                                     OverflowMethod ofMethod = OM_BACKGROUND, RGBQUAD* rplColor = nullptr);
    static float KernelBSpline(const float x);
    static float KernelLinear(const float t);
    static float KernelCubic(const float t);
    static float KernelGeneralizedCubic(const float t, const float a = -0.5f);
    static float KernelLanczosSinc(const float t, const float r = 6);
    static float KernelBox(const float x);
    static float KernelHermite(const float x);
    static float KernelHamming(const float x);
    static float KernelSinc(const float x);
    static float KernelBlackman(const float x);
    static float KernelBessel_J1(const float x);
    static float KernelBessel_P1(const float x);
    static float KernelBessel_Q1(const float x);
    static float KernelBessel_Order1(float x);
    static float KernelBessel(const float x);
    static float KernelGaussian(const float x);
    static float KernelQuadratic(const float x);
    static float KernelMitchell(const float x);
    static float KernelCatrom(const float x);
    // ==== interpolation and overflow (end) ====

    // ==== free rotation, skew, circle transforms (begin) ====
    bool Rotate(float angle, PxImage* iDst = nullptr);
    bool Rotate2(float angle, PxImage* iDst = nullptr, InterpolationMethod inMethod = IM_BILINEAR,
                 OverflowMethod ofMethod = OM_BACKGROUND, RGBQUAD* replColor = nullptr,
                 bool optimizeRightAngles = true, bool bKeepOriginalSize = false);
    bool Skew(float xgain, float ygain, LONG xpivot = 0, LONG ypivot = 0, bool bEnableInterpolation = false);
    bool CircleTransform(int type, LONG rmax = 0, float Koeff = 1.0f);
    // ==== free rotation, skew, circle transforms (end) ====

    // ==== resampling (begin) ====
    bool Resample(LONG newx, LONG newy, int mode = 1, PxImage* iDst = nullptr);
    bool Resample2(LONG newx, LONG newy, InterpolationMethod inMethod, OverflowMethod ofMethod,
                   PxImage* iDst = nullptr, bool disableAveraging = false);
    bool QIShrink(LONG newx, LONG newy, PxImage* iDst = nullptr);
    // ==== resampling (end) ====

    // ==== bit depth, gray scale, dithering, quantizer (begin) ====
    bool GrayScale();
    bool Negative();
    bool IncreaseBpp(DWORD nbit);
    bool DecreaseBpp(DWORD nbit, bool errordiffusion = false, RGBQUAD* ppal = nullptr, DWORD clrimportant = 0);
    bool Dither(LONG method = 0);
    // ==== bit depth, gray scale, dithering, quantizer (end) ====

    // ==== point operations, colour spaces (begin) ====
    bool Threshold(BYTE level);
    bool SplitRGB(PxImage* r, PxImage* g, PxImage* b);
    bool SplitYUV(PxImage* y, PxImage* u, PxImage* v);
    bool SplitYIQ(PxImage* y, PxImage* i, PxImage* q);
    bool SplitXYZ(PxImage* x, PxImage* y, PxImage* z);
    bool SplitHSL(PxImage* h, PxImage* s, PxImage* l);
    bool SplitCMYK(PxImage* c, PxImage* m, PxImage* y, PxImage* k);
    static RGBQUAD RGBtoHSL(RGBQUAD lRGBColor);
    static RGBQUAD HSLtoRGB(RGBQUAD lHSLColor);
    static RGBQUAD HSLtoRGB(COLORREF cHSLColor);
    static RGBQUAD RGBtoYUV(RGBQUAD lRGBColor);
    static RGBQUAD YUVtoRGB(RGBQUAD lYUVColor);
    static RGBQUAD RGBtoYIQ(RGBQUAD lRGBColor);
    static RGBQUAD YIQtoRGB(RGBQUAD lYIQColor);
    static RGBQUAD RGBtoXYZ(RGBQUAD lRGBColor);
    static RGBQUAD XYZtoRGB(RGBQUAD lXYZColor);
    void HuePalette(float correction = 1);
    bool Colorize(BYTE hue, BYTE sat, float blend = 1.0f);
    bool Light(LONG brightness, LONG contrast = 0);
    float Mean();
    bool ShiftRGB(LONG r, LONG g, LONG b);
    bool Gamma(float gamma);
    bool Lut(BYTE* pLut);
    bool Lut(BYTE* pLutR, BYTE* pLutG, BYTE* pLutB, BYTE* pLutA = nullptr);
    bool RedEyeRemove();
    // ==== point operations, colour spaces (end) ====

    // ==== filters, histograms, FFT, combine, repair, mixing (begin) ====
    bool Filter(LONG* kernel, LONG Ksize, LONG Kfactor, LONG Koffset);
    bool Erode(LONG Ksize = 2);
    bool Dilate(LONG Ksize = 2);
    bool Edge(LONG Ksize = 2);
    bool Median(LONG Ksize = 3);
    bool Contour();
    bool Jitter(LONG radius = 2);
    bool Noise(LONG level);
    bool UnsharpMask(float radius = 5.0f, float amount = 0.5f, int threshold = 0);

    LONG Histogram(LONG* red, LONG* green = nullptr, LONG* blue = nullptr, LONG* gray = nullptr,
                   LONG colorspace = 0);
    bool HistogramStretch(LONG method = 0);
    bool HistogramEqualize();
    bool HistogramNormalize();
    bool HistogramLog();
    bool HistogramRoot();

    bool FFT2(PxImage* srcReal, PxImage* srcImag, PxImage* dstReal, PxImage* dstImag, LONG direction = 1,
              bool bForceFFT = true, bool bMagnitude = true);
    bool Combine(PxImage* r, PxImage* g, PxImage* b, PxImage* a, LONG colorspace = 0);
    bool Repair(float radius = 0.25f, LONG niterations = 1, LONG colorspace = 0);

    enum ImageOpType {
        OpAdd = 0,
        OpAnd = 1,
        OpXor = 2,
        OpOr = 3,
        OpMask = 4,
        OpSrcCopy = 5,
        OpDstCopy = 6,
        OpSub = 7,
        OpSrcBlend = 8,
        OpScreen = 9
    };
    void Mix(PxImage& imgsrc2, ImageOpType op, LONG lXOffset = 0, LONG lYOffset = 0, bool bMixAlpha = false);
    void MixFrom(PxImage& imagesrc2, LONG lXOffset, LONG lYOffset);
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
    // point operations, filters, histograms, FFT, repair:
    static float HueToRGB(float n1, float n2, float hue);
    int gen_convolve_matrix(float radius, float** cmatrix_p);
    float* gen_lookup_table(float* cmatrix, int cmatrix_length);
    void blur_line(float* ctable, float* cmatrix, int cmatrix_length, BYTE* cur_col, BYTE* dest_col, int y,
                   LONG bytes);
    bool FFT(int dir, int m, double* x, double* y);
    bool DFT(int dir, LONG m, double* x1, double* y1, double* x2, double* y2);
    bool IsPowerof2(LONG x);
    bool RepairChannel(PxImage* ch, float radius);
    // The working region of the pixel operations: the selection's box clamped to the image, or
    // the whole image without a selection. Half-open: [xmin, xmax) x [ymin, ymax).
    void OpsRegion(LONG& xmin, LONG& xmax, LONG& ymin, LONG& ymax) const;
    // The selection test for a pixel known to lie inside the image.
    bool OpsSelected(LONG x, LONG y) const {
        return pSelection == nullptr || pSelection[static_cast<size_t>(y) * static_cast<DWORD>(head.biWidth) + x] != 0;
    }
    // An 8-bit image whose palette is the grey identity ramp (indices are grey levels).
    bool OpsIsGray8();
    bool OpsMorph(LONG Ksize, int kind, const char* name);
    // Median of 3 x 3 of a 24-bit or grey 8-bit image, written in place; false (nothing done)
    // when memory is missing.
    bool OpsMedian3(LONG xmin, LONG xmax, LONG ymin, LONG ymax);
    // Grey-value counts of every pixel (progress 0..50, escape ends the scan).
    void OpsGrayHistogram(int64_t hist[256]);
    // Every pixel (true colour; progress 50..100, escape) or palette entry goes through YUV with
    // its luma replaced by map[Y].
    void OpsRemapLuma(const BYTE map[256]);
    // selection, interpolation, free rotation, resampling, bit depth:
    void AddAveragingCont(const RGBQUAD& color, float surf, float& rr, float& gg, float& bb, float& aa);
    // Makes dst an empty image of this one's information block, depth, type and palette at the
    // given size; on failure copies dst's error text here and returns false.
    // zeroRows false: dst's rows are left unwritten (see CreateBlock); the caller writes them all.
    bool GeoNewImage(PxImage& dst, DWORD width, DWORD height, DWORD bpp, bool zeroRows = true);
    // Hands a finished result to iDst, or into this image when iDst is NULL.
    bool GeoHandOver(PxImage& result, PxImage* iDst);
    // Create, with the pixel rows left unwritten when zeroRows is false (header and palette are
    // still set and zeroed): only for a result whose every row byte, padding included, is written.
    void* CreateBlock(DWORD width, DWORD height, DWORD bpp, DWORD imagetype, bool zeroRows);
    void SelectionResetBox();
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
