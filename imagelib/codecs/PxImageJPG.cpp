#include "imagelib/codecs/PxImageJPG.h"

#include <csetjmp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "imagelib/codecs/PxExifInfo.h"

namespace {

constexpr size_t JPEG_BUFFER_SIZE = 4096;
// A progressive file can ask for any number of scans; real encoders use a dozen or so.
constexpr int MAX_JPEG_SCANS = 1000;
// Coefficient buffers of progressive files are allocated before the first row; this bounds them.
constexpr long MAX_JPEG_MEMORY = 1024L * 1024L * 1024L;

// libjpeg's error manager with a way back: error_exit formats the message into the image's
// last-error buffer and jumps back to the operation, which destroys the libjpeg object.
struct PxJpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf setjmp_buffer;
    char* buffer;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<PxJpegErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::snprintf(err->buffer, 256, "%s", message);
    std::longjmp(err->setjmp_buffer, 1);
}

// A library prints nothing; warnings (premature end, corrupt data) are not failures.
void JpegOutputMessage(j_common_ptr) {}

void JpegLimitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > MAX_JPEG_SCANS) {
        auto* err = reinterpret_cast<PxJpegErrorManager*>(cinfo->err);
        std::snprintf(err->buffer, 256, "Too many scans in JPEG file");
        std::longjmp(err->setjmp_buffer, 1);
    }
}

void InstallErrorManager(PxJpegErrorManager& jerr, char* buffer) {
    jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = JpegErrorExit;
    jerr.pub.output_message = JpegOutputMessage;
    jerr.buffer = buffer;
}

// One object per decode or encode: libjpeg's source and destination manager over one PxFile.
class PxJpegFileManager {
public:
    explicit PxJpegFileManager(PxFile* file) : m_pFile(file) {
        m_pBuffer = static_cast<JOCTET*>(std::malloc(JPEG_BUFFER_SIZE));
        dst.init_destination = InitDestination;
        dst.empty_output_buffer = EmptyOutputBuffer;
        dst.term_destination = TermDestination;
        dst.next_output_byte = nullptr;
        dst.free_in_buffer = 0;
        src.init_source = InitSource;
        src.fill_input_buffer = FillInputBuffer;
        src.skip_input_data = SkipInputData;
        src.resync_to_restart = jpeg_resync_to_restart;
        src.term_source = TermSource;
        src.bytes_in_buffer = 0;
        src.next_input_byte = nullptr;
    }
    ~PxJpegFileManager() { std::free(m_pBuffer); }
    PxJpegFileManager(const PxJpegFileManager&) = delete;
    PxJpegFileManager& operator=(const PxJpegFileManager&) = delete;

    jpeg_source_mgr src;
    jpeg_destination_mgr dst;
    PxFile* m_pFile;
    JOCTET* m_pBuffer;
    bool m_bStartOfFile = true;

private:
    static PxJpegFileManager* Of(j_common_ptr cinfo) { return static_cast<PxJpegFileManager*>(cinfo->client_data); }

