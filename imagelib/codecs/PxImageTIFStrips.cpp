// The TIFF codec's fast strip reader: 8-bit RGB(A) strips straight into the rows, on the
// library's worker pool for large files with many strips, one libtiff handle per worker.
#include "imagelib/codecs/PxImageTIF.h"
#include "imagelib/codecs/PxImageTIFStream.h"
#include "imagelib/codecs/PxImageTIFStrips.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "imagelib/core/pxrowrunner.h"
#include "imagelib/core/pxsimd.h"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_TIF_VECTOR 1
#include <immintrin.h>
#endif

namespace pxtif {

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

}  // namespace pxtif

namespace {

using namespace pxtif;

// Images at least this large, in at least this many strips, are read on several threads.
constexpr uint64_t kThreadedPixels = uint64_t{1} << 20;
constexpr uint32_t kThreadedStrips = 16;

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
        nthreads = pxcore::PxWorkerPool::Width(8);
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
        StreamCursor::Shared stream{hFile, StreamSize(hFile), {}};
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
