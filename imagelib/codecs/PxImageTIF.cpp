#include "imagelib/codecs/PxImageTIF.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <tiffio.h>

#include "imagelib/core/pxrowrunner.h"
#include "imagelib/core/pxsimd.h"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_TIF_VECTOR 1
#include <immintrin.h>
#endif

// A growable in-memory stream. Pages appended one after another are linked by reading back the
// directories already written, which a caller's stream may not allow; they are built here and
// the whole file is copied out after each page.
class PxTiffPageBuffer : public PxFile {
public:
    bool Close() override { return true; }
    size_t Read(void* buffer, size_t size, size_t count) override {
        if (!buffer || size == 0 || m_pos >= m_data.size()) return 0;
        size_t n = size * count;
        if (n > m_data.size() - m_pos) n = m_data.size() - m_pos;
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return n / size;
    }
    size_t Write(const void* buffer, size_t size, size_t count) override {
        const size_t n = size * count;
        if (!buffer || n == 0) return 0;
        if (m_pos + n > m_data.size()) m_data.resize(m_pos + n);
        std::memcpy(m_data.data() + m_pos, buffer, n);
        m_pos += n;
        return count;
    }
    bool Seek(LONG offset, int origin) override {
        int64_t base = origin == SEEK_SET ? 0 : (origin == SEEK_CUR ? static_cast<int64_t>(m_pos)
                                                                     : static_cast<int64_t>(m_data.size()));
        if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return false;
        const int64_t to = base + offset;
        m_pos = to < 0 ? 0 : static_cast<size_t>(to);
        return true;
    }
    LONG Tell() override { return static_cast<LONG>(m_pos); }
    LONG Size() override { return static_cast<LONG>(m_data.size()); }
    bool Flush() override { return true; }
    bool Eof() override { return m_pos >= m_data.size(); }
    LONG Error() override { return 0; }
    LONG GetC() override { return m_pos < m_data.size() ? m_data[m_pos++] : -1; }

    // Puts the whole file into the target stream at the given position.
    bool CopyTo(PxFile* target, LONG start) const {
        if (!target->Seek(start, SEEK_SET)) return false;
        return m_data.empty() || target->Write(m_data.data(), 1, m_data.size()) == m_data.size();
    }

private:
    std::vector<unsigned char> m_data;
    size_t m_pos = 0;
};

namespace {

// No single buffer of a hostile file may ask for more than this.
constexpr tmsize_t MAX_TIFF_ALLOC = static_cast<tmsize_t>(1) << 30;

// ---- the client procedures over PxFile ----

tmsize_t PxTiffRead(thandle_t fd, void* buf, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(static_cast<PxFile*>(fd)->Read(buf, 1, static_cast<size_t>(size)));
}

tmsize_t PxTiffWrite(thandle_t fd, void* buf, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(static_cast<PxFile*>(fd)->Write(buf, 1, static_cast<size_t>(size)));
}

toff_t PxTiffSeek(thandle_t fd, toff_t off, int whence) {
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    // PxFile offsets are 32-bit; a larger one cannot be reached.
    const int64_t soff = static_cast<int64_t>(off);
    if (soff > INT32_MAX || soff < INT32_MIN) return static_cast<toff_t>(-1);
    PxFile* f = static_cast<PxFile*>(fd);
    if (!f->Seek(static_cast<LONG>(soff), whence)) return static_cast<toff_t>(-1);
    if (whence == SEEK_SET) return off;
    return static_cast<toff_t>(f->Tell());
}

int PxTiffClose(thandle_t) { return 0; }

toff_t PxTiffSize(thandle_t fd) {
    LONG s = static_cast<PxFile*>(fd)->Size();
    return s < 0 ? 0 : static_cast<toff_t>(s);
}

int PxTiffMap(thandle_t, void**, toff_t*) { return 0; }
void PxTiffUnmap(thandle_t, void*, toff_t) {}

// libtiff shows and prints nothing: the codec's own texts are the only ones that reach the caller.
int PxTiffSilent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* OpenOverFile(PxFile* hFile, const char* mode) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MAX_TIFF_ALLOC);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, static_cast<thandle_t>(hFile), PxTiffRead, PxTiffWrite,
                                  PxTiffSeek, PxTiffClose, PxTiffSize, PxTiffMap, PxTiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

LONG TruncToLong(double v) {
    if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
    return static_cast<LONG>(v);
}

// Resolutions beyond this are garbage, and would overflow the pixels-per-metre field; they
// leave the default in place.
LONG DpiOrDefault(double v) { return (v >= 1 && v <= 1000000.0) ? static_cast<LONG>(v) : 0; }

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocPtr = std::unique_ptr<BYTE, FreeDeleter>;

// Whether libtiff can write this compression for a page of these bits and photometric.
bool CompressionFits(uint32_t compression, int bits, int photometric) {
    if (!TIFFIsCODECConfigured(static_cast<uint16_t>(compression))) return false;
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_LZMA:
    case COMPRESSION_ZSTD:
        return true;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_CCITTRLEW:
        return bits == 1;
    case COMPRESSION_JPEG:
        return (bits == 8 && photometric == PHOTOMETRIC_MINISBLACK) || bits == 24 || bits == 32;
    default:
        return false;  // decode-only codecs (old JPEG, ThunderScan, NeXT) and special layouts
    }
}

