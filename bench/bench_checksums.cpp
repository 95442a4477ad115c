// Checksums of what the benchmarks make: the outputs of bench_ops_filter and bench_ops_geo, and
// the TIFF, PNG and PCX files bench_codecs writes and reads back, with a few more TIFF layouts
// (every compression the writer picks, grey, palette, bilevel, alpha, several pages, and an 8-bit
// CIELab file holding every L, a, b), PCX layouts (palette, bilevel, alpha, an odd width) and
// GIF's three encoders. A faster path must print the same lines. Each checksum is a 64-bit
// FNV-1a over every row byte, padding included, then the alpha plane; files are hashed whole.
// Usage: bench_checksums [work folder [plain]] (default /tmp/quillory-bench-checksums); with
// "plain" every operation runs its plain loops, which must print the same.
#include <sys/stat.h>
#include <tiffio.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/core/pxsimd.h"
#include "benchphoto.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

constexpr LONG kWidth = 5472, kHeight = 3648;

struct Fnv {
    uint64_t h = 14695981039346656037ull;
    void Add(const BYTE* p, size_t n) {
        for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
    }
};

uint64_t ImageSum(PxImage& img) {
    Fnv f;
    for (DWORD y = 0; y < img.GetHeight(); y++) f.Add(img.GetBits(static_cast<LONG>(y)), img.GetEffWidth());
    if (img.AlphaIsValid()) f.Add(img.AlphaGetPointer(), size_t{img.GetWidth()} * img.GetHeight());
    return f.h;
}

uint64_t FileSum(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Fnv f;
    f.Add(reinterpret_cast<const BYTE*>(data.data()), data.size());
    return f.h;
}

void Print(const char* what, PxImage& img) {
    std::printf("%-28s %5u x %-5u %2u bpp %016" PRIx64 "\n", what, img.GetWidth(), img.GetHeight(), img.GetBpp(),
                ImageSum(img));
}

// bench_ops_filter's and bench_ops_geo's source: a gradient with noise (seed 1), or grey (seed 2).
void NoisyGradient(PxImage& img, WORD bpp, int seed, bool greyPalette) {
    img.Create(kWidth, kHeight, bpp);
    if (greyPalette) img.SetGrayPalette();
    px::Rand15 r(seed);
    const int b = bpp / 8;
    for (LONG y = 0; y < kHeight; y++) {
        BYTE* row = img.GetBits(y);
        for (LONG x = 0; x < kWidth * b; x++) row[x] = static_cast<BYTE>((x / b + y) / 40 + (r.Next() & 31));
    }
}

void Filters() {
    PxImage colour, grey, work, host;
    NoisyGradient(colour, 24, 1, false);
    NoisyGradient(grey, 8, 1, true);
    work.Copy(colour);
    work.UnsharpMask(1.0f, 0.5f, 0);
    Print("filter/UnsharpMask", work);
    work.Copy(colour);
    work.Median(3);
    Print("filter/Median3", work);
    work.Copy(grey);
    host.FFT2(&work, nullptr, nullptr, nullptr, 1, true, false);
    Print("filter/FFT2", work);  // the transform replaces its source
    PxImage big;
    big.Create(8192, 4096, 8);
    big.SetGrayPalette();
    for (LONG y = 0; y < kHeight; y++) std::memcpy(big.GetBits(y), grey.GetBits(y), kWidth);
    work.Copy(big);
    PxImage host2;
    host2.FFT2(&work, nullptr, nullptr, nullptr, 1, true, false);
    Print("filter/FFT2Transform", work);
}

void Geometry() {
    constexpr LONG w = kWidth * 3 / 4, h = kHeight * 3 / 4;
    PxImage src, grey, dst;
    NoisyGradient(src, 24, 1, false);
    NoisyGradient(grey, 8, 2, true);
    src.Resample(w, h, 0, &dst);
    Print("geo/Resample_Area", dst);
    src.Resample(w, h, 2, &dst);
    Print("geo/Resample_BSpline", dst);
    src.Resample2(w, h, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &dst, true);
    Print("geo/Resample2_Bilinear", dst);
    src.Resample2(w, h, PxImage::IM_GENERALIZED_CUBIC, PxImage::OM_REPEAT, &dst, true);
    Print("geo/Resample2_Bicubic", dst);
    src.Resample2(w, h, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &dst);
    Print("geo/Resample2_AreaBilinear", dst);
    src.Rotate2(30, &dst);
    Print("geo/Rotate2_Bilinear", dst);
    grey.Resample(8192, 4096, 0, &dst);
    Print("geo/Resample_Gray8", dst);
}

// bench_codecs's photograph-like source.
void Photo(PxImage& img) {
    img.Create(kWidth, kHeight, 24);
    FillPhoto(img);
}

void SaveAndLoad(const std::string& dir, const char* name, PxImage& img, DWORD format, DWORD option) {
    const std::string path = dir + "/" + name;
    img.SetJpegQuality(90);
    img.SetCodecOption(option, format);
    FILE* fp = std::fopen(path.c_str(), "wb");
    const bool ok = fp && img.Encode(fp, format);
    if (fp) std::fclose(fp);
    if (!ok) {
        std::printf("%-28s save failed: %s\n", name, img.GetLastError());
        return;
    }
    std::printf("%-28s file %016" PRIx64 "\n", name, FileSum(path));
    PxImage back;
    if (!back.Load(path.c_str(), format)) {
        std::printf("%-28s load failed: %s\n", name, back.GetLastError());
        return;
    }
    Print(name, back);
}

