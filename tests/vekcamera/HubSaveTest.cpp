// VekCameraSave: every still type ends up as a file an image tool reads back with the frame's
// pixels, the raw type holds the whole frame, and failures are reported as failures.
#include <cstdlib>
#include <fstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "HubTestSupport.h"
#include "platform/le.h"

namespace {

// A bottom-up BGR frame: the bottom quarter red, the top quarter blue, the rest a ramp.
std::vector<BYTE> TestFrame(int width, int height) {
    std::vector<BYTE> frame(static_cast<size_t>(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            BYTE* p = &frame[(static_cast<size_t>(row) * width + x) * 3];
            if (row < (height + 3) / 4) {
                p[0] = 0, p[1] = 0, p[2] = 255;
            } else if (row >= height - (height + 3) / 4) {
                p[0] = 255, p[1] = 0, p[2] = 0;
            } else {
                p[0] = static_cast<BYTE>(x * 7), p[1] = static_cast<BYTE>(row * 5), p[2] = static_cast<BYTE>(x + row);
            }
        }
    }
    return frame;
}

// RGB bytes, rows top-down, as ImageMagick reads the file; empty when it cannot.
std::vector<uint8_t> MagickRgb(const std::string& file, const std::string& out, const std::string& before = "",
                               const std::string& after = "") {
    const std::string cmd =
        "convert " + before + " '" + file + "' " + after + " -depth 8 'rgb:" + out + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0)
        return {};
    return ReadFile(out);
}

bool HaveImageMagick() { return std::system("convert -version >/dev/null 2>&1") == 0; }

class HubSave : public HubTest {};

TEST_F(HubSave, BmpIsHeadersAndTheFrameUnchanged) {
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(2, 2);
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_BMP, dir.File("a.bmp").c_str(), frame.data(), 2, 2), 1);
    const std::vector<uint8_t> bytes = ReadFile(dir.File("a.bmp"));
    ASSERT_EQ(bytes.size(), 66u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(le::get32(&bytes[2]), 66u);
    EXPECT_EQ(le::get32(&bytes[10]), 54u);
    EXPECT_EQ(le::get32s(&bytes[22]), 2);  // positive height: bottom-up
    EXPECT_EQ(le::get16(&bytes[28]), 24);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.end()), frame);
}

TEST_F(HubSave, RawHoldsTheWholeFrame) {
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(8, 4);
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_RAW, dir.File("a.raw").c_str(), frame.data(), 8, 4), 1);
    EXPECT_EQ(ReadFile(dir.File("a.raw")), frame);
}

TEST_F(HubSave, OtherTypesWriteNothing) {
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(4, 4);
    for (unsigned type : {0u, 3u, 5u, 16u, 0xFFFFFFFFu}) {
        EXPECT_EQ(VekCameraSave(type, dir.File("x").c_str(), frame.data(), 4, 4), 1);
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << type;
    }
}