void LabToRGB(BYTE L, signed char a, signed char b, BYTE* bgr) {
    const double fy = (L * 100.0 / 255.0 + 16.0) / 116.0;
    const double Y = fy * fy * fy;
    const double fx = a * 0.002 + fy;
    const double X = fx * fx * fx * 0.95047;
    const double fz = fy - b * 0.005;
    const double Z = fz * fz * fz * 1.0883;
    const double lin[3] = {3.240479 * X - 1.53715 * Y - 0.498535 * Z, -0.969256 * X + 1.875992 * Y + 0.041556 * Z,
                           0.055648 * X - 0.204043 * Y + 1.057311 * Z};
    BYTE rgb[3];
    for (int i = 0; i < 3; i++) {
        double v = lin[i];
        v = v > 0.00304 ? 1.055 * std::pow(v, 0.41667) - 0.055 : 12.92 * v;
        v *= 255.0;
        rgb[i] = static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    bgr[0] = rgb[2];
    bgr[1] = rgb[1];
    bgr[2] = rgb[0];
}

// How the fourth sample of an 8-bit RGB pixel reaches the alpha channel: as libtiff's RGBA reader
// takes it, which premultiplies unassociated alpha and takes any other for premultiplied.
enum RgbAlpha { kRgbNoAlpha, kRgbStraight, kRgbPremultiply };

// Compressions whose strips decode alone, in any order and on any handle.
bool StripCodecKnown(uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_JPEG:
        return TIFFIsCODECConfigured(compression) != 0;
    default:
        return false;
    }
}

// Images at least this large, in at least this many strips, are read on several threads.
constexpr uint64_t kThreadedPixels = uint64_t{1} << 20;
constexpr uint32_t kThreadedStrips = 16;

// One stream read by several libtiff handles: each has its own position, and a read is a seek
// and a read of the shared stream under one lock.
struct SharedStream {
    PxFile* file;
    toff_t size;
    std::mutex lock;
};

struct StreamCursor {
    SharedStream* stream;
    int64_t pos = 0;
};

tmsize_t CursorRead(thandle_t fd, void* buf, tmsize_t size) {
    StreamCursor* c = static_cast<StreamCursor*>(fd);
    if (size <= 0) return 0;
    std::lock_guard<std::mutex> guard(c->stream->lock);
    if (!c->stream->file->Seek(static_cast<LONG>(c->pos), SEEK_SET)) return 0;
    const size_t n = c->stream->file->Read(buf, 1, static_cast<size_t>(size));
    c->pos += static_cast<int64_t>(n);
    return static_cast<tmsize_t>(n);
}

tmsize_t CursorWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t CursorSeek(thandle_t fd, toff_t off, int whence) {
    StreamCursor* c = static_cast<StreamCursor*>(fd);
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    int64_t to = static_cast<int64_t>(off);
    if (whence == SEEK_CUR) to += c->pos;
    else if (whence == SEEK_END) to += static_cast<int64_t>(c->stream->size);
    else if (whence != SEEK_SET) return static_cast<toff_t>(-1);
    // As over the stream itself: 32-bit offsets, and only where the stream can go.
    if (to > INT32_MAX || to < 0) return static_cast<toff_t>(-1);
    std::lock_guard<std::mutex> guard(c->stream->lock);
    if (!c->stream->file->Seek(static_cast<LONG>(to), SEEK_SET)) return static_cast<toff_t>(-1);
    c->pos = to;
    return static_cast<toff_t>(to);
}

toff_t CursorSize(thandle_t fd) { return static_cast<StreamCursor*>(fd)->stream->size; }

TIFF* OpenOverCursor(StreamCursor* cursor) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MAX_TIFF_ALLOC);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", "rb", static_cast<thandle_t>(cursor), CursorRead, CursorWrite,
                                  CursorSeek, PxTiffClose, CursorSize, PxTiffMap, PxTiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

// The fields the strip reader relies on, to see that a second handle reads the same page.
struct StripFields {
    uint32_t width = 0, height = 0, rowsperstrip = 0;
    uint16_t spp = 0, bps = 0, photometric = 0, planar = 0, compression = 0;
    bool tiled = false;
    uint32_t nstrips = 0;

    explicit StripFields(TIFF* tif) {
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        tiled = TIFFIsTiled(tif) != 0;
        nstrips = TIFFNumberOfStrips(tif);
    }
    bool operator==(const StripFields& o) const {
        return width == o.width && height == o.height && rowsperstrip == o.rowsperstrip && spp == o.spp &&
               bps == o.bps && photometric == o.photometric && planar == o.planar &&
               compression == o.compression && tiled == o.tiled && nstrips == o.nstrips;
    }
};

void RgbToBgrScalar(BYTE* dst, const BYTE* src, uint32_t from, uint32_t width) {
    for (uint32_t x = from; x < width; x++) {
        const BYTE r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
        dst[3 * x] = b;
        dst[3 * x + 1] = g;
        dst[3 * x + 2] = r;
    }
}

#if PX_TIF_VECTOR
// Four pixels a step. Each 16-byte store runs four bytes past the pixels it turns, which the
// next step (or the scalar tail) writes over, and never past the row. Returns the pixels done.
__attribute__((target("ssse3"))) uint32_t RgbToBgrVector(BYTE* dst, const BYTE* src, uint32_t width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    const uint64_t bytes = uint64_t{3} * width;
    uint32_t x = 0;
    for (; uint64_t{3} * x + 16 <= bytes; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + uint64_t{3} * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + uint64_t{3} * x), _mm_shuffle_epi8(v, order));
    }
    return x;
}
#endif

// One row of 8-bit RGB or RGBA samples to blue, green, red and the alpha row.
void RgbRowToBgr(BYTE* dst, BYTE* alpha, const BYTE* src, uint32_t width, int spp, int alphaMode,
                 const BYTE* premultiply) {
    if (spp == 3) {
        uint32_t x = 0;
#if PX_TIF_VECTOR
        if (pxgeo::SimdAllows(pxgeo::Simd::Ssse3)) x = RgbToBgrVector(dst, src, width);
#endif
        RgbToBgrScalar(dst, src, x, width);
        return;
    }
    for (uint32_t x = 0; x < width; x++) {
        const BYTE* s = src + uint64_t{4} * x;
        BYTE* d = dst + uint64_t{3} * x;
        if (alphaMode == kRgbPremultiply) {
            const BYTE* m = premultiply + (static_cast<size_t>(s[3]) << 8);
            d[0] = m[s[2]];
            d[1] = m[s[1]];
            d[2] = m[s[0]];
        } else {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
        if (alpha) alpha[x] = s[3];
    }
}

}  // namespace

