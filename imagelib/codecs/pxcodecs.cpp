// The codec table: which class reads and writes each format id.
#include "imagelib/codecs/pxcodecs.h"

// Each codec adds its header here and one case line below.
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