TEST_F(HubSave, FailuresAreReportedAndLeaveNoFile) {
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(4, 4);
    const std::string missing = dir.File("no/such/folder/a");
    for (unsigned type : {CAPTURE_FILE_JPEG, CAPTURE_FILE_BMP, CAPTURE_FILE_RAW, CAPTURE_FILE_TIFF}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(VekCameraSave(type, missing.c_str(), frame.data(), 4, 4), 0);
        EXPECT_EQ(VekCameraSave(type, dir.File("none").c_str(), nullptr, 4, 4), 0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    // The JPEG entry tells the user through the host's message box.
    const std::vector<std::string> messages = HostMessages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "No Image!"), messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Write Error"), messages.end());
}

TEST_F(HubSave, EveryTypeOpensInAnImageToolWithTheFramesPixels) {
    if (!HaveImageMagick())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    const int w = 32;
    const int h = 32;
    const std::vector<BYTE> frame = TestFrame(w, h);
    // The same pixels, top-down RGB, as a reader sees them.
    std::vector<uint8_t> expected;
    for (int row = h - 1; row >= 0; --row) {
        for (int x = 0; x < w; ++x) {
            const BYTE* p = &frame[(static_cast<size_t>(row) * w + x) * 3];
            expected.insert(expected.end(), {p[2], p[1], p[0]});
        }
    }

    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_TIFF, dir.File("a.tif").c_str(), frame.data(), w, h), 1);
    EXPECT_EQ(MagickRgb(dir.File("a.tif"), dir.File("tif.rgb")), expected);
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_BMP, dir.File("a.bmp").c_str(), frame.data(), w, h), 1);
    EXPECT_EQ(MagickRgb(dir.File("a.bmp"), dir.File("bmp.rgb")), expected);
    // Raw bytes are the frame itself: bottom-up blue-green-red.
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_RAW, dir.File("a.raw").c_str(), frame.data(), w, h), 1);
    const std::string rawOptions = "-size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8";
    EXPECT_EQ(MagickRgb("bgr:" + dir.File("a.raw"), dir.File("raw.rgb"), rawOptions, "-flip"), expected);

    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_JPEG, dir.File("a.jpg").c_str(), frame.data(), w, h), 1);
    const std::vector<uint8_t> jpeg = MagickRgb(dir.File("a.jpg"), dir.File("jpg.rgb"));
    ASSERT_EQ(jpeg.size(), expected.size());
    // Lossy, but the picture is the right way up: red at the bottom, blue at the top.
    const size_t bottom = static_cast<size_t>(h - 3) * w * 3 + (w / 2) * 3;
    const size_t top = static_cast<size_t>(2) * w * 3 + (w / 2) * 3;
    EXPECT_GT(jpeg[bottom], 200);
    EXPECT_LT(jpeg[bottom + 2], 60);
    EXPECT_GT(jpeg[top + 2], 200);
    EXPECT_LT(jpeg[top], 60);
}

TEST_F(HubSave, TiffSavedTwiceHoldsTwoPages) {
    if (!HaveImageMagick())
        GTEST_SKIP() << "ImageMagick's identify is not installed";
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(8, 4);
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_TIFF, dir.File("p.tif").c_str(), frame.data(), 8, 4), 1);
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_TIFF, dir.File("p.tif").c_str(), frame.data(), 8, 4), 1);
    const std::string cmd = "identify '" + dir.File("p.tif") + "' 2>/dev/null | wc -l > '" + dir.File("n") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(dir.File("n"));
    int pages = 0;
    in >> pages;
    EXPECT_EQ(pages, 2);
}

TEST_F(HubSave, ATiffThatCannotBeReadIsNotReplacedByTheNewPage) {
    TempDir dir;
    const std::string path = dir.File("series.tif");
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_TIFF, path.c_str(), TestFrame(8, 4).data(), 8, 4), 1);
    const std::vector<uint8_t> before = ReadFile(path);
    const std::vector<BYTE> next = TestFrame(16, 4);
    // One descriptor left: the new file gets it, and reading the existing pages fails.
    const int lowestFree = open("/dev/null", O_RDONLY);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int result = VekCameraSave(CAPTURE_FILE_TIFF, path.c_str(), next.data(), 16, 4);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(path), before) << "the pages already saved are kept";
}

TEST_F(HubSave, AFileNameAtTheSystemsLengthLimitIsWritten) {
    TempDir dir;
    const std::vector<BYTE> frame = TestFrame(4, 4);
    const std::string name = std::string(251, 'n') + ".bmp";  // 255 bytes, the longest name allowed
    ASSERT_EQ(VekCameraSave(CAPTURE_FILE_BMP, dir.File(name).c_str(), frame.data(), 4, 4), 1);
    EXPECT_EQ(ReadFile(dir.File(name)).size(), 54u + frame.size());
    EXPECT_EQ(dir.Count(), 1u) << "no temporary file left";
}

}  // namespace