// Every 8-bit L, a, b once: 4096 x 4096 pixels in strips of 64 rows.
void WriteLab(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return;
    const uint32_t side = 4096;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CIELAB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    std::vector<BYTE> row(side * 3);
    for (uint32_t y = 0; y < side; y++) {
        for (uint32_t x = 0; x < side; x++) {
            const uint32_t i = y * side + x;
            row[3 * x] = static_cast<BYTE>(i >> 16);
            row[3 * x + 1] = static_cast<BYTE>(i >> 8);
            row[3 * x + 2] = static_cast<BYTE>(i);
        }
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
}

void Codecs(const std::string& dir) {
    PxImage photo;
    Photo(photo);
    SaveAndLoad(dir, "png", photo, PXIMAGE_FORMAT_PNG, 0);
    SaveAndLoad(dir, "tif-lzw", photo, PXIMAGE_FORMAT_TIF, COMPRESSION_LZW);
    SaveAndLoad(dir, "tif-none", photo, PXIMAGE_FORMAT_TIF, COMPRESSION_NONE);
    SaveAndLoad(dir, "tif-deflate", photo, PXIMAGE_FORMAT_TIF, COMPRESSION_ADOBE_DEFLATE);
    SaveAndLoad(dir, "tif-packbits", photo, PXIMAGE_FORMAT_TIF, COMPRESSION_PACKBITS);
    SaveAndLoad(dir, "tif-jpeg", photo, PXIMAGE_FORMAT_TIF, COMPRESSION_JPEG);
    SaveAndLoad(dir, "tif-default", photo, PXIMAGE_FORMAT_TIF, 0);
    PxImage grey;
    NoisyGradient(grey, 8, 2, true);
    SaveAndLoad(dir, "tif-grey", grey, PXIMAGE_FORMAT_TIF, 0);
    PxImage pal(1000, 700, 8);
    for (int i = 0; i < 256; i++)
        pal.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3));
    for (LONG y = 0; y < 700; y++)
        for (LONG x = 0; x < 1000; x++) pal.GetBits(y)[x] = static_cast<BYTE>(x * y / 97);
    SaveAndLoad(dir, "tif-palette", pal, PXIMAGE_FORMAT_TIF, 0);
    PxImage bits(1001, 701, 1);
    for (LONG y = 0; y < 701; y++)
        for (LONG x = 0; x < 1001; x++) bits.SetPixelIndex(x, y, ((x ^ y) & 16) != 0);
    SaveAndLoad(dir, "tif-bilevel", bits, PXIMAGE_FORMAT_TIF, 0);
    PxImage rgba(1500, 1100, 24);
    for (LONG y = 0; y < 1100; y++)
        for (LONG x = 0; x < 1500 * 3; x++) rgba.GetBits(y)[x] = static_cast<BYTE>(x + 3 * y);
    rgba.AlphaCreate();
    for (LONG y = 0; y < 1100; y++)
        for (LONG x = 0; x < 1500; x++) rgba.AlphaSet(x, y, static_cast<BYTE>(x ^ y));
    SaveAndLoad(dir, "tif-alpha", rgba, PXIMAGE_FORMAT_TIF, COMPRESSION_LZW);
    SaveAndLoad(dir, "pcx", photo, PXIMAGE_FORMAT_PCX, 0);
    SaveAndLoad(dir, "pcx-palette", pal, PXIMAGE_FORMAT_PCX, 0);
    SaveAndLoad(dir, "pcx-bilevel", bits, PXIMAGE_FORMAT_PCX, 0);
    SaveAndLoad(dir, "pcx-alpha", rgba, PXIMAGE_FORMAT_PCX, 0);
    PxImage odd(1001, 333, 24);  // lines of an odd width end in a pad byte
    for (LONG y = 0; y < 333; y++)
        for (LONG x = 0; x < 1001 * 3; x++) odd.GetBits(y)[x] = static_cast<BYTE>((x / 5) ^ (y / 3));
    SaveAndLoad(dir, "pcx-odd", odd, PXIMAGE_FORMAT_PCX, 0);
    SaveAndLoad(dir, "gif-lzw", pal, PXIMAGE_FORMAT_GIF, 0);
    SaveAndLoad(dir, "gif-none", pal, PXIMAGE_FORMAT_GIF, 1);
    SaveAndLoad(dir, "gif-rle", pal, PXIMAGE_FORMAT_GIF, 2);
    SaveAndLoad(dir, "gif-bilevel", bits, PXIMAGE_FORMAT_GIF, 0);
    // Three pages in one file.
    {
        const std::string path = dir + "/tif-pages";
        PxImage* pages[3] = {&pal, &rgba, &bits};
        PxImage writer(PXIMAGE_FORMAT_TIF);
        FILE* fp = std::fopen(path.c_str(), "wb");
        const bool ok = fp && writer.Encode(fp, pages, 3, PXIMAGE_FORMAT_TIF);
        if (fp) std::fclose(fp);
        std::printf("%-28s file %016" PRIx64 "%s\n", "tif-pages", FileSum(path), ok ? "" : " (failed)");
        for (int p = 0; p < 3; p++) {
            PxImage back;
            back.SetFrame(p);
            const std::string name = "tif-pages/" + std::to_string(p);
            if (back.Load(path.c_str(), PXIMAGE_FORMAT_TIF)) Print(name.c_str(), back);
            else std::printf("%-28s load failed\n", name.c_str());
        }
    }
    const std::string lab = dir + "/lab.tif";
    WriteLab(lab);
    PxImage back;
    if (back.Load(lab.c_str(), PXIMAGE_FORMAT_TIF)) Print("tif-lab", back);
    else std::printf("tif-lab load failed: %s\n", back.GetLastError());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp/quillory-bench-checksums";
    mkdir(dir.c_str(), 0755);
    if (argc > 2 && std::string(argv[2]) == "plain") pxgeo::SetSimdCeiling(pxgeo::Simd::Plain);
    Filters();
    Geometry();
    Codecs(dir);
    return 0;
}
