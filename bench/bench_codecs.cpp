// Load and save throughput of a 20-megapixel picture in JPEG, PNG, TIFF, GIF, JPEG-2000 (JP2
// and code stream), PPM, Sun raster, TGA and PCX, and of a 255 x 255 icon and wireless bitmap
// (the largest those formats save), through files as the program uses them. The files stay in
// QUILLORY_BENCH_WORK (default
// /tmp/quillory-bench-codecs) with a P6 copy of the source, so that bench/peers/codecs.py times
// other programs on exactly the same pixels.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "benchphoto.h"
#include "imagelib/pximage.h"

namespace {

constexpr DWORD kWidth = 5472, kHeight = 3648;  // 19.96 megapixels, a 20 MP sensor

std::string WorkDir() {
    const char* env = std::getenv("QUILLORY_BENCH_WORK");
    std::string dir = (env && *env) ? env : "/tmp/quillory-bench-codecs";
    mkdir(dir.c_str(), 0755);
    return dir;
}

// A photograph-like picture: smooth gradients, a few edges and some sensor noise, so that
// neither the compressors nor the predictors have it too easy.
PxImage& Source() {
    static std::unique_ptr<PxImage> img;
    if (!img) {
        img = std::make_unique<PxImage>(kWidth, kHeight, 24);
        FillPhoto(*img);
        // The P6 copy for the other programs, top row first, red first.
        const std::string ppm = WorkDir() + "/source.ppm";
        if (FILE* f = std::fopen(ppm.c_str(), "wb")) {
            std::fprintf(f, "P6\n%u %u\n255\n", kWidth, kHeight);
            std::unique_ptr<BYTE[]> line(new BYTE[kWidth * 3]);
            for (DWORD y = kHeight; y-- > 0;) {
                const BYTE* row = img->GetBits(y);
                for (DWORD x = 0; x < kWidth; x++) {
                    line[3 * x] = row[3 * x + 2];
                    line[3 * x + 1] = row[3 * x + 1];
                    line[3 * x + 2] = row[3 * x];
                }
                std::fwrite(line.get(), 1, kWidth * 3, f);
            }
            std::fclose(f);
        }
    }
    return *img;
}

// GIF holds palette pictures: the same picture reduced to a 6x7x6 colour cube.
PxImage& PaletteSource() {
    static std::unique_ptr<PxImage> img;
    if (!img) {
        PxImage& src = Source();
        img = std::make_unique<PxImage>(kWidth, kHeight, 8);
        for (int i = 0; i < 252; i++)
            img->SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>((i / 42) * 51), static_cast<BYTE>(((i / 6) % 7) * 42),
                                 static_cast<BYTE>((i % 6) * 51));
        for (DWORD y = 0; y < kHeight; y++) {
            const BYTE* s = src.GetBits(y);
            BYTE* d = img->GetBits(y);
            for (DWORD x = 0; x < kWidth; x++)
                d[x] = static_cast<BYTE>((s[3 * x + 2] * 6 / 256) * 42 + (s[3 * x + 1] * 7 / 256) * 6 + s[3 * x] * 6 / 256);
        }
    }
    return *img;
}

// Icons and wireless bitmaps hold at most 255 x 255: the top-left corner of the picture, as
// 24 bits with an alpha ramp for icons and as a 1-bit threshold for WBMP.
PxImage& SmallSource(bool bilevel) {
    static std::unique_ptr<PxImage> icon, wbmp;
    std::unique_ptr<PxImage>& img = bilevel ? wbmp : icon;
    if (!img) {
        constexpr DWORD side = 255;
        PxImage& src = Source();
        img = std::make_unique<PxImage>(side, side, bilevel ? 1 : 24);
        if (!bilevel) img->AlphaCreate();
        for (DWORD y = 0; y < side; y++)
            for (DWORD x = 0; x < side; x++) {
                const RGBQUAD c = src.GetPixelColor(static_cast<LONG>(x), static_cast<LONG>(kHeight - side + y), false);
                if (bilevel) {
                    img->SetPixelIndex(static_cast<LONG>(x), static_cast<LONG>(y), ((x ^ y) & 8) || c.rgbGreen > 180);
                } else {
                    img->SetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y), c);
                    img->AlphaSet(static_cast<LONG>(x), static_cast<LONG>(y), static_cast<BYTE>(x));
                }
            }
    }
    return *img;
}

struct Format {
    const char* name;
    DWORD id;
    bool palette;
    DWORD option;
    int small = 0;  // 1: the 255 x 255 icon picture, 2: its 1-bit twin
    int quality = 90;
};

const Format kFormats[] = {
    {"jpg", PXIMAGE_FORMAT_JPG, false, 0},
    {"png", PXIMAGE_FORMAT_PNG, false, 0},
    {"tif", PXIMAGE_FORMAT_TIF, false, 5},  // LZW with the horizontal predictor
    {"gif", PXIMAGE_FORMAT_GIF, true, 0},
    // Quality 90: a ratio of 1.11, reversible wavelet. Lossless coding already beats that ratio
    // here, so the codec keeps the lossless stream and OpenJPEG's rate search does not run.
    {"jp2", PXIMAGE_FORMAT_JP2, false, 0},
    {"j2k", PXIMAGE_FORMAT_JPC, false, 0},
    // Quality 100, lossless: no rate to search for. libvips writes the same bytes with
    // jp2ksave [lossless,tile-width=5472,tile-height=3648]; its default is lossy, in 512 x 512 tiles.
    // (So do we at quality 90 when the lossless stream fits the ratio, as it does here.)
    {"jp2-lossless", PXIMAGE_FORMAT_JP2, false, 0, 0, 100},
    {"ppm", PXIMAGE_FORMAT_PNM, false, 0},
    {"ras", PXIMAGE_FORMAT_RAS, false, 0},
    {"tga", PXIMAGE_FORMAT_TGA, false, 0},
    {"pcx", PXIMAGE_FORMAT_PCX, false, 0},
    {"ico", PXIMAGE_FORMAT_ICO, false, 0, 1},
    {"wbmp", PXIMAGE_FORMAT_WBMP, false, 0, 2},
};

