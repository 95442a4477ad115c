// The codec table: which class reads and writes each format id.
#include "imagelib/codecs/pxcodecs.h"

// Each codec adds its header here, one case line below and its test to a detection table.
#include "imagelib/codecs/PxBmpCodec.h"
#include "imagelib/codecs/PxImageJPG.h"
#include "imagelib/codecs/PxPngCodec.h"
#include "imagelib/codecs/PxImageTIF.h"
#include "imagelib/codecs/PxImageGIF.h"
#include "imagelib/codecs/PxJasperCodec.h"
#include "imagelib/codecs/PxIcoCodec.h"
#include "imagelib/codecs/PxTgaCodec.h"
#include "imagelib/codecs/PxPcxCodec.h"
#include "imagelib/codecs/PxWbmpCodec.h"
#include "imagelib/codecs/PxWmfCodec.h"

namespace {

// TIFF, classic or big, in either byte order: "II" and 42 or 43 little-endian, or "MM" and the
// same big-endian. The test lives here, as the TIFF codec cannot state it itself.
bool IsTiffHeader(const BYTE* h, size_t count) {
    if (count < 8) return false;
    const int version = h[0] == 'I' && h[1] == 'I' ? h[2] | h[3] << 8 : h[0] == 'M' && h[1] == 'M' ? h[2] << 8 | h[3] : 0;
    return version == 42 || version == 43;
}

// The signature codecs in the order detection always tried them. No two signatures can begin the
// same file, so the order only says which decoder runs first when a file matches none.
constexpr PxFormatProbe kSignatureProbes[] = {
    {PXIMAGE_FORMAT_BMP, [](const BYTE* h, size_t n, int64_t) { return PxBmpCodec::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_JPG, [](const BYTE* h, size_t n, int64_t) { return PxImageJPG::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_ICO, [](const BYTE* h, size_t n, int64_t) { return PxIcoCodec::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_GIF, [](const BYTE* h, size_t n, int64_t) { return PxImageGIF::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_PNG, [](const BYTE* h, size_t n, int64_t) { return PxPngCodec::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_TIF, [](const BYTE* h, size_t n, int64_t) { return IsTiffHeader(h, n); }},
    {PXIMAGE_FORMAT_PCX, [](const BYTE* h, size_t n, int64_t) { return PxPcxCodec::HasSignature(h, n); }},
    {PXIMAGE_FORMAT_WMF, [](const BYTE* h, size_t n, int64_t) { return PxWmfCodec::HasSignature(h, n); }},
    // JP2, JPC, PGX, PNM and Sun raster: one decoder that tells them apart itself.
    {PXIMAGE_FORMAT_UNKNOWN, [](const BYTE* h, size_t n, int64_t) { return PxJasperCodec::Detect(h, n) != 0; }},
};

// The formats without a signature, after every signature codec: a bare DIB, TGA, then WBMP, in
// the order detection always tried them. Their checks are the readers' own header checks, which
// bytes of another format can pass; a file a signature codec reads is that codec's. (A metafile
// without its placeable header is not read at all, so it has no check here.)
constexpr PxFormatProbe kHeaderProbes[] = {
    {PXIMAGE_FORMAT_BMP, [](const BYTE* h, size_t n, int64_t) { return PxBmpCodec::IsPlausibleDib(h, n); }},
    {PXIMAGE_FORMAT_TGA, PxTgaCodec::IsPlausibleHeader},
    {PXIMAGE_FORMAT_WBMP, PxWbmpCodec::IsPlausibleHeader},
};

}  // namespace

std::span<const PxFormatProbe> PxSignatureProbes() { return kSignatureProbes; }
std::span<const PxFormatProbe> PxHeaderProbes() { return kHeaderProbes; }

PxImage* PxNewCodec(DWORD imagetype) {
    switch (imagetype) {
    case PXIMAGE_FORMAT_BMP: return new PxBmpCodec;
    case PXIMAGE_FORMAT_JPG: return new PxImageJPG;
    case PXIMAGE_FORMAT_PNG: return new PxPngCodec;
    case PXIMAGE_FORMAT_GIF: return new PxImageGIF;
    case PXIMAGE_FORMAT_TIF: return new PxImageTIF;
    case PXIMAGE_FORMAT_ICO: return new PxIcoCodec;
    case PXIMAGE_FORMAT_TGA: return new PxTgaCodec;
    case PXIMAGE_FORMAT_PCX: return new PxPcxCodec;
    case PXIMAGE_FORMAT_WBMP: return new PxWbmpCodec;
    case PXIMAGE_FORMAT_WMF: return new PxWmfCodec;
    // Id 0 asks for the JPEG-2000 family codec in its own detecting mode (the last try of
    // format detection); ids 11-15 are that same codec for one format each.
    case PXIMAGE_FORMAT_UNKNOWN:
    case PXIMAGE_FORMAT_JP2:
    case PXIMAGE_FORMAT_JPC:
    case PXIMAGE_FORMAT_PGX:
    case PXIMAGE_FORMAT_PNM:
    case PXIMAGE_FORMAT_RAS: return new PxJasperCodec(imagetype);
    default:
        return nullptr;
    }
}

const char* PxFormatName(DWORD imagetype) {
    switch (imagetype) {
    case PXIMAGE_FORMAT_BMP: return "BMP";
    case PXIMAGE_FORMAT_GIF: return "GIF";
    case PXIMAGE_FORMAT_JPG: return "JPEG";
    case PXIMAGE_FORMAT_PNG: return "PNG";
    case PXIMAGE_FORMAT_ICO: return "ICO";
    case PXIMAGE_FORMAT_TIF: return "TIFF";
    case PXIMAGE_FORMAT_TGA: return "TGA";
    case PXIMAGE_FORMAT_PCX: return "PCX";
    case PXIMAGE_FORMAT_WBMP: return "WBMP";
    case PXIMAGE_FORMAT_WMF: return "WMF";
    case PXIMAGE_FORMAT_JP2: return "JP2";
    case PXIMAGE_FORMAT_JPC: return "JPC";
    case PXIMAGE_FORMAT_PGX: return "PGX";
    case PXIMAGE_FORMAT_PNM: return "PNM";
    case PXIMAGE_FORMAT_RAS: return "RAS";
    default: return "unknown";
    }
}
