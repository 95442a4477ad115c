// Snap and video file names from the save settings, with a fixed local time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "capture/capturefilename.h"
#include "platform/clock.h"
#include "tempdir.h"

namespace {

LocalTime FixedTime() {
    LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 5;
    t.hour = 14;
    t.minute = 3;
    t.second = 7;
    return t;
}

class CaptureFileName : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.string() + "/";
        previous_ = SetLocalTimeSource(FixedTime);
        s_.snap.sFilename = "Brellan";
        s_.video.sFilename = "Clip";
    }
    void TearDown() override {
        SetLocalTimeSource(previous_);
    }
    void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    TempDir scratch_;
    const std::filesystem::path& dir_ = scratch_.Path();
    std::string folder_;
    LocalTimeSource previous_ = nullptr;
    CameraSettings s_;
};

}  // namespace

TEST_F(CaptureFileName, TimeStampIgnoresThePrefixAndCountsUpWithinASecond) {
    s_.snap.bTimeStamp = 1;
    s_.snap.uiFiletype = kCaptureJpeg;
    const std::string first = MakeCaptureFileName(s_, 4, false, folder_);
    EXPECT_EQ(first, folder_ + "0305140307.jpg");
    Touch(first);
    const std::string second = MakeCaptureFileName(s_, 4, false, folder_);
    EXPECT_EQ(second, folder_ + "0305140307_1.jpg");
    Touch(second);
    EXPECT_EQ(MakeCaptureFileName(s_, 4, false, folder_), folder_ + "0305140307_2.jpg");
    // Another extension is another name.
    s_.snap.uiFiletype = kCaptureTiff;
    EXPECT_EQ(MakeCaptureFileName(s_, 4, false, folder_), folder_ + "0305140307.tiff");
}

TEST_F(CaptureFileName, SeriesIndexSuffix) {
    EXPECT_EQ(MakeCaptureFileName(s_, 0, false, folder_), folder_ + "Brellan.bmp");
    EXPECT_EQ(MakeCaptureFileName(s_, 1, false, folder_), folder_ + "Brellan-1.bmp");
    EXPECT_EQ(MakeCaptureFileName(s_, 3, false, folder_), folder_ + "Brellan-3.bmp");
    EXPECT_EQ(MakeCaptureFileName(s_, 255, false, folder_), folder_ + "Brellan-255.bmp");
    Touch(folder_ + "Brellan-3.bmp");
    EXPECT_EQ(MakeCaptureFileName(s_, 3, false, folder_), folder_ + "Brellan-3_1.bmp");
    // A folder given without its separator gets one.
    EXPECT_EQ(MakeCaptureFileName(s_, 0, false, dir_.string()), folder_ + "Brellan.bmp");
}

TEST_F(CaptureFileName, ExtensionForEveryFileType) {
    const std::pair<int, const char*> types[] = {
        {kCaptureJpeg, ".jpg"}, {kCaptureBmp, ".bmp"}, {kCaptureRaw, ".bmp"}, {kCaptureTiff, ".tiff"},
        {0, ".bmp"},            {5, ".bmp"},           {-1, ".bmp"},
    };
    for (const auto& [type, ext] : types) {
        SCOPED_TRACE(type);
        s_.snap.uiFiletype = type;
        EXPECT_EQ(MakeCaptureFileName(s_, 0, false, folder_), folder_ + "Brellan" + ext);
        EXPECT_EQ(MakeCaptureFileName(s_, 0, true, folder_), folder_ + "Clip.avi");
    }
}

TEST_F(CaptureFileName, VideoNamesUseTheVideoSettings) {
    s_.snap.bTimeStamp = 1;
    EXPECT_EQ(MakeCaptureFileName(s_, 2, true, folder_), folder_ + "Clip-2.avi");
    s_.snap.bTimeStamp = 0;
    s_.video.bTimeStamp = 1;
    EXPECT_EQ(MakeCaptureFileName(s_, 2, true, folder_), folder_ + "0305140307.avi");
    EXPECT_EQ(MakeCaptureFileName(s_, 2, false, folder_), folder_ + "Brellan-2.bmp");
}

TEST_F(CaptureFileName, DefaultFolderIsTheProgramsSaveFolder) {
    const QString saveFolder = QString::fromStdString(dir_.string());
    EXPECT_EQ(CaptureSaveFolder(saveFolder), folder_);
    EXPECT_EQ(MakeCaptureFileName(s_, 0, false, saveFolder), folder_ + "Brellan.bmp");
}

TEST_F(CaptureFileName, TheChosenFoldersNameSnapsPastAByteAndVideos) {
    s_.snap.sPath = folder_ + "snaps";
    s_.video.sPath = dir_.string();
    EXPECT_EQ(MakeCaptureFileName(s_, 300, false, QString()), folder_ + "snaps/Brellan-300.bmp");
    EXPECT_EQ(MakeCaptureFileName(s_, 0, true, QString()), folder_ + "Clip.avi");
}

TEST(CapturePathExtension, CutsTheLastComponentsExtensionWhateverItsLength) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/data/shot.tiff", "/data/shot", ".tiff"},
        {"/data/shot.jpg", "/data/shot", ".jpg"},
        {"/data/shot.tar.gz", "/data/shot.tar", ".gz"},
        {"/data/shot", "/data/shot", ""},
        {"/data.v2/shot", "/data.v2/shot", ""},
        {"/data/.hidden", "/data/.hidden", ""},
        {"shot.bmp", "shot", ".bmp"},
        {"/data/shot.", "/data/shot", "."},
        {"", "", ""},
    };
    for (const auto& [path, stem, ext] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(PathWithoutExtension(path), stem);
        EXPECT_EQ(PathExtension(path), ext);
        EXPECT_EQ(PathWithoutExtension(path) + PathExtension(path), path);
    }
}

TEST(RecordingCompressor, UnknownValuesRecordUncompressed) {
    auto fcc = [](const char* s) {
        return static_cast<DWORD>(static_cast<BYTE>(s[0])) | (static_cast<DWORD>(static_cast<BYTE>(s[1])) << 8) |
               (static_cast<DWORD>(static_cast<BYTE>(s[2])) << 16) | (static_cast<DWORD>(static_cast<BYTE>(s[3])) << 24);
    };
    for (const char* accepted : {"MP42", "WMV3", "MPG4", "XVID", "HFYU", "ACDV"})
        EXPECT_EQ(RecordingCompressor(static_cast<int>(fcc(accepted))), fcc(accepted)) << accepted;
    for (int other : {0, 1, -1, static_cast<int>(fcc("MJPG")), static_cast<int>(fcc("xvid"))})
        EXPECT_EQ(RecordingCompressor(other), fcc("DIB ")) << other;
}