PxImage& SourceOf(const Format& f) {
    if (f.small) return SmallSource(f.small == 2);
    return f.palette ? PaletteSource() : Source();
}

int64_t PixelsOf(const Format& f) { return f.small ? 255 * 255 : int64_t{kWidth} * kHeight; }

std::string FileOf(const Format& f) { return WorkDir() + "/ours." + f.name; }

void BM_Save(benchmark::State& state, const Format& f) {
    PxImage& img = SourceOf(f);
    img.SetJpegQuality(f.quality);
    img.SetCodecOption(f.option, f.id);
    const std::string path = FileOf(f);
    // Encoded straight into the file: the safe save's fsync and rename would time the disk.
    for (auto _ : state) {
        FILE* fp = std::fopen(path.c_str(), "wb");
        const bool ok = fp && img.Encode(fp, f.id);
        if (fp) std::fclose(fp);
        if (!ok) state.SkipWithError(img.GetLastError());
    }
    state.SetItemsProcessed(state.iterations() * PixelsOf(f));
    // The written size, so that the peer table can set it beside the other programs' files.
    struct stat st;
    if (stat(path.c_str(), &st) == 0) state.counters["bytes"] = static_cast<double>(st.st_size);
}

void BM_Load(benchmark::State& state, const Format& f) {
    const std::string path = FileOf(f);
    {
        PxImage& img = SourceOf(f);
        img.SetJpegQuality(f.quality);
        img.SetCodecOption(f.option, f.id);
        if (!img.Save(path.c_str(), f.id)) {
            state.SkipWithError(img.GetLastError());
            return;
        }
    }
    for (auto _ : state) {
        PxImage img;
        if (!img.Load(path.c_str(), f.id)) state.SkipWithError(img.GetLastError());
        benchmark::DoNotOptimize(img.GetBits());
    }
    state.SetItemsProcessed(state.iterations() * PixelsOf(f));
    if (f.id == PXIMAGE_FORMAT_TIF) {
        // A 32-bit FNV-1a of the decoded rows, padding included: a faster reader must not change it.
        PxImage img;
        if (!img.Load(path.c_str(), f.id)) return;
        uint32_t h = 2166136261u;
        for (DWORD y = 0; y < img.GetHeight(); y++) {
            const BYTE* row = img.GetBits(y);
            for (DWORD i = 0; i < img.GetEffWidth(); i++) h = (h ^ row[i]) * 16777619u;
        }
        state.counters["fnv1a"] = benchmark::Counter(static_cast<double>(h));
    }
}

// The same load and save with nothing else in the process, for bench/peers/codecs.py's peak
// memory: Load also holds the source picture, and Save of GIF, icons and wireless bitmaps the
// 20-megapixel picture theirs is made from, which a program that only loads or only saves a file
// does not. SaveFile saves the 24-bit source as Save does, and the palette, icon and bilevel
// pictures read back untimed from the format's own file (written by Save); it writes the same
// file as Save. LoadFile reads the file Save or SaveFile wrote.
void BM_SaveFile(benchmark::State& state, const Format& f) {
    PxImage read;
    if (f.small || f.palette) {
        if (!read.Load(FileOf(f).c_str(), f.id)) {
            state.SkipWithError(("cannot read " + FileOf(f) + ": run Save/" + f.name + " first").c_str());
            return;
        }
    }
    PxImage& img = f.small || f.palette ? read : Source();
    img.SetJpegQuality(f.quality);
    img.SetCodecOption(f.option, f.id);
    const std::string path = FileOf(f);
    for (auto _ : state) {
        FILE* fp = std::fopen(path.c_str(), "wb");
        const bool ok = fp && img.Encode(fp, f.id);
        if (fp) std::fclose(fp);
        if (!ok) state.SkipWithError(img.GetLastError());
    }
    state.SetItemsProcessed(state.iterations() * PixelsOf(f));
    struct stat st;
    if (stat(path.c_str(), &st) == 0) state.counters["bytes"] = static_cast<double>(st.st_size);
}

void BM_LoadFile(benchmark::State& state, const Format& f) {
    const std::string path = FileOf(f);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        state.SkipWithError(("no " + path + ": run Save/" + f.name + " first").c_str());
        return;
    }
    for (auto _ : state) {
        PxImage img;
        if (!img.Load(path.c_str(), f.id)) state.SkipWithError(img.GetLastError());
        benchmark::DoNotOptimize(img.GetBits());
    }
    state.SetItemsProcessed(state.iterations() * PixelsOf(f));
}

const bool kRegistered = [] {
    for (const Format& f : kFormats) {
        benchmark::RegisterBenchmark((std::string("Save/") + f.name).c_str(), BM_Save, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(f.small ? 100 : 3);
        benchmark::RegisterBenchmark((std::string("Load/") + f.name).c_str(), BM_Load, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(f.small ? 100 : 3);
    }
    for (const Format& f : kFormats) {
        benchmark::RegisterBenchmark((std::string("SaveFile/") + f.name).c_str(), BM_SaveFile, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(f.small ? 100 : 3);
        benchmark::RegisterBenchmark((std::string("LoadFile/") + f.name).c_str(), BM_LoadFile, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(f.small ? 100 : 3);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