    static void InitDestination(j_compress_ptr cinfo) {
        PxJpegFileManager* m = Of(reinterpret_cast<j_common_ptr>(cinfo));
        m->dst.next_output_byte = m->m_pBuffer;
        m->dst.free_in_buffer = JPEG_BUFFER_SIZE;
    }
    static boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
        PxJpegFileManager* m = Of(reinterpret_cast<j_common_ptr>(cinfo));
        if (m->m_pFile->Write(m->m_pBuffer, 1, JPEG_BUFFER_SIZE) != JPEG_BUFFER_SIZE) ERREXIT(cinfo, JERR_FILE_WRITE);
        m->dst.next_output_byte = m->m_pBuffer;
        m->dst.free_in_buffer = JPEG_BUFFER_SIZE;
        return TRUE;
    }
    static void TermDestination(j_compress_ptr cinfo) {
        PxJpegFileManager* m = Of(reinterpret_cast<j_common_ptr>(cinfo));
        size_t datacount = JPEG_BUFFER_SIZE - m->dst.free_in_buffer;
        if (datacount > 0 && m->m_pFile->Write(m->m_pBuffer, 1, datacount) != datacount)
            ERREXIT(cinfo, JERR_FILE_WRITE);
        m->m_pFile->Flush();
        if (m->m_pFile->Error()) ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    static void InitSource(j_decompress_ptr cinfo) { Of(reinterpret_cast<j_common_ptr>(cinfo))->m_bStartOfFile = true; }
    static boolean FillInputBuffer(j_decompress_ptr cinfo) {
        PxJpegFileManager* m = Of(reinterpret_cast<j_common_ptr>(cinfo));
        size_t nbytes = m->m_pFile->Read(m->m_pBuffer, 1, JPEG_BUFFER_SIZE);
        if (nbytes == 0) {
            if (m->m_bStartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            m->m_pBuffer[0] = 0xFF;
            m->m_pBuffer[1] = JPEG_EOI;
            nbytes = 2;
        }
        m->src.next_input_byte = m->m_pBuffer;
        m->src.bytes_in_buffer = nbytes;
        m->m_bStartOfFile = false;
        return TRUE;
    }
    static void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
        PxJpegFileManager* m = Of(reinterpret_cast<j_common_ptr>(cinfo));
        if (num_bytes <= 0) return;
        while (num_bytes > static_cast<long>(m->src.bytes_in_buffer)) {
            num_bytes -= static_cast<long>(m->src.bytes_in_buffer);
            FillInputBuffer(cinfo);
        }
        m->src.next_input_byte += num_bytes;
        m->src.bytes_in_buffer -= static_cast<size_t>(num_bytes);
    }
    static void TermSource(j_decompress_ptr) {}
};

// IJG 6b took any denominator and rounded it down to 1, 2, 4 or 8; later libraries take
// 0 as double size and 3 as 3/8, so the stored scale is mapped the old way.
unsigned int ScaleDenominator(BYTE scale) {
    if (scale >= 8) return 8;
    if (scale >= 4) return 4;
    if (scale >= 2) return 2;
    return 1;
}

// The decode hint: the smallest DCT scaling of M/8 whose output still covers the picture as it
// will be shown fitted inside fitW x fitH, when that is smaller than what the scale setting asks.
// Every factor is tried through the library itself, so the sizes are its own rounding.
void ShrinkOnLoad(j_decompress_ptr cinfo, DWORD fitW, DWORD fitH) {
    const double w = cinfo->image_width, h = cinfo->image_height;
    if (w <= 0 || h <= 0) return;
    const double fit = std::min(fitW / w, fitH / h);
    if (fit >= 1.0) return;
    const unsigned int settingNum = 8 / cinfo->scale_denom;  // the setting's 1/d as eighths
    const double needW = std::ceil(w * fit - 1e-6), needH = std::ceil(h * fit - 1e-6);
    for (unsigned int num = 1; num < settingNum; num++) {
        cinfo->scale_num = num;
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        if (cinfo->output_width >= needW && cinfo->output_height >= needH) return;
    }
    cinfo->scale_num = 1;
    cinfo->scale_denom = 8 / settingNum;
}

// Resolutions beyond this are garbage, and would overflow the pixels-per-metre field.
constexpr double MAX_DPI = 1000000.0;

// DPI from a floating resolution, rounded; nothing for values that are not a usable DPI.
bool RoundDpi(double v, LONG* out) {
    if (!(v > 0 && v <= MAX_DPI)) return false;
    *out = static_cast<LONG>(std::floor(v + 0.5));
    return true;
}

}  // namespace

PxImageJPG::PxImageJPG() : PxImage(PXIMAGE_FORMAT_JPG) { std::memset(&m_exifinfo, 0, sizeof(m_exifinfo)); }