PxImageTIF::PxImageTIF(const PxImageTIF& src) : PxImage(src), m_multipage(src.m_multipage), m_pages(src.m_pages) {}

PxImageTIF& PxImageTIF::operator=(const PxImageTIF& src) {
    if (this != &src) {
        PxImage::operator=(src);
        // The write handle stays with the object that opened it.
        m_multipage = src.m_multipage;
        m_pages = src.m_pages;
    }
    return *this;
}

PxImageTIF::~PxImageTIF() {
    if (m_tif2) TIFFClose(m_tif2);
    delete m_pageBuffer;
}

TIFF* PxImageTIF::TIFFOpenEx(PxFile* hFile) {
    if (!hFile) return nullptr;
    return OpenOverFile(hFile, "rb");
}

void PxImageTIF::TIFFCloseEx(TIFF* tif) {
    if (tif) TIFFClose(tif);
}

void PxImageTIF::TileToStrip(BYTE* out, BYTE* in, uint32_t rows, uint32_t cols, int64_t outskew, int64_t inskew) {
    while (rows-- > 0) {
        std::memcpy(out, in, cols);
        out += cols + outskew;
        in += cols + inskew;
    }
}

bool PxImageTIF::Decode(FILE* hFile) {
    PxIOFile f(hFile);
    return Decode(&f);
}

