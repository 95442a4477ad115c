// JPEG-2000 family codec. The five readers only deliver the file's samples; turning them into a
// DIB happens in one place: every sample is scaled from its own range (2^precision - 1, or a
// PNM's maxval, signed samples moved up to start at 0) to the depth of the image made for it.
#include "imagelib/codecs/PxJasperCodec.h"

#include <openjpeg.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "imagelib/codecs/PxPgxCodec.h"
#include "imagelib/codecs/PxPnmCodec.h"
#include "imagelib/codecs/PxRasCodec.h"
#include "imagelib/core/pxworkerpool.h"
#include "imagelib/pxfile.h"
#include "platform/debugout.h"

namespace {

const char* const kCannotLoad = "error: cannot load image data";
const char* const kCannotEncode = "error: cannot encode image\n";

// A sample of `range` levels (after moving signed samples up by `offset`) as one of maxOut + 1.
struct SampleScale {
    int64_t offset;
    uint64_t range;
    DWORD maxOut;
    SampleScale(const PxJasperPicture::Component& c, DWORD maxOut_) : offset(c.Offset()), range(c.Range()), maxOut(maxOut_) {}
    BYTE operator()(int32_t v) const {
        const int64_t u = std::clamp<int64_t>(int64_t{v} + offset, 0, static_cast<int64_t>(range));
        if (range == maxOut) return static_cast<BYTE>(u);
        return static_cast<BYTE>((static_cast<uint64_t>(u) * maxOut + range / 2) / range);
    }
};

// OpenJPEG's streams count positions from where they began, which need not be the file's start.
struct StreamGlue {
    PxFile* file;
    LONG start;
};

OPJ_SIZE_T ReadGlue(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* g = static_cast<StreamGlue*>(user);
    const size_t got = g->file->Read(buffer, 1, n);
    return got ? got : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_SIZE_T WriteGlue(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* g = static_cast<StreamGlue*>(user);
    return g->file->Write(buffer, 1, n) == n ? n : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T SkipReadGlue(OPJ_OFF_T n, void* user) {
    auto* g = static_cast<StreamGlue*>(user);
    if (n < 0 || n > INT32_MAX || !g->file->Seek(static_cast<LONG>(n), SEEK_CUR)) return -1;
    return n;
}

// Writing skips over a box header that is filled in later: past the end, the gap is written.
OPJ_OFF_T SkipWriteGlue(OPJ_OFF_T n, void* user) {
    auto* g = static_cast<StreamGlue*>(user);
    const int64_t pos = g->file->Tell(), size = g->file->Size();
    if (n < 0 || pos < 0 || pos + n > INT32_MAX) return -1;
    if (pos + n <= size) return g->file->Seek(static_cast<LONG>(n), SEEK_CUR) ? n : -1;
    if (!g->file->Seek(0, SEEK_END)) return -1;
    static const BYTE zeros[256] = {};
    for (int64_t gap = pos + n - size; gap > 0;) {
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(gap, sizeof zeros));
        if (g->file->Write(zeros, 1, chunk) != chunk) return -1;
        gap -= static_cast<int64_t>(chunk);
    }
    return n;
}

OPJ_BOOL SeekGlue(OPJ_OFF_T offset, void* user) {
    auto* g = static_cast<StreamGlue*>(user);
    if (offset < 0 || int64_t{g->start} + offset > INT32_MAX) return OPJ_FALSE;
    return g->file->Seek(static_cast<LONG>(g->start + offset), SEEK_SET) ? OPJ_TRUE : OPJ_FALSE;
}

// OpenJPEG reports through callbacks; errors are kept for the debug output, the rest dropped.
void KeepMessage(const char* text, void* user) { static_cast<std::string*>(user)->append(text); }
void DropMessage(const char*, void*) {}

struct CodecCloser {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamCloser {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageCloser {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

void Hook(opj_codec_t* codec, std::string* errors) {
    opj_set_error_handler(codec, KeepMessage, errors);
    opj_set_warning_handler(codec, DropMessage, nullptr);
    opj_set_info_handler(codec, DropMessage, nullptr);
}

// Worker threads pay off for large pictures only; starting them costs more than a small one takes.
// OpenJPEG's own OPJ_NUM_THREADS, where set, has sized the codec when it was made: it stands.
void UseThreads(opj_codec_t* codec, uint64_t bytes) {
    if (std::getenv("OPJ_NUM_THREADS")) return;
    if (bytes >= (uint64_t{1} << 20) && opj_has_thread_support())
        opj_codec_set_threads(codec, static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)));
}

void Report(const std::string& errors) {
    if (!errors.empty()) OutputDebugStringA(("OpenJPEG: " + errors).c_str());
}

uint32_t CeilDiv(uint32_t a, uint32_t b) { return static_cast<uint32_t>((uint64_t{a} + b - 1) / b); }

}  // namespace

DWORD PxJasperCodec::Detect(const BYTE* h, size_t n) {
    static const BYTE jp2[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (n >= 12 && std::memcmp(h, jp2, 12) == 0) return PXIMAGE_FORMAT_JP2;
    if (n >= 4 && h[0] == 0xFF && h[1] == 0x4F && h[2] == 0xFF && h[3] == 0x51) return PXIMAGE_FORMAT_JPC;
    if (n >= 3 && h[0] == 'P' && h[1] == 'G' && (h[2] == ' ' || h[2] == '\t' || h[2] == 'M' || h[2] == 'L'))
        return PXIMAGE_FORMAT_PGX;
    if (n >= 2 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6') return PXIMAGE_FORMAT_PNM;
    if (n >= 4 && h[0] == 0x59 && h[1] == 0xA6 && h[2] == 0x6A && h[3] == 0x95) return PXIMAGE_FORMAT_RAS;
    return 0;
}

bool PxJasperCodec::Decode(PxFile* hFile, DWORD imagetype) {
    if (!hFile) return false;
    try {
        const LONG start = hFile->Tell();
        BYTE head[12] = {};
        const size_t got = hFile->Read(head, 1, sizeof head);
        if (!hFile->Seek(start, SEEK_SET)) throw kCannotLoad;
        const DWORD format = Detect(head, got);
        if (format == 0) throw kCannotLoad;
        // A decoded image reports the format that read it; a named id is kept.
        const DWORD type = imagetype ? imagetype : format;
        if (format == PXIMAGE_FORMAT_JP2 || format == PXIMAGE_FORMAT_JPC) {
            DecodeOpenJpeg(hFile, format, type);
            return true;
        }
        if ((format == PXIMAGE_FORMAT_PNM || format == PXIMAGE_FORMAT_RAS) && DecodeRows8(hFile, format, type)) return true;
        PxJasperPicture picture;
        if (format == PXIMAGE_FORMAT_PGX)
            PxPgxCodec::Read(hFile, picture);
        else if (format == PXIMAGE_FORMAT_PNM)
            PxPnmCodec::Read(hFile, picture);
        else
            PxRasCodec::Read(hFile, picture);
        MakeImage(picture, type);
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
}

void PxJasperCodec::MakeImage8(DWORD width, DWORD height, int comps, DWORD imagetype) {
    // As MakeImage makes a picture of 8-bit samples.
    if (comps == 1) {
        info.nNumFrames = 1;
        if (GetFrame() != 0) throw "wrong frame!";
    }
    if (!Create(width, height, comps == 3 ? 24 : 8, imagetype)) throw "Can't allocate memory";
    if (comps == 1) SetGrayPalette();
}

bool PxJasperCodec::DecodeRows8(PxFile* hFile, DWORD format, DWORD imagetype) {
    // Files of 8-bit samples, the common kinds, go straight into the picture's rows; what
    // MakeImage would make of them is what they hold.
    const LONG start = hFile->Tell();
    try {
        if (format == PXIMAGE_FORMAT_PNM) {
            const PxPnmCodec::Header h = PxPnmCodec::ReadHeader(hFile);
            if ((h.kind != 5 && h.kind != 6) || h.maxval != 255) {
                if (!hFile->Seek(start, SEEK_SET)) throw kCannotLoad;
                return false;
            }
            MakeImage8(h.width, h.height, h.comps, imagetype);
            PxPnmCodec::ReadRows8(hFile, h, *this);
        } else {
            const PxRasCodec::Layout l = PxRasCodec::ReadLayout(hFile);
            if (!l.Samples8()) {
                if (!hFile->Seek(start, SEEK_SET)) throw kCannotLoad;
                return false;
            }
            MakeImage8(l.width, l.height, l.comps, imagetype);
            PxRasCodec::ReadRows8(hFile, l, *this);
        }
    } catch (const char*) {
        if (IsValid()) Destroy();  // a file that fails leaves no half picture, as the sample readers leave none
        throw;
    }
    return true;
}

void PxJasperCodec::MakeImage(const PxJasperPicture& picture, DWORD imagetype) {
    const size_t n = picture.comps.size();
    if (n == 0) throw kCannotLoad;
    if (n > 64) throw "error: too much components";
    std::vector<const PxJasperPicture::Component*> comps;
    for (const auto& c : picture.comps) comps.push_back(&c);
    auto sameSize = [&](size_t count) {
        for (size_t i = 1; i < count; ++i)
            if (comps[i]->width != comps[0]->width || comps[i]->height != comps[0]->height) return false;
        return true;
    };

    // Depths other than 1, 4 and 8 become 8-bit colour: one grey component makes three equal ones.
    const int p0 = comps[0]->precision;
    const bool toColour = p0 != 1 && p0 != 4 && p0 != 8;
    if (toColour) {
        if (n < 3)
            comps.assign(3, comps[0]);
        else if (!sameSize(3))
            throw "cannot convert to sRGB";
        comps.resize(3);
    }

    const bool colour = comps.size() == 3 && sameSize(3) &&
                        (toColour || (comps[1]->precision == p0 && comps[2]->precision == p0));
    if (colour) {
        const DWORD w = comps[0]->width, h = comps[0]->height;
        if (!Create(w, h, 24, imagetype)) throw "Can't allocate memory";
        const SampleScale r(*comps[0], 255), g(*comps[1], 255), b(*comps[2], 255);
        for (DWORD y = 0; y < h; ++y) {
            BYTE* dst = GetBits(h - 1 - y);
            const size_t base = static_cast<size_t>(y) * w;
            const int32_t *rs = comps[0]->data + base, *gs = comps[1]->data + base, *bs = comps[2]->data + base;
            for (DWORD x = 0; x < w; ++x) {
                dst[3 * x] = b(bs[x]);
                dst[3 * x + 1] = g(gs[x]);
                dst[3 * x + 2] = r(rs[x]);
            }
        }
        return;
    }

    // Otherwise each component is a grey frame.
    info.nNumFrames = static_cast<LONG>(comps.size());
    const LONG frame = GetFrame();
    if (frame < 0 || frame >= static_cast<LONG>(comps.size())) throw "wrong frame!";
    const PxJasperPicture::Component& c = *comps[static_cast<size_t>(frame)];
    const DWORD bpp = c.precision <= 1 ? 1 : c.precision <= 4 ? 4 : 8;
    if (!Create(c.width, c.height, bpp, imagetype)) throw "Can't allocate memory";
    SetGrayPalette();
    const SampleScale scale(c, (1u << bpp) - 1);
    for (DWORD y = 0; y < c.height; ++y) {
        const int32_t* src = c.data + static_cast<size_t>(y) * c.width;
        const LONG row = static_cast<LONG>(c.height - 1 - y);
        if (bpp == 8) {
            BYTE* dst = GetBits(static_cast<DWORD>(row));
            for (DWORD x = 0; x < c.width; ++x) dst[x] = scale(src[x]);
        } else {
            for (DWORD x = 0; x < c.width; ++x) SetPixelIndex(static_cast<LONG>(x), row, scale(src[x]));
        }
    }
}

void PxJasperCodec::DecodeOpenJpeg(PxFile* file, DWORD format, DWORD imagetype) {
    std::string errors;
    std::unique_ptr<opj_codec_t, CodecCloser> codec(
        opj_create_decompress(format == PXIMAGE_FORMAT_JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) throw kCannotLoad;
    Hook(codec.get(), &errors);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params)) throw kCannotLoad;
    // Compressed bytes stand for the picture's size, which is not known yet.
    UseThreads(codec.get(), static_cast<uint64_t>(std::max<int64_t>(int64_t{file->Size()} - file->Tell(), 0)) * 8);

    StreamGlue glue{file, file->Tell()};
    std::unique_ptr<opj_stream_t, StreamCloser> stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!stream) throw "error: cannot open standard input";
    opj_stream_set_user_data(stream.get(), &glue, nullptr);
    opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(std::max<int64_t>(int64_t{file->Size()} - glue.start, 0)));
    opj_stream_set_read_function(stream.get(), ReadGlue);
    opj_stream_set_skip_function(stream.get(), SkipReadGlue);
    opj_stream_set_seek_function(stream.get(), SeekGlue);

    opj_image_t* raw = nullptr;
    const bool header = opj_read_header(stream.get(), codec.get(), &raw);
    std::unique_ptr<opj_image_t, ImageCloser> image(raw);
    if (!header || !image) {
        Report(errors);
        throw kCannotLoad;
    }
    if (image->numcomps > 64) throw "error: too much components";
    if (image->numcomps == 0 || image->x1 <= image->x0 || image->y1 <= image->y0) throw kCannotLoad;
    // The planes OpenJPEG is about to allocate, one sample each, before it allocates them.
    uint64_t samples = 0;
    for (OPJ_UINT32 i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (c.dx == 0 || c.dy == 0) throw kCannotLoad;
        samples += uint64_t{CeilDiv(image->x1, c.dx) - CeilDiv(image->x0, c.dx)} *
                   (CeilDiv(image->y1, c.dy) - CeilDiv(image->y0, c.dy));
    }
    if (samples > PXIMAGE_MAX_MEMORY) throw "PXIMAGE_MAX_MEMORY exceeded";
    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
        Report(errors);
        throw kCannotLoad;
    }

    PxJasperPicture picture;
    for (OPJ_UINT32 i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (!c.data || c.w == 0 || c.h == 0 || c.prec == 0 || c.prec > 31) throw kCannotLoad;
        PxJasperPicture::Component& comp = picture.comps.emplace_back();
        comp.width = c.w;
        comp.height = c.h;
        comp.precision = static_cast<int>(c.prec);
        comp.sign = c.sgnd != 0;
        comp.data = c.data;
    }
    MakeImage(picture, imagetype);
}

bool PxJasperCodec::Encode(PxFile* hFile, DWORD imagetype) {
    if (EncodeSafeCheck(hFile)) return false;
    try {
        const bool paletted = GetPalette() != nullptr;
        if (paletted && !IsGrayScale()) throw "JasPer can save only RGB or GrayScale images";
        if (imagetype < PXIMAGE_FORMAT_JP2 || imagetype > PXIMAGE_FORMAT_RAS) throw kCannotEncode;
        if (imagetype == PXIMAGE_FORMAT_PGX && !paletted) throw "PGX can save only GrayScale images";
        // A grey image of 1 or 4 bits is written through its 8-bit widening (the indices are the levels).
        PxImage* source = this;
        std::unique_ptr<PxImage> widened;
        if (paletted && GetBpp() != 8) {
            widened = std::make_unique<PxImage>(*this, true, false, false);
            if (!widened->IncreaseBpp(8)) throw "error : can't allocate memory";
            source = widened.get();
        }
        switch (imagetype) {
        case PXIMAGE_FORMAT_PGX: PxPgxCodec::Write(hFile, *source); break;
        case PXIMAGE_FORMAT_PNM: PxPnmCodec::Write(hFile, *source); break;
        case PXIMAGE_FORMAT_RAS: PxRasCodec::Write(hFile, *source); break;
        default: EncodeOpenJpeg(hFile, imagetype, *source); break;
        }
        if (!hFile->Flush()) throw kCannotEncode;
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return false;
    }
}

void PxJasperCodec::EncodeOpenJpeg(PxFile* file, DWORD format, PxImage& source) {
    // Reversible wavelet; one layer whose ratio follows the JPEG quality (100 is lossless).
    const int quality = std::clamp<int>(GetJpegQuality(), 1, 100);
    const float ratio = 100.0f / static_cast<float>(quality);
    // OpenJPEG meets a ratio by searching for the layer's threshold, coding the packets a hundred
    // and twenty-eight times: half the time of a save. When the lossless stream already fits the
    // ratio, it is the best picture the ratio allows, and the search is skipped. Near 1:1 most
    // pictures fit, so it is tried first; at a ratio of 2 or more few do, and the search runs alone.
    if (ratio > 1.0f && ratio < 2.0f) {
        PxMemFile lossless;
        if (!lossless.Open()) throw kCannotEncode;
        EncodeOpenJpegAt(&lossless, format, source, 1.0f);
        const double budget = static_cast<double>(source.GetWidth()) * source.GetHeight() * (source.GetBpp() == 8 ? 1 : 3) / ratio;
        if (lossless.Size() <= budget) {
            const size_t size = static_cast<size_t>(lossless.Size());
            if (file->Write(lossless.GetBuffer(false), 1, size) != size) throw kCannotEncode;
            return;
        }
    }
    EncodeOpenJpegAt(file, format, source, ratio);
}

void PxJasperCodec::EncodeOpenJpegAt(PxFile* file, DWORD format, PxImage& source, float ratio) {
    const DWORD w = source.GetWidth(), h = source.GetHeight();
    const bool grey = source.GetBpp() == 8;
    const OPJ_UINT32 n = grey ? 1 : 3;

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.irreversible = 0;
    params.tcp_numlayers = 1;
    params.cp_disto_alloc = 1;
    params.tcp_rates[0] = ratio;  // 1 or less: lossless
    params.tcp_mct = grey ? 0 : 1;
    // Every resolution level must keep at least one pixel.
    while (params.numresolution > 1 && (uint64_t{1} << (params.numresolution - 1)) > std::min(w, h))
        --params.numresolution;

    opj_image_cmptparm_t parts[3] = {};
    for (OPJ_UINT32 i = 0; i < n; ++i) {
        parts[i].dx = parts[i].dy = 1;
        parts[i].w = w;
        parts[i].h = h;
        parts[i].prec = 8;
        parts[i].sgnd = 0;
    }
    // A fresh image each time: OpenJPEG keeps state in the image it encodes. Its planes are
    // allocated here rather than by opj_image_create, which would clear them first: every
    // sample is written below.
    std::unique_ptr<opj_image_t, ImageCloser> image(opj_image_tile_create(n, parts, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image) throw "error : jas_image_create";
    for (OPJ_UINT32 i = 0; i < n; ++i) {
        image->comps[i].data = static_cast<OPJ_INT32*>(opj_image_data_alloc(size_t{w} * h * sizeof(OPJ_INT32)));
        if (!image->comps[i].data) throw "error : jas_image_create";
    }
    image->x0 = image->y0 = 0;
    image->x1 = w;
    image->y1 = h;
    // In bands on the library's workers: the time goes mostly into the first touch of the planes.
    const DWORD bandRows = 64;
    pxcore::PxWorkerPool::Instance().Run((h + bandRows - 1) / bandRows, [&](unsigned band) {
        const DWORD last = std::min(h, (band + 1) * bandRows);
        for (DWORD y = band * bandRows; y < last; ++y) {
            const BYTE* src = source.GetBits(h - 1 - y);
            const size_t base = static_cast<size_t>(y) * w;
            if (grey) {
                for (DWORD x = 0; x < w; ++x) image->comps[0].data[base + x] = src[x];
            } else {
                for (DWORD x = 0; x < w; ++x) {
                    image->comps[0].data[base + x] = src[3 * x + 2];
                    image->comps[1].data[base + x] = src[3 * x + 1];
                    image->comps[2].data[base + x] = src[3 * x];
                }
            }
        }
    });

    std::string errors;
    std::unique_ptr<opj_codec_t, CodecCloser> codec(
        opj_create_compress(format == PXIMAGE_FORMAT_JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) throw kCannotEncode;
    Hook(codec.get(), &errors);
    if (!opj_setup_encoder(codec.get(), &params, image.get())) {
        Report(errors);
        throw kCannotEncode;
    }
    UseThreads(codec.get(), uint64_t{w} * h * n);
    StreamGlue glue{file, file->Tell()};
    std::unique_ptr<opj_stream_t, StreamCloser> stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream) throw "error: cannot open standard output";
    opj_stream_set_user_data(stream.get(), &glue, nullptr);
    opj_stream_set_write_function(stream.get(), WriteGlue);
    opj_stream_set_skip_function(stream.get(), SkipWriteGlue);
    opj_stream_set_seek_function(stream.get(), SeekGlue);
    if (!opj_start_compress(codec.get(), image.get(), stream.get()) || !opj_encode(codec.get(), stream.get()) ||
        !opj_end_compress(codec.get(), stream.get())) {
        Report(errors);
        throw kCannotEncode;
    }
}