PxImageJPG::PxImageJPG(const PxImageJPG& src) : PxImage(src) {
    std::memset(&m_exifinfo, 0, sizeof(m_exifinfo));
    CopySettings(src);
}

PxImageJPG& PxImageJPG::operator=(const PxImageJPG& src) {
    if (this != &src) {
        PxImage::operator=(src);
        delete m_exif;
        m_exif = nullptr;
        CopySettings(src);
    }
    return *this;
}

PxImageJPG::~PxImageJPG() { delete m_exif; }

void PxImageJPG::CopySettings(const PxImageJPG& src) {
    m_exifinfo = src.m_exifinfo;
    // The thumbnail lives in the other object's reader; this object has none.
    m_exifinfo.thumbnail = nullptr;
    m_exifinfo.thumbnailSize = 0;
    m_nPredictor = src.m_nPredictor;
    m_nPointTransform = src.m_nPointTransform;
    m_nSmoothing = src.m_nSmoothing;
    m_nQuality = src.m_nQuality;
    m_nDither = src.m_nDither;
}

bool PxImageJPG::DecodeExif(FILE* hFile) {
    PxIOFile f(hFile);
    return DecodeExif(&f);
}

bool PxImageJPG::DecodeExif(PxFile* hFile) {
    delete m_exif;
    m_exif = nullptr;
    // A record left over from an earlier file must not pass for this one's.
    std::memset(&m_exifinfo, 0, sizeof(m_exifinfo));
    if (!hFile) return false;
    m_exif = new (std::nothrow) PxExifInfo(&m_exifinfo);
    if (!m_exif) return false;
    LONG pos = hFile->Tell();
    m_exif->DecodeExif(hFile, EXIF_READ_EXIF);
    hFile->Seek(pos, SEEK_SET);
    return m_exifinfo.isExif;
}

bool PxImageJPG::Decode(FILE* hFile) {
    PxIOFile f(hFile);
    return Decode(&f);
}

