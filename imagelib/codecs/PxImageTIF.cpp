// The TIFF codec's decoder: page selection, the choice of reader, the strip and tile reader and
// libtiff's RGBA reader. The fast strip reader (PxImageTIFStrips.cpp), the encoder
// (PxImageTIFEncode.cpp) and the stream procedures (PxImageTIFStream.cpp) live apart.
#include "imagelib/codecs/PxImageTIF.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

#include "imagelib/codecs/PxImageTIFStream.h"
#include "imagelib/codecs/PxImageTIFStrips.h"
#include "imagelib/pxfile.h"

namespace {

using namespace pxtif;

LONG TruncToLong(double v) {
    if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
    return static_cast<LONG>(v);
}

// Resolutions beyond this are garbage, and would overflow the pixels-per-metre field; they
// leave the default in place.
LONG DpiOrDefault(double v) { return (v >= 1 && v <= 1000000.0) ? static_cast<LONG>(v) : 0; }

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

// With a decode hint (a tile), a page that carries reduced-resolution copies of itself is read
// from the smallest copy that still covers the page fitted into the hint's box. The copies are
// its sub-pages, or the pages right after it marked as reduced; one of another shape is no copy.
// Without a fitting copy the page stays current.
void ChooseReducedCopy(TIFF* tif, uint32_t fitW, uint32_t fitH) {
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    if (w == 0 || h == 0 || fitW == 0 || fitH == 0) return;
    const double scale = std::min({1.0, static_cast<double>(fitW) / w, static_cast<double>(fitH) / h});
    const double needW = std::floor(w * scale), needH = std::floor(h * scale);
    const tdir_t page = TIFFCurrentDirectory(tif);
    // A candidate: a sub-page's offset, or (offset 0) a page of the main chain.
    uint64_t bestOffset = 0;
    tdir_t bestPage = page;
    uint64_t bestArea = uint64_t{w} * h;
    auto consider = [&](uint64_t offset, tdir_t index) {
        uint32_t type = 0, cw = 0, ch = 0;
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &cw);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &ch);
        if (!(type & FILETYPE_REDUCEDIMAGE) || cw < needW || ch < needH) return;
        if (std::fabs(static_cast<double>(cw) / ch - static_cast<double>(w) / h) > 0.02 * w / h) return;
        if (uint64_t{cw} * ch < bestArea) {
            bestArea = uint64_t{cw} * ch;
            bestOffset = offset;
            bestPage = index;
        }
    };
    uint16_t count = 0;
    uint64_t* offsets = nullptr;
    std::vector<uint64_t> subs;
    if (TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets) && offsets) subs.assign(offsets, offsets + count);
    for (uint64_t offset : subs)
        if (offset && TIFFSetSubDirectory(tif, offset)) consider(offset, page);
    for (tdir_t next = page + 1; TIFFSetDirectory(tif, next); ++next) {
        uint32_t type = 0;
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        if (!(type & FILETYPE_REDUCEDIMAGE)) break;
        consider(0, next);
    }
    if (bestOffset ? !TIFFSetSubDirectory(tif, bestOffset) : !TIFFSetDirectory(tif, bestPage)) TIFFSetDirectory(tif, page);
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
        if (GetDecodeHintWidth() && GetDecodeHintHeight() && info.nEscape != -1)
            ChooseReducedCopy(m_tif, GetDecodeHintWidth(), GetDecodeHintHeight());

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
