// Replays every committed fuzz seed through the decoder of its format under the sanitizers, so
// that a fixed crash stays fixed. The corpus is QUILLORY_FUZZ_CORPUS, else the source tree's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "imagelib/pximage.h"
#include "filebytes.h"

namespace fs = std::filesystem;

namespace {

const std::map<std::string, DWORD> kCorpusFormats = {
    {"bmp", PXIMAGE_FORMAT_BMP}, {"gif", PXIMAGE_FORMAT_GIF}, {"jpg", PXIMAGE_FORMAT_JPG},
    {"png", PXIMAGE_FORMAT_PNG}, {"ico", PXIMAGE_FORMAT_ICO}, {"tif", PXIMAGE_FORMAT_TIF},
    {"tga", PXIMAGE_FORMAT_TGA}, {"pcx", PXIMAGE_FORMAT_PCX}, {"wbmp", PXIMAGE_FORMAT_WBMP},
    {"wmf", PXIMAGE_FORMAT_WMF}, {"jp2", PXIMAGE_FORMAT_JP2}, {"jpc", PXIMAGE_FORMAT_JPC},
    {"pgx", PXIMAGE_FORMAT_PGX}, {"pnm", PXIMAGE_FORMAT_PNM}, {"ras", PXIMAGE_FORMAT_RAS},
};

fs::path CorpusRoot() {
    if (const char* env = std::getenv("QUILLORY_FUZZ_CORPUS"); env && *env) return env;
    return fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "corpus";
}

}  // namespace

TEST(FuzzReplay, EverySeedDecodesOrFailsWithAReason) {
    const fs::path root = CorpusRoot();
    if (!fs::is_directory(root)) GTEST_SKIP() << "no fuzz corpus at " << root;
    int replayed = 0;
    for (const fs::directory_entry& folder : fs::directory_iterator(root)) {
        if (!folder.is_directory()) continue;
        // The AVI seeds belong to the capture library's reader; its tests replay them.
        if (folder.path().filename() == "avi") continue;
        const auto format = kCorpusFormats.find(folder.path().filename().string());
        ASSERT_NE(format, kCorpusFormats.end()) << "corpus folder of no known format: " << folder.path();
        if (!PxImage::IsFormatSupported(format->second)) continue;
        for (const fs::directory_entry& seed : fs::directory_iterator(folder.path())) {
            if (!seed.is_regular_file()) continue;
            SCOPED_TRACE(seed.path().string());
            std::vector<BYTE> bytes = ReadFile(seed.path());
            bytes.push_back(0);  // a valid buffer even for an empty seed
            PxImage img;
            if (img.Decode(bytes.data(), static_cast<DWORD>(bytes.size() - 1), format->second)) {
                EXPECT_TRUE(img.IsValid());
                EXPECT_GT(img.GetWidth(), 0u);
                EXPECT_GT(img.GetHeight(), 0u);
            } else if (format->second != PXIMAGE_FORMAT_ICO) {
                // The icon reader alone refuses a bad header or a missing frame without a text.
                EXPECT_STRNE(img.GetLastError(), "");
            }
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "the corpus at " << root << " holds no seed of a built-in format";
}