bool PxImageJPG::Decode(PxFile* hFile) {
    if (!hFile) return false;
    // Settings handed over from the caller's image must not make this file transparent.
    info.nBkgndIndex = -1;
    info.bAlphaPaletteEnabled = false;
    const bool is_exif = DecodeExif(hFile);

    PxJpegFileManager mgr(hFile);
    if (!mgr.m_pBuffer) {
        SetLastError("PxImageJPG can't allocate memory");
        return false;
    }
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    PxJpegErrorManager jerr;
    InstallErrorManager(jerr, info.szLastError);
    cinfo.err = &jerr.pub;
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MAX_JPEG_MEMORY;
    cinfo.client_data = &mgr;
    cinfo.src = &mgr.src;
    progress.progress_monitor = JpegLimitScans;
    cinfo.progress = &progress;

    jpeg_read_header(&cinfo, TRUE);

    const DWORD opt = GetCodecOption(PXIMAGE_FORMAT_JPG);
    if (opt & JPG_DEC_GRAYSCALE) cinfo.out_color_space = JCS_GRAYSCALE;
    if (opt & JPG_DEC_QUANTIZE) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = GetJpegQuality();
    }
    if ((opt & JPG_DEC_DITHER) && m_nDither >= JDITHER_NONE && m_nDither <= JDITHER_FS)
        cinfo.dither_mode = static_cast<J_DITHER_MODE>(m_nDither);
    if (opt & JPG_DEC_ONEPASS) cinfo.two_pass_quantize = FALSE;
    if (opt & JPG_DEC_NOSMOOTH) cinfo.do_fancy_upsampling = FALSE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = ScaleDenominator(GetJpegScale());
    if (GetDecodeHintWidth() && GetDecodeHintHeight()) ShrinkOnLoad(&cinfo, GetDecodeHintWidth(), GetDecodeHintHeight());

    jpeg_calc_output_dimensions(&cinfo);
    if (GetEscape() == -1) {
        head.biWidth = static_cast<LONG>(cinfo.output_width);
        head.biHeight = static_cast<LONG>(cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

#ifdef JCS_EXTENSIONS
    // The DIB stores blue first; let the library write it that way.
    const bool bgrOutput = !cinfo.quantize_colors && cinfo.out_color_space == JCS_RGB;
    if (bgrOutput) cinfo.out_color_space = JCS_EXT_BGR;
#else
    const bool bgrOutput = false;
#endif
    jpeg_calc_output_dimensions(&cinfo);

    // The image is made before the library allocates its own buffers, so a file that declares
    // an impossible size fails here and cheaply.
    if (!Create(cinfo.output_width, cinfo.output_height, 8 * cinfo.output_components, PXIMAGE_FORMAT_JPG)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);

    LONG dpi;
    if (is_exif) {
        if (m_exifinfo.xResolution != 0 && m_exifinfo.resolutionUnit != 0 &&
            RoundDpi(static_cast<double>(m_exifinfo.xResolution) / m_exifinfo.resolutionUnit, &dpi))
            SetXDPI(dpi);
        if (m_exifinfo.yResolution != 0 && m_exifinfo.resolutionUnit != 0 &&
            RoundDpi(static_cast<double>(m_exifinfo.yResolution) / m_exifinfo.resolutionUnit, &dpi))
            SetYDPI(dpi);
    } else if (cinfo.density_unit == 2) {
        SetXDPI(static_cast<LONG>(std::floor(cinfo.X_density * 2.54 + 0.5)));
        SetYDPI(static_cast<LONG>(std::floor(cinfo.Y_density * 2.54 + 0.5)));
    } else {  // 16-bit densities need no bound
        SetXDPI(cinfo.X_density);
        SetYDPI(cinfo.Y_density);
    }

    if (cinfo.quantize_colors) {
        const int n = cinfo.actual_number_of_colors;
        if (cinfo.out_color_components >= 3)
            SetPalette(static_cast<DWORD>(n), cinfo.colormap[0], cinfo.colormap[1], cinfo.colormap[2]);
        else  // a grey colour map has one component
            SetPalette(static_cast<DWORD>(n), cinfo.colormap[0], cinfo.colormap[0], cinfo.colormap[0]);
        if (n > 0 && n < 256) {
            // Fewer colours used: the palette shrinks and the rows (not yet written) follow it.
            head.biClrUsed = static_cast<DWORD>(n);
            std::memcpy(pDib, &head, sizeof(head));
            pBits = static_cast<BYTE*>(pDib) + head.biSize + static_cast<size_t>(n) * sizeof(RGBQUAD);
        }
    } else if (cinfo.out_color_space == JCS_GRAYSCALE) {
        SetGrayPalette();
    }

    const size_t row_stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                   static_cast<JDIMENSION>(row_stride), 1);
    const size_t effwidth = GetEffWidth();
    const bool cmyk = !cinfo.quantize_colors && cinfo.output_components == 4;
    LONG y = head.biHeight - 1;
    while (cinfo.output_scanline < cinfo.output_height) {
        if (GetEscape()) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        jpeg_read_scanlines(&cinfo, buffer, 1);
        BYTE* dst = GetBits(static_cast<DWORD>(y));
        const BYTE* src = buffer[0];
        if (dst) {
            if (cmyk) {
                for (size_t x = 0, i = 0; x + 3 <= effwidth && i + 4 <= row_stride; x += 3, i += 4) {
                    const unsigned k = src[i + 3];
                    dst[x] = static_cast<BYTE>(k * src[i + 2] / 255);
                    dst[x + 1] = static_cast<BYTE>(k * src[i + 1] / 255);
                    dst[x + 2] = static_cast<BYTE>(k * src[i] / 255);
                }
            } else {
                std::memcpy(dst, src, row_stride < effwidth ? row_stride : effwidth);
                if (!bgrOutput && !cinfo.quantize_colors && cinfo.output_components == 3)
                    RGBtoBGR(dst, static_cast<int>(3 * head.biWidth));
            }
        }
        --y;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool PxImageJPG::Encode(FILE* hFile) {
    PxIOFile f(hFile);
    return Encode(&f);
}

bool PxImageJPG::Encode(PxFile* hFile) {
    if (EncodeSafeCheck(hFile)) return false;
    // Only true colour and 8-bit grey have a JPEG form; packed grey depths have none.
    if (head.biClrUsed != 0 && !(head.biBitCount == 8 && IsGrayScale())) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }

    if (!(m_exif && m_exifinfo.isExif)) return Compress(hFile);

    // The decoded file's EXIF goes into the new one: the new file is read back and rewritten
    // with the kept sections. That happens in memory, so the target stream need not be
    // readable, and a failure of the carry-over still leaves a plain JPEG.
    PxMemFile plain;
    if (!plain.Open()) {
        SetLastError("PxImageJPG can't allocate memory");
        return false;
    }
    if (!Compress(&plain)) return false;
    PxMemFile withExif;
    bool carried = false;
    if (withExif.Open()) {
        m_exif->DiscardAllButExif();
        plain.Seek(0, SEEK_SET);
        carried = m_exif->DecodeExif(&plain, EXIF_READ_IMAGE) && m_exif->EncodeExif(&withExif);
    }
    PxMemFile& out = carried ? withExif : plain;
    const size_t size = static_cast<size_t>(out.Size());
    if (hFile->Write(out.GetBuffer(false), 1, size) != size) {
        SetLastError("Output file write error --- out of disk space?");
        return false;
    }
    return true;
}

bool PxImageJPG::Compress(PxFile* hFile) {
    PxJpegFileManager mgr(hFile);
    if (!mgr.m_pBuffer) {
        SetLastError("PxImageJPG can't allocate memory");
        return false;
    }
    jpeg_compress_struct cinfo;
    PxJpegErrorManager jerr;
    InstallErrorManager(jerr, info.szLastError);
    cinfo.err = &jerr.pub;
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.client_data = &mgr;
    cinfo.dest = &mgr.dst;

    cinfo.image_width = GetWidth();
    cinfo.image_height = GetHeight();
    const bool grey = head.biClrUsed != 0;
    if (grey) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else {
        cinfo.input_components = 3;
#ifdef JCS_EXTENSIONS
        cinfo.in_color_space = JCS_EXT_BGR;
#else
        cinfo.in_color_space = JCS_RGB;
#endif
    }
    jpeg_set_defaults(&cinfo);

    const DWORD opt = GetCodecOption(PXIMAGE_FORMAT_JPG);
    if (opt & JPG_ENC_ARITHMETIC) cinfo.arith_code = TRUE;
    if (opt & JPG_ENC_OPTIMIZE) cinfo.optimize_coding = TRUE;
    if (opt & JPG_ENC_GRAYSCALE) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (opt & JPG_ENC_SMOOTHING)
        cinfo.smoothing_factor = m_nSmoothing < 0 ? 0 : (m_nSmoothing > 100 ? 100 : m_nSmoothing);
    jpeg_set_quality(&cinfo, GetJpegQuality(), (opt & JPG_ENC_BASELINE) ? TRUE : FALSE);
    if (opt & JPG_ENC_PROGRESSIVE) jpeg_simple_progression(&cinfo);

    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(GetXDPI());
    cinfo.Y_density = static_cast<UINT16>(GetYDPI());

    jpeg_start_compress(&cinfo, TRUE);
#ifndef JCS_EXTENSIONS
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                   GetEffWidth() + 8, 1);
#endif
    LONG y = head.biHeight - 1;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = GetBits(static_cast<DWORD>(y));
#ifndef JCS_EXTENSIONS
        std::memcpy(buffer[0], row, GetEffWidth());
        if (!grey) RGBtoBGR(buffer[0], static_cast<int>(GetEffWidth()));
        row = buffer[0];
#endif
        jpeg_write_scanlines(&cinfo, &row, 1);
        --y;
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}
