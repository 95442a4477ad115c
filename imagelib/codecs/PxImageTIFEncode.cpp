// The TIFF codec's encoder: single pages, pages appended one at a time, and multi-page files.
#include "imagelib/codecs/PxImageTIF.h"
#include "imagelib/codecs/PxImageTIFStream.h"
#include "imagelib/pxfile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/core/pxworkerpool.h"

namespace {

using namespace pxtif;

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

// Puts the pages built so far into the target stream at the given position.
bool CopyPages(PxMemFile& pages, PxFile* target, LONG start) {
    if (!target->Seek(start, SEEK_SET)) return false;
    const LONG size = pages.Size();
    if (size <= 0) return true;
    return target->Write(pages.GetBuffer(false), 1, static_cast<size_t>(size)) == static_cast<size_t>(size);
}

}  // namespace

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
                // Pages to come: they are linked by reading back the directories already
                // written, which a caller's stream may not allow, so they are built in memory and
                // the whole file is copied out after each page, starting from a TIFF already in
                // the stream when the stream lets it be read.
                m_pageBuffer = new PxMemFile;
                if (!m_pageBuffer->Open()) throw "initialization fail";
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
            if (m_pageBuffer && !CopyPages(*m_pageBuffer, m_pageTarget, m_pageStart)) throw "Error saving TIFF file";
        } else {
            bool ok = TIFFWriteDirectory(m_tif2) != 0;
            PxMemFile* buffer = m_pageBuffer;
            m_pageBuffer = nullptr;  // kept until the handle over it is closed
            PxFile* target = m_pageTarget;
            const LONG start = m_pageStart;
            if (m_tif2) TIFFClose(m_tif2);
            m_tif2 = nullptr;
            if (buffer) {
                ok = ok && CopyPages(*buffer, target, start);
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
    // A JPEG strip is a JPEG picture, which cannot be wider than 65500 pixels: a wider page is
    // written without loss instead of not at all.
    if (compression == COMPRESSION_JPEG && head.biWidth > 65500)
        compression = TIFFIsCODECConfigured(COMPRESSION_LZW) ? COMPRESSION_LZW : COMPRESSION_NONE;
    TIFFSetField(m_tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW && bitcount >= 8) TIFFSetField(m_tif, TIFFTAG_PREDICTOR, 2);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(m_tif, TIFFTAG_JPEGQUALITY, static_cast<int>(GetJpegQuality()));
        rowsperstrip = ((rowsperstrip + 7) / 8) * 8;
        TIFFSetField(m_tif, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
    }

    const size_t linesize = static_cast<size_t>(TIFFScanlineSize(m_tif));
    const size_t bufsize = linesize > GetEffWidth() ? linesize : GetEffWidth();
    // Row `row` of the file (top first) as the file holds it, into buf (bufsize bytes).
    auto pack = [&](uint32_t row, BYTE* buf) {
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
        }
    };
    if (bitcount != 1 && bitcount != 4 && bitcount != 8 && bitcount != 24 && bitcount != 32) return true;

    const uint32_t nstrips = TIFFNumberOfStrips(m_tif);
    // Not deflate: libtiff hands a whole strip to another compressor than it feeds row by row,
    // and the bytes differ.
    const bool onPool = (compression == COMPRESSION_LZW || compression == COMPRESSION_PACKBITS) &&
                        nstrips >= 16 && static_cast<uint64_t>(linesize) * height >= (uint64_t(4) << 20) &&
                        pxcore::PxWorkerPool::Width(8) > 1;
    if (onPool) {
        // Large pages: the strips are compressed on the worker pool, each band of them by libtiff in
        // a TIFF of its own in memory, and their bytes go into the file in order, as the same
        // strips written row by row would.
        uint16_t predictor = PREDICTOR_NONE;
        TIFFGetField(m_tif, TIFFTAG_PREDICTOR, &predictor);
        const uint32_t group = std::max<uint32_t>(1, nstrips / (pxcore::PxWorkerPool::Width(8) * 4));
        const uint32_t ngroups = (nstrips + group - 1) / group;
        std::vector<std::vector<BYTE>> strips(nstrips);
        std::atomic<bool> failed{false};
        try {
            pxcore::PxWorkerPool::Instance().Run(ngroups, [&](unsigned g) {
                if (failed) return;
                const uint32_t s0 = g * group, s1 = std::min(nstrips, s0 + group);
                const uint32_t first = s0 * rowsperstrip, last = std::min(height, s1 * rowsperstrip);
                PxMemFile mem;
                TIFF* band = mem.Open() ? OpenOverFile(&mem, "w") : nullptr;
                // Rows are packed in place: the last may reach bufsize - linesize bytes past its line.
                MallocPtr stripMem(static_cast<BYTE*>(std::malloc(linesize * rowsperstrip + (bufsize - linesize) + 8)));
                if (!band || !stripMem) {
                    if (band) TIFFClose(band);
                    failed = true;
                    return;
                }
                TIFFSetField(band, TIFFTAG_IMAGEWIDTH, width);
                TIFFSetField(band, TIFFTAG_IMAGELENGTH, last - first);
                TIFFSetField(band, TIFFTAG_SAMPLESPERPIXEL, samplesperpixel);
                TIFFSetField(band, TIFFTAG_BITSPERSAMPLE, bitspersample);
                // The colour map only matters to the file's directory, which the band has not.
                TIFFSetField(band, TIFFTAG_PHOTOMETRIC,
                             photometric == PHOTOMETRIC_PALETTE ? PHOTOMETRIC_MINISBLACK : photometric);
                TIFFSetField(band, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
                TIFFSetField(band, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
                TIFFSetField(band, TIFFTAG_COMPRESSION, compression);
                if (predictor != PREDICTOR_NONE) TIFFSetField(band, TIFFTAG_PREDICTOR, predictor);
                for (uint32_t st = s0; st < s1 && !failed; st++) {
                    const uint32_t r0 = st * rowsperstrip, r1 = std::min(height, r0 + rowsperstrip);
                    for (uint32_t r = r0; r < r1; r++) pack(r, stripMem.get() + (r - r0) * linesize);
                    if (TIFFWriteEncodedStrip(band, st - s0, stripMem.get(), static_cast<tmsize_t>((r1 - r0) * linesize)) < 0) {
                        failed = true;
                        break;
                    }
                    const uint64_t offset = TIFFGetStrileOffset(band, st - s0);
                    const uint64_t count = TIFFGetStrileByteCount(band, st - s0);
                    const BYTE* data = static_cast<const BYTE*>(mem.GetBuffer(false));
                    if (offset + count > static_cast<uint64_t>(mem.Size())) {
                        failed = true;
                        break;
                    }
                    strips[st].assign(data + offset, data + offset + count);
                }
                TIFFClose(band);
            });
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (failed) return false;
        for (uint32_t st = 0; st < nstrips; st++) {
            if (TIFFWriteRawStrip(m_tif, st, strips[st].data(), static_cast<tmsize_t>(strips[st].size())) < 0) return false;
            std::vector<BYTE>().swap(strips[st]);
        }
        return true;
    }

    MallocPtr bufMem(static_cast<BYTE*>(std::malloc(bufsize + 8)));
    if (!bufMem) return false;
    BYTE* const buf = bufMem.get();
    for (uint32_t row = 0; row < height; row++) {
        pack(row, buf);
        if (TIFFWriteScanline(m_tif, buf, row, 0) < 0) return false;
    }
    return true;
}
