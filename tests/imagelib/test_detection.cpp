// Format detection of a file of unknown type: it finds what trying every decoder in turn found,
// and runs only the decoders the file's first bytes point to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imagelib/codecs/PxJasperCodec.h"
#include "imagelib/codecs/pxcodecs.h"
#include "imagelib/pximage.h"
#include "codectest.h"
#include "filebytes.h"
#include "tempdir.h"

namespace fs = std::filesystem;

namespace {

fs::path CorpusRoot() {
    if (const char* env = std::getenv("QUILLORY_FUZZ_CORPUS"); env && *env) return env;
    return fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "corpus";
}

// The order detection tried the codecs in when it tried them all; 0 stands for the JPEG-2000
// family, which reports the format of the five it found.
constexpr DWORD kTrialOrder[] = {
    PXIMAGE_FORMAT_BMP, PXIMAGE_FORMAT_JPG, PXIMAGE_FORMAT_ICO, PXIMAGE_FORMAT_GIF,
    PXIMAGE_FORMAT_PNG, PXIMAGE_FORMAT_TIF, PXIMAGE_FORMAT_TGA, PXIMAGE_FORMAT_PCX,
    PXIMAGE_FORMAT_WBMP, PXIMAGE_FORMAT_WMF, PXIMAGE_FORMAT_UNKNOWN,
};

// The format the first decoder in the trial order that reads the bytes gives, or UNKNOWN.
DWORD TrialDetect(std::vector<BYTE> bytes) {
    const DWORD size = static_cast<DWORD>(bytes.size());
    bytes.push_back(0);  // a valid buffer even when empty
    for (DWORD id : kTrialOrder) {
        const DWORD asked = id ? id : PXIMAGE_FORMAT_JP2;
        if (!PxImage::IsFormatSupported(asked)) continue;
        PxImage img;
        if (img.Decode(bytes.data(), size, asked)) return id ? id : PxJasperCodec::Detect(bytes.data(), size);
    }
    return PXIMAGE_FORMAT_UNKNOWN;
}

DWORD Detect(std::vector<BYTE> bytes) {
    const DWORD size = static_cast<DWORD>(bytes.size());
    bytes.push_back(0);
    PxImage img;
    return img.Decode(bytes.data(), size, PXIMAGE_FORMAT_UNKNOWN) ? img.GetType() : PXIMAGE_FORMAT_UNKNOWN;
}

PxImage Sample(DWORD bpp) {
    PxImage img(37, 23, 24);
    for (LONG y = 0; y < 23; y++)
        for (LONG x = 0; x < 37; x++) img.SetPixelColor(x, y, RGBQUAD{BYTE(x * 7), BYTE(y * 11), BYTE(x * y), 0});
    if (bpp != 24) img.DecreaseBpp(bpp, false);
    return img;
}

}  // namespace

TEST(Detection, FindsWhatTryingEveryDecoderFound) {
    // A file of every depth each writer takes, so that formats without a corpus are seen too.
    for (DWORD bpp : {1u, 4u, 8u, 24u}) {
        PxImage img = Sample(bpp);
        for (DWORD id = 1; id < PXIMAGE_FORMAT_COUNT; id++) {
            const std::vector<BYTE> bytes = EncodeToBytes(img, id);
            if (bytes.empty()) continue;
            EXPECT_EQ(Detect(bytes), TrialDetect(bytes)) << PxFormatName(id) << " at " << bpp << " bits";
        }
    }
    const fs::path root = CorpusRoot();
    if (!fs::is_directory(root)) GTEST_SKIP() << "no fuzz corpus at " << root;
    int files = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        const std::vector<BYTE> bytes = ReadFile(e.path());
        EXPECT_EQ(Detect(bytes), TrialDetect(bytes)) << e.path();
        ++files;
    }
    EXPECT_GT(files, 0) << "the corpus at " << root << " holds no file";
}

TEST(Detection, RunsOnlyTheDecodersTheFirstBytesPointTo) {
    TempDir dir;
    PxImage img = Sample(24);
    for (DWORD id : {PXIMAGE_FORMAT_PNG, PXIMAGE_FORMAT_BMP, PXIMAGE_FORMAT_JPG, PXIMAGE_FORMAT_GIF, PXIMAGE_FORMAT_TIF,
                     PXIMAGE_FORMAT_PCX, PXIMAGE_FORMAT_RAS, PXIMAGE_FORMAT_WBMP}) {
        if (!PxImage::IsFormatSupported(id)) continue;
        const std::string file = dir.File(std::string("sample.") + PxFormatName(id));
        PxImage source = Sample(id == PXIMAGE_FORMAT_WBMP ? 1 : 24);
        ASSERT_TRUE(source.Save(file.c_str(), id)) << source.GetLastError();
        PxImage loaded;
        ASSERT_TRUE(loaded.Load(file.c_str(), PXIMAGE_FORMAT_UNKNOWN)) << PxFormatName(id) << ": " << loaded.GetLastError();
        EXPECT_EQ(loaded.GetType(), id);
        EXPECT_EQ(PxDetectionDecodersTried(), 1u) << PxFormatName(id);
    }
    // A true-colour TGA begins as a cursor file does (0, 0, 2, 0): the icon reader looks first.
    if (PxImage::IsFormatSupported(PXIMAGE_FORMAT_TGA)) {
        std::vector<BYTE> tga = EncodeToBytes(img, PXIMAGE_FORMAT_TGA);
        PxImage loaded;
        ASSERT_TRUE(loaded.Decode(tga.data(), static_cast<DWORD>(tga.size()), PXIMAGE_FORMAT_UNKNOWN));
        EXPECT_EQ(loaded.GetType(), PXIMAGE_FORMAT_TGA);
        EXPECT_EQ(PxDetectionDecodersTried(), 2u);
    }
    // Bytes no signature or header check accepts run no decoder, and say so as before.
    std::vector<BYTE> garbage(300, 0xFF);
    PxImage out;
    EXPECT_FALSE(out.Decode(garbage.data(), static_cast<DWORD>(garbage.size()), PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_STREQ(out.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(PxDetectionDecodersTried(), 0u);
}

// Of the signature formats only a PCX of version 0 can also pass the TGA header checks (id length
// 10, no colour map, type 1); it is the PCX its signature says, not a TGA of noise.
TEST(Detection, ASignatureOutranksAHeaderThatOnlyLooksRight) {
    if (!PxImage::IsFormatSupported(PXIMAGE_FORMAT_PCX) || !PxImage::IsFormatSupported(PXIMAGE_FORMAT_TGA))
        GTEST_SKIP() << "PCX or TGA codec not built";
    PxImage img = Sample(8);
    std::vector<BYTE> pcx = EncodeToBytes(img, PXIMAGE_FORMAT_PCX);
    ASSERT_GT(pcx.size(), 128u);
    pcx[1] = 0;                  // version 0, which TGA reads as "no colour map"
    pcx[12] = 4, pcx[13] = 0;    // 4 x 4 dots per inch: a 4 x 4 TGA fits in the file
    pcx[14] = 4, pcx[15] = 0;
    pcx[16] = 8;                 // the first palette byte, TGA's depth
    PxImage asTga;
    ASSERT_TRUE(asTga.Decode(pcx.data(), static_cast<DWORD>(pcx.size()), PXIMAGE_FORMAT_TGA));
    PxImage detected;
    ASSERT_TRUE(detected.Decode(pcx.data(), static_cast<DWORD>(pcx.size()), PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(detected.GetType(), PXIMAGE_FORMAT_PCX);
    EXPECT_EQ(detected.GetWidth(), 37u);
}
