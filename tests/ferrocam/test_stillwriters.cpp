#include <gtest/gtest.h>

#include <jpeglib.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/le.h"
#include "stillwriters.h"
#include "filebytes.h"
#include "tempdir.h"

namespace fs = std::filesystem;

namespace {

class StillWriters : public ::testing::Test {
protected:
    void SetUp() override { sink_ = GetStillWriterMessageBox(); }
    // Back to the model driver's own sink, when it is linked in.
    void TearDown() override { SetStillWriterMessageBox(sink_, false); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir_.Path()))
            names.push_back(e.path().filename().string());
        return names;
    }
    TempDir dir_;
    StillWriterMessageBox sink_ = nullptr;
};

std::vector<std::string> g_messages;
void RecordMessage(const char* text) { g_messages.emplace_back(text); }

// A bottom-up BGR image whose bottom rows are red and the rest green.
std::vector<BYTE> RedBottomRow(int width, int height, int redRows = 1) {
    std::vector<BYTE> image(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &image[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = 0;
            p[1] = y < redRows ? 0 : 255;
            p[2] = y < redRows ? 255 : 0;
        }
    return image;
}

}  // namespace

TEST_F(StillWriters, BmpHeaderAndPixelsAreLaidOutAsTheBitmapFormatSays) {
    const BYTE pixels[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(WriteBmpFile(dir_.File("a.bmp").c_str(), pixels, 2, 2), 1);
    auto file = ReadFile(dir_.File("a.bmp"));
    ASSERT_EQ(file.size(), 66u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(le::get32(&file[2]), 66u);
    EXPECT_EQ(le::get32(&file[10]), 54u);
    EXPECT_EQ(le::get32(&file[14]), 40u);
    EXPECT_EQ(le::get32s(&file[18]), 2);
    EXPECT_EQ(le::get32s(&file[22]), 2);
    EXPECT_EQ(le::get16(&file[26]), 1);
    EXPECT_EQ(le::get16(&file[28]), 24);
    for (int i = 30; i < 54; ++i)
        EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(std::vector<BYTE>(file.begin() + 54, file.end()), std::vector<BYTE>(pixels, pixels + 12));
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.bmp"});
}

TEST_F(StillWriters, RawWritesTheBytesUnchanged) {
    const BYTE data[5] = {9, 8, 7, 6, 5};
    ASSERT_EQ(WriteRawFile(dir_.File("r.raw").c_str(), data, 5), 1);
    EXPECT_EQ(ReadFile(dir_.File("r.raw")), std::vector<BYTE>(data, data + 5));
}

TEST_F(StillWriters, FailuresWriteNothingAndKeepTheOldFile) {
    const BYTE pixels[12] = {};
    std::string missing = (dir_.Path() / "no" / "such" / "x.bmp").string();
    EXPECT_EQ(WriteBmpFile(missing.c_str(), pixels, 2, 2), 0);
    EXPECT_EQ(WriteRawFile(missing.c_str(), pixels, 12), 0);
    EXPECT_EQ(SaveJpegFile(missing.c_str(), pixels, 2, 2), 0);
    EXPECT_EQ(SaveTiffFile(missing.c_str(), pixels, 2, 2), 0);
    EXPECT_EQ(WriteBmpFile(dir_.File("z.bmp").c_str(), pixels, 0, 2), 0);
    EXPECT_EQ(WriteBmpFile(dir_.File("z.bmp").c_str(), nullptr, 2, 2), 0);

    // A file that is not a TIFF cannot take another page: the save fails and the file stays.
    std::string text = dir_.File("notes.tif");
    { std::ofstream(text) << "not a tiff"; }
    testing::internal::CaptureStderr();
    EXPECT_EQ(SaveTiffFile(text.c_str(), pixels, 2, 2), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cannot open file for output."), std::string::npos);
    auto kept = ReadFile(text);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "not a tiff");
    EXPECT_EQ(Entries(), std::vector<std::string>{"notes.tif"});
}

TEST_F(StillWriters, AWriteThatFailsHalfWayLeavesNoFile) {
    // A file-size limit makes every writer fail part way through its data.
    std::vector<BYTE> image(200 * 100 * 3);
    uint32_t seed = 3;
    for (auto& b : image) {  // noise: JPEG cannot squeeze it under the limit either
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<BYTE>(seed >> 24);
    }
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    const int bmp = WriteBmpFile(dir_.File("f.bmp").c_str(), image.data(), 200, 100);
    const int raw = WriteRawFile(dir_.File("f.raw").c_str(), image.data(), image.size());
    const int tif = SaveTiffFile(dir_.File("f.tif").c_str(), image.data(), 200, 100);
    const int jpg = SaveJpegFile(dir_.File("f.jpg").c_str(), image.data(), 200, 100);
    testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(bmp, 0);
    EXPECT_EQ(raw, 0);
    EXPECT_EQ(tif, 0);
    EXPECT_EQ(jpg, 0);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(StillWriters, TiffPagesAccumulateWithRgbRowsTopDown) {
    auto image = RedBottomRow(4, 3);
    ASSERT_EQ(SaveTiffFile(dir_.File("s.tif").c_str(), image.data(), 4, 3), 1);
    ASSERT_EQ(SaveTiffFile(dir_.File("s.tif").c_str(), image.data(), 4, 3), 1);
    EXPECT_EQ(Entries(), std::vector<std::string>{"s.tif"});

    TIFF* tif = TIFFOpen(dir_.File("s.tif").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 2);
    uint32_t w = 0, h = 0;
    uint16_t photometric = 0, spp = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 3u);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(spp, 3);
    std::vector<BYTE> row(12);
    ASSERT_EQ(TIFFReadScanline(tif, row.data(), 0, 0), 1);
    EXPECT_EQ(row[0], 0);  // top row green
    EXPECT_EQ(row[1], 255);
    ASSERT_EQ(TIFFReadScanline(tif, row.data(), 2, 0), 1);
    EXPECT_EQ(row[0], 255);  // bottom row red, stored R,G,B
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 0);
    TIFFClose(tif);
    // The caller's buffer is left alone.
    EXPECT_EQ(image, RedBottomRow(4, 3));
}

TEST_F(StillWriters, JpegShowsTheBottomRowAtTheBottom) {
    // A whole block of red rows, so chroma subsampling cannot blur it away.
    auto image = RedBottomRow(16, 32, 16);
    ASSERT_EQ(SaveJpegFile(dir_.File("j.jpg").c_str(), image.data(), 16, 32), 1);
    EXPECT_EQ(image, RedBottomRow(16, 32, 16));

    FILE* f = std::fopen(dir_.File("j.jpg").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(cinfo.num_components, 3);
    jpeg_start_decompress(&cinfo);
    std::vector<BYTE> rows(16 * 32 * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = rows.data() + cinfo.output_scanline * 48;
        jpeg_read_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    const BYTE* bottom = &rows[31 * 48 + 8 * 3];
    const BYTE* top = &rows[0 * 48 + 8 * 3];
    EXPECT_GT(bottom[0], 150);  // red
    EXPECT_LT(bottom[1], 100);
    EXPECT_LT(top[0], 100);  // green
    EXPECT_GT(top[1], 150);
}

TEST_F(StillWriters, MessageBoxesOnlyWhenASinkIsSet) {
    g_messages.clear();
    EXPECT_EQ(SaveJpegFile(dir_.File("n.jpg").c_str(), nullptr, 4, 4), 0);
    EXPECT_TRUE(g_messages.empty());

    SetStillWriterMessageBox(RecordMessage);
    EXPECT_EQ(SaveJpegFile(dir_.File("n.jpg").c_str(), nullptr, 4, 4), 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "No Image!");

    g_messages.clear();
    std::vector<BYTE> image(4 * 4 * 3, 100);
    std::string missing = (dir_.Path() / "gone" / "x.jpg").string();
    EXPECT_EQ(SaveJpegFile(missing.c_str(), image.data(), 4, 4), 0);
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0], "JpegFile :\nCan't open " + missing + "\n");
    EXPECT_EQ(g_messages[1], "Write Error");
}

TEST(StillWriterHelpers, FlipRowsAndSwapRedBlue) {
    BYTE rows[3][2] = {{1, 1}, {2, 2}, {3, 3}};
    FlipRows(&rows[0][0], 2, 3);
    EXPECT_EQ(rows[0][0], 3);
    EXPECT_EQ(rows[1][0], 2);
    EXPECT_EQ(rows[2][0], 1);
    BYTE px[6] = {1, 2, 3, 4, 5, 6};
    SwapRedBlue(px, 2, 1);
    EXPECT_EQ(px[0], 3);
    EXPECT_EQ(px[2], 1);
    EXPECT_EQ(px[3], 6);
    EXPECT_EQ(px[5], 4);
}