bool PxImageTIF::Decode(PxFile* hFile) {
    TIFF* m_tif = TIFFOpenEx(hFile);
    // Only the size having been read counts as success of a size-only query; a file that is no
    // TIFF, or lacks the page, fails it like any other decode.
    bool sizeRead = false;
    try {
        if (!m_tif) throw "Error encountered while opening TIFF file";

        info.nNumFrames = static_cast<LONG>(TIFFNumberOfDirectories(m_tif));
        if (info.nFrame < 0 || !TIFFSetDirectory(m_tif, static_cast<tdir_t>(info.nFrame)))
            throw "Error: page not present in TIFF file";

        uint32_t width = 0, height = 0, rowsperstrip = 0xFFFFFFFFu;
        uint16_t samplesperpixel = 1, bitspersample = 1, photometric = 0, orientation = 1, planar = 1;
        uint16_t compression = 1;
        TIFFGetField(m_tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(m_tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(m_tif, TIFFTAG_SAMPLESPERPIXEL, &samplesperpixel);
        TIFFGetField(m_tif, TIFFTAG_BITSPERSAMPLE, &bitspersample);
        TIFFGetField(m_tif, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
        TIFFGetField(m_tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(m_tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(m_tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetField(m_tif, TIFFTAG_COMPRESSION, &compression);

        if (info.nEscape == -1) {
            head.biWidth = static_cast<LONG>(width);
            head.biHeight = static_cast<LONG>(height);
            sizeRead = true;
            throw "output dimensions returned";
        }

        uint16_t resunit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_RESOLUTIONUNIT, &resunit);
        float resolution = 0, offset = 0;
        if (TIFFGetField(m_tif, TIFFTAG_XRESOLUTION, &resolution)) {
            if (resunit == RESUNIT_CENTIMETER) resolution = resolution * 2.54f + 0.5f;
            SetXDPI(DpiOrDefault(resolution));
        }
        if (TIFFGetField(m_tif, TIFFTAG_YRESOLUTION, &resolution)) {
            if (resunit == RESUNIT_CENTIMETER) resolution = resolution * 2.54f + 0.5f;
            SetYDPI(DpiOrDefault(resolution));
        }
        if (TIFFGetField(m_tif, TIFFTAG_XPOSITION, &offset)) info.xOffset = TruncToLong(offset);
        if (TIFFGetField(m_tif, TIFFTAG_YPOSITION, &offset)) info.yOffset = TruncToLong(offset);

        head.biClrUsed = 0;
        info.nBkgndIndex = -1;
        info.bAlphaPaletteEnabled = false;
        if (rowsperstrip > height) {
            rowsperstrip = height;
            TIFFSetField(m_tif, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
        }

        // Which reader and which depth. The strip reader takes the layouts it knows; everything
        // else goes to libtiff's RGBA reader, which refuses what it cannot show.
        const int spp = samplesperpixel, bps = bitspersample;
        bool isRGB = photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_SEPARATED ||
                     photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGL ||
                     photometric == PHOTOMETRIC_LOGLUV;
        // libtiff's RGBA reader fails on uncompressed tiles unless the file is memory-mapped,
        // which a PxFile never is; those few files are read tile by tile here instead.
        const bool rgbTiles = photometric == PHOTOMETRIC_RGB && bps == 8 && (spp == 3 || spp == 4) &&
                              planar == PLANARCONFIG_CONTIG && compression == COMPRESSION_NONE &&
                              TIFFIsTiled(m_tif);
        if (rgbTiles) isRGB = false;
        if (!isRGB && !rgbTiles) {
            bool stripKnown = false;
            if (planar == PLANARCONFIG_CONTIG || spp == 1) {
                if (spp == 1) stripKnown = bps == 1 || bps == 2 || bps == 4 || bps == 8 || bps == 16;
                else if (spp == 2) stripKnown = bps == 8 || bps == 16;
                else stripKnown = photometric == PHOTOMETRIC_CIELAB && (bps == 8 || bps == 16);
            }
            // A colour map has 2^bits entries; more than the palette holds cannot be shown.
            if (photometric == PHOTOMETRIC_PALETTE && bps > 8) stripKnown = false;
            if (!stripKnown) isRGB = true;
        }
        if (isRGB) {
            char emsg[1024];
            if (!TIFFRGBAImageOK(m_tif, emsg)) throw "Corrupted TIFF file!";
        }
        // 8-bit RGB in strips is read strip by strip rather than through the RGBA reader, which
        // turns every pixel into a word of a second whole-image buffer first.
        int rgbAlpha = -1;
        if (isRGB && photometric == PHOTOMETRIC_RGB && bps == 8 && (spp == 3 || spp == 4) &&
            planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(m_tif) && StripCodecKnown(compression) && rowsperstrip > 0) {
            if (spp == 3) {
                rgbAlpha = kRgbNoAlpha;
            } else {
                uint16_t extra = 0;
                uint16_t* kinds = nullptr;
                TIFFGetFieldDefaulted(m_tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds);
                // libtiff itself declares an undeclared fourth sample as unspecified.
                if (extra == 0 || !kinds) rgbAlpha = kRgbStraight;
                else if (kinds[0] == EXTRASAMPLE_UNASSALPHA) rgbAlpha = kRgbPremultiply;
                else if (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNSPECIFIED) rgbAlpha = kRgbStraight;
            }
        }

        DWORD bpp;
        if (isRGB || (spp >= 3)) bpp = 24;
        else if ((photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) && bps == 1 &&
                 spp == 1)
            bpp = 1;
        else if (bps == 4 && spp == 1) bpp = 4;
        else bpp = 8;

        if (info.nEscape) throw "Cancelled";
        Create(width, height, bpp, PXIMAGE_FORMAT_TIF);
        if (!pDib) throw "PxImageTIF can't create image";
        if (spp == 4 || (spp == 2 && (bps == 8 || bps == 16))) {
            AlphaCreate();
            if (!AlphaIsValid()) throw "PxImageTIF can't allocate memory";
        }
        SetCodecOption(compression, PXIMAGE_FORMAT_TIF);

        if (rgbAlpha >= 0) {
            DecodeRgbStrips(hFile, m_tif, spp, rgbAlpha, rowsperstrip);
            ApplyOrientation(orientation);
        } else if (isRGB) {
            const uint64_t npixels = static_cast<uint64_t>(width) * height;
            MallocPtr raster(static_cast<BYTE*>(std::malloc(npixels * sizeof(uint32_t))));
            if (!raster) throw "No space for raster buffer";
            uint32_t* px = reinterpret_cast<uint32_t*>(raster.get());
            if (!TIFFReadRGBAImage(m_tif, width, height, px, 1)) throw "Corrupted TIFF file!";
            for (uint32_t y = 0; y < height; y++) {
                if (info.nEscape) throw "Cancelled";
                BYTE* bits = GetBits(y);
                const uint32_t* src = px + static_cast<uint64_t>(y) * width;
                BYTE* alpha = (spp == 4 && AlphaIsValid()) ? AlphaGetPointer(0, static_cast<LONG>(y)) : nullptr;
                for (uint32_t x = 0; x < width; x++) {
                    const uint32_t v = src[x];
                    bits[3 * x] = static_cast<BYTE>(TIFFGetB(v));
                    bits[3 * x + 1] = static_cast<BYTE>(TIFFGetG(v));
                    bits[3 * x + 2] = static_cast<BYTE>(TIFFGetR(v));
                    if (alpha) alpha[x] = static_cast<BYTE>(TIFFGetA(v));
                }
            }
            // libtiff's RGBA reader only flips: it reads orientations 5-8 as 1-4. That flip is
            // undone and the whole turn applied, as on the strip path.
            if (orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT) {
                ApplyOrientation(static_cast<uint16_t>(orientation - 4));
                ApplyOrientation(orientation);
            }
        } else {
            DecodeStrips(m_tif, photometric, bps, spp, rowsperstrip);
            ApplyOrientation(orientation);
        }
    } catch (const char* message) {
        SetLastError(message);
        TIFFCloseEx(m_tif);
        return sizeRead;
    }
    TIFFCloseEx(m_tif);
    return true;
}

void PxImageTIF::ApplyOrientation(uint16_t orientation) {
    switch (orientation) {
    case ORIENTATION_TOPRIGHT: Mirror(); break;
    case ORIENTATION_BOTRIGHT: Flip(); Mirror(); break;
    case ORIENTATION_BOTLEFT: Flip(); break;
    case ORIENTATION_LEFTTOP: RotateRight(); Mirror(); break;
    case ORIENTATION_RIGHTTOP: RotateRight(); break;
    case ORIENTATION_RIGHTBOT: RotateLeft(); Mirror(); break;
    case ORIENTATION_LEFTBOT: RotateLeft(); break;
    default: break;
    }
}

bool PxImageTIF::DecodeStrips(TIFF* m_tif, int photometric, int bitspersample, int samplesperpixel,
                              uint32_t rowsperstrip) {
    const uint32_t width = GetWidth(), height = GetHeight();
    const int bps = bitspersample, spp = samplesperpixel;

    // Palette.
    if (GetPalette()) {
        MallocPtr palMem(static_cast<BYTE*>(std::calloc(256, sizeof(RGBQUAD))));
        if (!palMem) throw "Unable to allocate TIFF palette";
        RGBQUAD* pal = reinterpret_cast<RGBQUAD*>(palMem.get());
        const int n = static_cast<int>(head.biClrUsed);
        if (photometric == PHOTOMETRIC_MINISBLACK && bps == 1) {
            pal[1].rgbRed = pal[1].rgbGreen = pal[1].rgbBlue = 255;
        } else if (photometric == PHOTOMETRIC_MINISWHITE && bps == 1) {
            pal[0].rgbRed = pal[0].rgbGreen = pal[0].rgbBlue = 255;
        } else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
            for (int i = 0; i < n; i++) {
                BYTE g = static_cast<BYTE>(i * (255 / (n - 1)));
                if (photometric == PHOTOMETRIC_MINISWHITE) g = static_cast<BYTE>(255 - g);
                pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = g;
            }
        } else if (photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            if (TIFFGetField(m_tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
                const int entries = 1 << bps;  // bps <= 8 here
                bool sixteen = false;
                for (int i = 0; i < entries; i++)
                    if (red[i] > 255 || green[i] > 255 || blue[i] > 255) sixteen = true;
                for (int i = 0; i < entries && i < 256; i++) {
                    if (sixteen) {
                        pal[i].rgbRed = static_cast<BYTE>(red[i] * 255 / 65535);
                        pal[i].rgbGreen = static_cast<BYTE>(green[i] * 255 / 65535);
                        pal[i].rgbBlue = static_cast<BYTE>(blue[i] * 255 / 65535);
                    } else {
                        pal[i].rgbRed = static_cast<BYTE>(red[i]);
                        pal[i].rgbGreen = static_cast<BYTE>(green[i]);
                        pal[i].rgbBlue = static_cast<BYTE>(blue[i]);
                    }
                }
            }
        }
        SetPalette(pal, head.biClrUsed);
    }

    const uint64_t line = (static_cast<uint64_t>(spp) * bps * width + 7) / 8;
    const bool tiled = TIFFIsTiled(m_tif);
    uint32_t tw = 0, tl = 0;
    MallocPtr tilebuf;
    uint64_t bufsize;
    if (tiled) {
        TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &tl);
        if (tw == 0 || tl == 0) throw "Corrupted tiled TIFF file!";
        rowsperstrip = tl;
        const tmsize_t tilesize = TIFFTileSize(m_tif);
        if (tilesize <= 0 || tilesize > MAX_TIFF_ALLOC) throw "PxImageTIF can't allocate memory";
        bufsize = static_cast<uint64_t>(tilesize) * (1 + width / tw);
        tilebuf.reset(static_cast<BYTE*>(std::malloc(static_cast<size_t>(tilesize))));
        if (!tilebuf) throw "PxImageTIF can't allocate memory";
    } else {
        // The strip as libtiff decodes it, whatever the image's own row size.
        const tmsize_t stripsize = TIFFStripSize(m_tif);
        bufsize = stripsize > 0 ? static_cast<uint64_t>(stripsize) : 0;
    }
    if (rowsperstrip == 0) rowsperstrip = 1;
    const uint64_t bandsize = line * rowsperstrip;
    if (bufsize < bandsize) bufsize = bandsize;
    if (bufsize == 0 || bufsize > static_cast<uint64_t>(MAX_TIFF_ALLOC)) throw "PxImageTIF can't allocate memory";
    MallocPtr bitsbuf(static_cast<BYTE*>(std::calloc(static_cast<size_t>(bufsize), 1)));
    if (!bitsbuf) throw "PxImageTIF can't allocate memory";
    BYTE* const buf = bitsbuf.get();

    const size_t effwidth = GetEffWidth();
    const uint64_t nsamples = static_cast<uint64_t>(width) * spp;
    for (uint32_t ys = 0; ys < height; ys += rowsperstrip) {
        if (info.nEscape) throw "Cancelled";
        const uint32_t nrow = (ys + rowsperstrip > height) ? height - ys : rowsperstrip;

        if (tiled) {
            const tmsize_t S = TIFFScanlineSize(m_tif);
            const tmsize_t T = TIFFTileRowSize(m_tif);
            if (S <= 0 || T <= 0 || static_cast<uint64_t>(S) > line + 8) throw "Corrupted tiled TIFF file!";
            tmsize_t c = 0;
            for (uint32_t col = 0; col < width; col += tw) {
                if (TIFFReadTile(m_tif, tilebuf.get(), col, ys, 0, 0) < 0) throw "Corrupted tiled TIFF file!";
                if (c >= S) break;
                const uint32_t rows = nrow < tl ? nrow : tl;
                if (c + T > S) {
                    const tmsize_t W = S - c;
                    TileToStrip(buf + c, tilebuf.get(), rows, static_cast<uint32_t>(W), (T - W) + (S - T), T - W);
                } else {
                    TileToStrip(buf + c, tilebuf.get(), rows, static_cast<uint32_t>(T), S - T, 0);
                }
                c += T;
            }
        } else {
            const tstrip_t strip = TIFFComputeStrip(m_tif, ys, 0);
            if (TIFFReadEncodedStrip(m_tif, strip, buf, static_cast<tmsize_t>(line * nrow)) == -1)
                throw "Corrupted TIFF file!";
        }

        for (int r = static_cast<int>(nrow) - 1; r >= 0; r--) {
            BYTE* src = buf + line * static_cast<uint64_t>(r);
            const uint32_t yimg = height - 1 - (ys + static_cast<uint32_t>(r));
            BYTE* dst = GetBits(yimg);
            if (!dst) continue;
            uint64_t srclen = line;
            if (bps == 16) {
                // The high byte of each sample (libtiff hands them over in host order).
                for (uint64_t i = 0; i < nsamples; i++) src[i] = src[2 * i + 1];
                srclen = nsamples;
            }
            if (spp == 1) {
                if (head.biBitCount == 8 && (bps == 1 || bps == 2)) {
                    // Packed samples spread to one byte each; grey values scaled to 0-255.
                    const int mask = (1 << bps) - 1;
                    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
                    for (uint32_t x = 0; x < width; x++) {
                        const uint64_t bit = static_cast<uint64_t>(x) * bps;
                        int v = (src[bit >> 3] >> (8 - bps - (bit & 7))) & mask;
                        dst[x] = static_cast<BYTE>(grey ? v * 255 / mask : v);
                    }
                } else {
                    std::memcpy(dst, src, srclen < effwidth ? srclen : effwidth);
                }
            } else if (spp == 2) {
                BYTE* alpha = AlphaGetPointer(0, static_cast<LONG>(yimg));
                for (uint32_t x = 0; x < width; x++) {
                    dst[x] = src[2 * x];
                    if (alpha) alpha[x] = src[2 * x + 1];
                }
            } else if (photometric == PHOTOMETRIC_RGB) {
                BYTE* alpha = spp == 4 ? AlphaGetPointer(0, static_cast<LONG>(yimg)) : nullptr;
                for (uint32_t x = 0; x < width; x++) {
                    const BYTE* s = src + static_cast<uint64_t>(x) * spp;
                    dst[3 * x] = s[2];
                    dst[3 * x + 1] = s[1];
                    dst[3 * x + 2] = s[0];
                    if (alpha) alpha[x] = s[3];
                }
            } else {
                BYTE* alpha = spp == 4 ? AlphaGetPointer(0, static_cast<LONG>(yimg)) : nullptr;
                for (uint32_t x = 0; x < width; x++) {
                    const BYTE* s = src + static_cast<uint64_t>(x) * spp;
                    LabToRGB(s[0], static_cast<signed char>(s[1]), static_cast<signed char>(s[2]), dst + 3 * x);
                    if (alpha) alpha[x] = s[3];
                }
            }
        }
    }
    return true;
}

void PxImageTIF::DecodeRgbStrips(PxFile* hFile, TIFF* m_tif, int samplesperpixel, int alphaMode,
                                 uint32_t rowsperstrip) {
    const uint32_t width = GetWidth(), height = GetHeight();
    const int spp = samplesperpixel;
    const uint64_t line = uint64_t{width} * static_cast<uint64_t>(spp);
    const uint64_t bandsize = line * rowsperstrip;
    if (bandsize == 0 || bandsize > static_cast<uint64_t>(MAX_TIFF_ALLOC)) throw "Corrupted TIFF file!";
    const uint32_t nstrips = static_cast<uint32_t>((uint64_t{height} + rowsperstrip - 1) / rowsperstrip);

    std::vector<BYTE> premultiply;
    if (alphaMode == kRgbPremultiply) {
        premultiply.resize(256 * 256);
        for (unsigned a = 0; a < 256; a++)
            for (unsigned v = 0; v < 256; v++) premultiply[(a << 8) | v] = static_cast<BYTE>((v * a + 127) / 255);
    }
    const bool withAlpha = spp == 4 && AlphaIsValid();

    // Strips are handed out in small groups as threads come free; each strip lands in its own rows,
    // so the picture does not depend on who read what.
    std::atomic<uint32_t> nextStrip{0};
    std::atomic<bool> failed{false};
    unsigned nthreads = 1;
    if (uint64_t{width} * height >= kThreadedPixels && nstrips >= kThreadedStrips && hFile) {
        nthreads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
        nthreads = std::min(nthreads, nstrips / 4);
    }
    // Few groups, as a reader taking up a group away from its last one first rebuilds the buffer.
    const uint32_t group = std::max<uint32_t>(1, nstrips / (nthreads * 4));

    // A damaged strip can decode "successfully" yet short, leaving in the buffer what the strip
    // before it left there, as a reading from the top would. A reader that starts elsewhere first
    // rebuilds that: back to the nearest strip that fills the buffer whatever was in it (or to the
    // top, on a cleared buffer), then forward to its own first strip. A file damaged all over
    // would send every reader far back: it is read again from the top on one thread instead.
    std::atomic<bool> fromTop{false};
    auto prime = [&](TIFF* tif, BYTE* buf, BYTE* spare, uint32_t first) {
        uint32_t from = 0;
        for (uint32_t j = first; j-- > 0;) {
            if (first - j > 4) {
                fromTop = true;
                return false;
            }
            std::memset(buf, 0, static_cast<size_t>(bandsize));
            std::memset(spare, 0xFF, static_cast<size_t>(bandsize));
            if (TIFFReadEncodedStrip(tif, j, buf, static_cast<tmsize_t>(bandsize)) == -1 ||
                TIFFReadEncodedStrip(tif, j, spare, static_cast<tmsize_t>(bandsize)) == -1)
                return false;
            if (std::memcmp(buf, spare, static_cast<size_t>(bandsize)) == 0) {
                from = j + 1;
                break;
            }
        }
        if (from == 0) std::memset(buf, 0, static_cast<size_t>(bandsize));
        for (uint32_t j = from; j < first; j++)
            if (TIFFReadEncodedStrip(tif, j, buf, static_cast<tmsize_t>(bandsize)) == -1) return false;
        return true;
    };

    auto readStrips = [&](TIFF* tif) {
        MallocPtr bufMem(static_cast<BYTE*>(std::calloc(static_cast<size_t>(bandsize), 1)));
        MallocPtr spareMem;
        if (!bufMem) {
            failed = true;
            return;
        }
        BYTE* const buf = bufMem.get();
        uint32_t next = 0;  // the strip whose state before it the buffer holds
        for (;;) {
            const uint32_t first = nextStrip.fetch_add(group);
            if (first >= nstrips) return;
            const uint32_t last = std::min(nstrips, first + group);
            if (first != next) {
                if (!spareMem) spareMem.reset(static_cast<BYTE*>(std::malloc(static_cast<size_t>(bandsize))));
                if (!spareMem || !prime(tif, buf, spareMem.get(), first)) {
                    if (!fromTop) failed = true;
                    return;
                }
            }
            for (uint32_t strip = first; strip < last; strip++) {
                if (failed || fromTop || info.nEscape) return;
                const uint32_t ys = strip * rowsperstrip;
                const uint32_t nrow = std::min(rowsperstrip, height - ys);
                if (TIFFReadEncodedStrip(tif, strip, buf, static_cast<tmsize_t>(line * nrow)) == -1) {
                    failed = true;
                    return;
                }
                for (uint32_t r = 0; r < nrow; r++) {
                    const uint32_t yimg = height - 1 - (ys + r);
                    BYTE* alpha = withAlpha ? AlphaGetPointer(0, static_cast<LONG>(yimg)) : nullptr;
                    RgbRowToBgr(GetBits(yimg), alpha, buf + line * r, width, spp, alphaMode, premultiply.data());
                }
            }
            next = last;
        }
    };

    if (nthreads > 1) {
        SharedStream stream{hFile, PxTiffSize(hFile), {}};
        const StripFields mine(m_tif);
        const tdir_t page = static_cast<tdir_t>(info.nFrame);
        // Each worker reads through a handle of its own; one that cannot open the same page
        // leaves its share to the others.
        pxgeo::OnThreads(nthreads, [&](unsigned) {
            StreamCursor cursor{&stream};
            TIFF* tif = OpenOverCursor(&cursor);
            if (!tif) return;
            if (TIFFSetDirectory(tif, page) && StripFields(tif) == mine) readStrips(tif);
            TIFFClose(tif);
        });
    }
    // What no worker took is read here on the first handle, alone now; from the top when a
    // reader gave up rebuilding its buffer.
    for (int pass = 0; pass < 2 && !failed && !info.nEscape; pass++) {
        if (fromTop) {
            fromTop = false;
            nextStrip = 0;
        }
        if (nextStrip < nstrips) readStrips(m_tif);
    }
    if (info.nEscape) throw "Cancelled";
    if (failed) throw "Corrupted TIFF file!";
}

bool PxImageTIF::Encode(FILE* hFile, bool bAppend) {
    PxIOFile f(hFile);
    return Encode(&f, bAppend);
}

bool PxImageTIF::Encode(FILE* hFile, PxImage** pImages, int pagecount) {
    PxIOFile f(hFile);
    return Encode(&f, pImages, pagecount);
}

void PxImageTIF::CloseWriteHandle() {
    if (m_tif2) TIFFClose(m_tif2);
    m_tif2 = nullptr;
    delete m_pageBuffer;
    m_pageBuffer = nullptr;
    m_pageTarget = nullptr;
    m_multipage = false;
    m_pages = 0;
}

bool PxImageTIF::Encode(PxFile* hFile, bool bAppend) {
    try {
        if (!hFile) throw "null file handler";
        if (!pDib) throw "null image!!!";
        if (!m_tif2) {
            const LONG pos = hFile->Tell();
            const LONG size = hFile->Size();
            const bool hasData = pos >= 0 && size > pos;
            if (bAppend) {
                // Pages to come: they are built in memory (see PxTiffPageBuffer), starting
                // from a TIFF already in the stream when the stream lets it be read.
                m_pageBuffer = new PxTiffPageBuffer;
                m_pageTarget = hFile;
                m_pageStart = pos < 0 ? 0 : pos;
                if (hasData) {
                    std::vector<unsigned char> existing(static_cast<size_t>(size - pos));
                    if (hFile->Read(existing.data(), 1, existing.size()) == existing.size()) {
                        m_pageBuffer->Write(existing.data(), 1, existing.size());
                        m_pageBuffer->Seek(0, SEEK_SET);
                    }
                }
                m_tif2 = OpenOverFile(m_pageBuffer, m_pageBuffer->Size() > 0 ? "a" : "w");
            } else {
                // "a" adds a page to a TIFF already in the stream; with nothing there it would
                // only try to read, so a fresh file is begun instead.
                m_tif2 = OpenOverFile(hFile, hasData ? "a" : "w");
            }
        }
        if (!m_tif2) throw "initialization fail";
        if (bAppend || m_pages) m_multipage = true;
        m_pages++;
        if (!EncodeBody(m_tif2, m_multipage, m_pages, m_pages)) throw "Error saving TIFF file";
        if (bAppend) {
            if (!TIFFWriteDirectory(m_tif2)) throw "Error saving TIFF directory";
            if (m_pageBuffer && !m_pageBuffer->CopyTo(m_pageTarget, m_pageStart)) throw "Error saving TIFF file";
        } else {
            bool ok = TIFFWriteDirectory(m_tif2) != 0;
            PxTiffPageBuffer* buffer = m_pageBuffer;
            m_pageBuffer = nullptr;  // kept until the handle over it is closed
            PxFile* target = m_pageTarget;
            const LONG start = m_pageStart;
            if (m_tif2) TIFFClose(m_tif2);
            m_tif2 = nullptr;
            if (buffer) {
                ok = ok && buffer->CopyTo(target, start);
                delete buffer;
            }
            CloseWriteHandle();
            if (!ok || hFile->Error()) throw "Error saving TIFF file";
        }
    } catch (const char* message) {
        SetLastError(message);
        CloseWriteHandle();
        return false;
    }
    return true;
}

bool PxImageTIF::Encode(PxFile* hFile, PxImage** pImages, int pagecount) {
    try {
        if (!hFile) throw "invalid file pointer";
        if (!pImages || pagecount <= 0) throw "multipage TIFF, no images!";
        PxImageTIF ghost;
        for (int i = 0; i < pagecount; i++) {
            if (!pImages[i]) throw "Bad image pointer";
            ghost.Ghost(pImages[i]);
            if (!ghost.Encode(hFile, true)) throw "Error saving TIFF file";
        }
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
    return true;
}

bool PxImageTIF::EncodeBody(TIFF* m_tif, bool multipage, int page, int pagecount) {
    uint32_t height = head.biHeight;
    uint32_t width = head.biWidth;
    uint16_t bitcount = head.biBitCount;
    uint16_t samplesperpixel = (bitcount == 24 || bitcount == 32) ? 3 : 1;
    if (bitcount == 24 && AlphaIsValid()) {
        bitcount = 32;
        samplesperpixel = 4;
    }
    const uint16_t bitspersample = static_cast<uint16_t>(bitcount / samplesperpixel);

    uint16_t photometric;
    bool invert = false;
    RGBQUAD* pal = GetPalette();
    switch (bitcount) {
    case 1:
        // Bilevel is written min-is-white; a palette with the dark entry first is written
        // inverted (the image itself is left as it is).
        invert = pal && CompareColors(&pal[0], &pal[1]) < 0;
        photometric = PHOTOMETRIC_MINISWHITE;
        break;
    case 4:
    case 8: {
        photometric = PHOTOMETRIC_MINISBLACK;
        for (DWORD i = 0; pal && i < head.biClrUsed; i++) {
            if (pal[i].rgbRed != i || pal[i].rgbGreen != i || pal[i].rgbBlue != i) {
                photometric = PHOTOMETRIC_PALETTE;
                break;
            }
        }
        break;
    }
    default:
        photometric = PHOTOMETRIC_RGB;
        break;
    }
    const bool indexAlpha = bitcount == 8 && AlphaIsValid();
    if (indexAlpha) samplesperpixel = 2;

    TIFFSetField(m_tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(m_tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(m_tif, TIFFTAG_SAMPLESPERPIXEL, samplesperpixel);
    TIFFSetField(m_tif, TIFFTAG_BITSPERSAMPLE, bitspersample);
    TIFFSetField(m_tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(m_tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(m_tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    uint32_t rowsperstrip = TIFFDefaultStripSize(m_tif, static_cast<uint32_t>(-1));
    TIFFSetField(m_tif, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
    TIFFSetField(m_tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(m_tif, TIFFTAG_XRESOLUTION, static_cast<float>(GetXDPI()));
    TIFFSetField(m_tif, TIFFTAG_YRESOLUTION, static_cast<float>(GetYDPI()));
    if (samplesperpixel == 4 || samplesperpixel == 2) {
        // Without this tag readers take the fourth sample for a colour channel.
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(m_tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (multipage) {
        char page_name[32];
        std::snprintf(page_name, sizeof(page_name), "Page %d", page);
        TIFFSetField(m_tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(m_tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(pagecount));
        TIFFSetField(m_tif, TIFFTAG_PAGENAME, page_name);
    } else {
        TIFFSetField(m_tif, TIFFTAG_SUBFILETYPE, 0);
    }

    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t r[256] = {}, g[256] = {}, b[256] = {};
        for (DWORD i = 0; pal && i < head.biClrUsed && i < 256; i++) {
            r[i] = static_cast<uint16_t>(pal[i].rgbRed * 257);
            g[i] = static_cast<uint16_t>(pal[i].rgbGreen * 257);
            b[i] = static_cast<uint16_t>(pal[i].rgbBlue * 257);
        }
        TIFFSetField(m_tif, TIFFTAG_COLORMAP, r, g, b);
    }

    // A compression remembered from a read file is kept only when it fits this page.
    uint32_t compression = GetCodecOption(PXIMAGE_FORMAT_TIF);
    if (!compression || !CompressionFits(compression, bitcount, photometric)) {
        switch (bitcount) {
        case 1: compression = COMPRESSION_CCITTFAX4; break;
        case 4:
        case 8: compression = COMPRESSION_LZW; break;
        case 24:
        case 32: compression = COMPRESSION_JPEG; break;
        default: compression = COMPRESSION_NONE; break;
        }
        if (!TIFFIsCODECConfigured(static_cast<uint16_t>(compression))) compression = COMPRESSION_NONE;
    }
    TIFFSetField(m_tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW && bitcount >= 8) TIFFSetField(m_tif, TIFFTAG_PREDICTOR, 2);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(m_tif, TIFFTAG_JPEGQUALITY, static_cast<int>(GetJpegQuality()));
        rowsperstrip = ((rowsperstrip + 7) / 8) * 8;
        TIFFSetField(m_tif, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
    }

    const size_t linesize = static_cast<size_t>(TIFFScanlineSize(m_tif));
    const size_t bufsize = linesize > GetEffWidth() ? linesize : GetEffWidth();
    MallocPtr bufMem(static_cast<BYTE*>(std::malloc(bufsize + 8)));
    if (!bufMem) return false;
    BYTE* const buf = bufMem.get();

    for (uint32_t row = 0; row < height; row++) {
        const BYTE* bits = GetBits(height - 1 - row);
        switch (bitcount) {
        case 1:
        case 4:
        case 8:
            if (indexAlpha) {
                const BYTE* alpha = AlphaGetPointer(0, static_cast<LONG>(height - 1 - row));
                for (uint32_t x = 0; x < width; x++) {
                    buf[2 * x] = bits[x];
                    buf[2 * x + 1] = alpha[x];
                }
            } else if (invert) {
                for (size_t i = 0; i < GetEffWidth(); i++) buf[i] = static_cast<BYTE>(~bits[i]);
            } else {
                std::memcpy(buf, bits, GetEffWidth());
            }
            break;
        case 24:
            for (uint32_t x = 0; x < width; x++) {
                buf[3 * x] = bits[3 * x + 2];
                buf[3 * x + 1] = bits[3 * x + 1];
                buf[3 * x + 2] = bits[3 * x];
            }
            break;
        case 32: {
            const BYTE* alpha = AlphaGetPointer(0, static_cast<LONG>(height - 1 - row));
            for (uint32_t x = 0; x < width; x++) {
                buf[4 * x] = bits[3 * x + 2];
                buf[4 * x + 1] = bits[3 * x + 1];
                buf[4 * x + 2] = bits[3 * x];
                buf[4 * x + 3] = alpha ? alpha[x] : 255;
            }
            break;
        }
        default:
            return true;
        }
        if (TIFFWriteScanline(m_tif, buf, row, 0) < 0) return false;
    }
    return true;
}
