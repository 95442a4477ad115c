// The save configuration dialog's rules without widgets: enabling on both pages, the file-type
// mapping, the compressor choice and what Store writes, the snapshot for Cancel, and refused or
// hand-edited numbers.
#include <gtest/gtest.h>

#include "capture/saveconfiglogic.h"

namespace {

std::vector<AviCompressor> TwoCompressors() {
    return {AviCompressor{"mjpeg", "MJPEG (Motion JPEG)", MakeFourCC('M', 'J', 'P', 'G')},
            AviCompressor{"ffv1", "FFmpeg video codec #1", MakeFourCC('F', 'F', 'V', '1')}};
}

CameraSettings Record() {
    CameraSettings s;
    s.snap.bConfig = 1;
    s.snap.sFilename = "plate";
    s.snap.sPath = "/data/shots";
    s.snap.bNum = 1;
    s.snap.bTimeStamp = 0;
    s.snap.uiFiletype = kCaptureTiff;
    s.snap.bLapse = 1;
    s.snap.nSpace = 30;
    s.snap.nCount = 12;
    s.video.bConfig = 1;
    s.video.sFilename = "run";
    s.video.CompressID = 1;
    s.video.Compress = static_cast<int>(MakeFourCC('F', 'F', 'V', '1'));
    s.video.bTimeLimit = 1;
    s.video.TimeLimit = 20;
    s.byPreviewRes = 1;
    s.byCaptureRes = 0;
    return s;
}

}  // namespace

TEST(SaveConfigLogic, SnapPageEnablesNameLapseAndFineModeByTheirSwitches) {
    CameraSettings s = Record();
    CSaveConfigLogic logic(TwoCompressors());
    logic.SetSettings(&s);
    logic.LoadSnap();
    EXPECT_EQ(logic.snap.fileItem, 2);
    EXPECT_EQ(logic.snap.interval, "30");
    EXPECT_EQ(logic.snap.frames, "12");
    EXPECT_TRUE(logic.snap.nameEnabled);
    EXPECT_TRUE(logic.snap.configEnabled);
    EXPECT_TRUE(logic.snap.lapseEnabled);
    EXPECT_FALSE(logic.snap.fineModeEnabled);

    logic.OnSnapTimeStamp(true);
    EXPECT_FALSE(logic.snap.nameEnabled);
    EXPECT_TRUE(logic.snap.configEnabled);
    logic.OnSnapLapse(false);
    EXPECT_FALSE(logic.snap.lapseEnabled);
    logic.OnSnapLapse(true);

    // "Use File Save Dialog" disables all of them and resets the series.
    logic.OnSnapConfig(false);
    EXPECT_FALSE(logic.snap.nameEnabled);
    EXPECT_FALSE(logic.snap.configEnabled);
    EXPECT_FALSE(logic.snap.lapseEnabled);
    EXPECT_EQ(logic.snap.interval, "0");
    EXPECT_EQ(logic.snap.frames, "1");
    logic.OnSnapConfig(true);
    EXPECT_TRUE(logic.snap.lapseEnabled);
    EXPECT_EQ(logic.snap.frames, "1");

    // The fine mode is offered only by a model that has one; a stored fine mode elsewhere is off.
    s.bFineMode = 1;
    logic.LoadSnap();
    EXPECT_EQ(logic.snap.bFineMode, 0);
    EXPECT_FALSE(logic.snap.fineModeEnabled);
    ASSERT_TRUE(logic.Store());
    EXPECT_EQ(s.bFineMode, 0);
    s.bFineModeAvailable = 1;
    s.bFineMode = 1;
    logic.LoadSnap();
    EXPECT_TRUE(logic.snap.fineModeEnabled);
    EXPECT_EQ(logic.snap.bFineMode, 1);
}

TEST(SaveConfigLogic, VideoPageEnablesByConfigTimeStampAndTimeLimit) {
    CameraSettings s = Record();
    CSaveConfigLogic logic(TwoCompressors(), [](const AviCompressor& c) { return c.name == "ffv1"; });
    logic.SetSettings(&s);
    logic.LoadVideo();
    EXPECT_TRUE(logic.video.nameEnabled);
    EXPECT_TRUE(logic.video.configEnabled);
    EXPECT_TRUE(logic.video.timeLimitEnabled);
    EXPECT_EQ(logic.video.compressor, 1);
    EXPECT_TRUE(logic.video.configButtonEnabled);

    logic.OnVideoTimeStamp(true);
    EXPECT_FALSE(logic.video.nameEnabled);
    EXPECT_TRUE(logic.video.configEnabled);
    logic.OnVideoTimeLimit(false);
    EXPECT_FALSE(logic.video.timeLimitEnabled);
    // The time limit does not hang on the naming: it stays with its own check.
    logic.OnVideoConfig(false);
    EXPECT_FALSE(logic.video.configEnabled);
    EXPECT_FALSE(logic.video.nameEnabled);
    logic.OnVideoTimeLimit(true);
    EXPECT_TRUE(logic.video.timeLimitEnabled);

    // "Config" only for an encoder with settings of its own, never for "No Compressor".
    logic.OnCompressor(0);
    EXPECT_FALSE(logic.video.configButtonEnabled);
    logic.OnCompressor(logic.NoCompressorItem());
    EXPECT_FALSE(logic.video.configButtonEnabled);
    EXPECT_EQ(logic.CompressorOfItem(logic.NoCompressorItem()), nullptr);
}

TEST(SaveConfigLogic, FileTypesMapAsymmetricallyAndStoreWritesTheCompressorsFourCC) {
    EXPECT_EQ(CSaveConfigLogic::FileItemOfType(kCaptureJpeg), 0);
    EXPECT_EQ(CSaveConfigLogic::FileItemOfType(kCaptureBmp), 1);
    EXPECT_EQ(CSaveConfigLogic::FileItemOfType(kCaptureTiff), 2);
    EXPECT_EQ(CSaveConfigLogic::FileItemOfType(kCaptureRaw), 3);
    for (int odd : {0, 3, 5, 16, -1}) EXPECT_EQ(CSaveConfigLogic::FileItemOfType(odd), 1) << odd;
    const int types[] = {kCaptureJpeg, kCaptureBmp, kCaptureTiff, kCaptureRaw};
    for (int item = 0; item < 4; ++item) EXPECT_EQ(CSaveConfigLogic::FileTypeOfItem(item), types[item]);

    CameraSettings s = Record();
    CSaveConfigLogic logic(TwoCompressors());
    logic.SetSettings(&s);
    logic.LoadSnap();
    logic.LoadVideo();
    logic.snap.fileItem = 0;
    logic.OnCompressor(0);
    ASSERT_TRUE(logic.Store());
    EXPECT_EQ(s.snap.uiFiletype, kCaptureJpeg);
    EXPECT_EQ(s.video.CompressID, 0);
    EXPECT_EQ(static_cast<FOURCC>(s.video.Compress), MakeFourCC('M', 'J', 'P', 'G'));
    logic.OnCompressor(logic.NoCompressorItem());
    ASSERT_TRUE(logic.Store());
    EXPECT_EQ(s.video.CompressID, 2);
    EXPECT_EQ(static_cast<FOURCC>(s.video.Compress), FOURCC_DIB);
}

TEST(SaveConfigLogic, HandEditedProfileValuesLoadAsValidChoices) {
    CameraSettings s = Record();
    CSaveConfigLogic logic(TwoCompressors());
    logic.SetSettings(&s);
    for (int id : {-1, -1000, 2, 3, 1 << 30}) {
        s.video.CompressID = id;
        logic.LoadVideo();
        EXPECT_EQ(logic.video.compressor, logic.NoCompressorItem()) << id;
    }
    s.snap.nSpace = -5;
    s.snap.nCount = 0;
    s.video.TimeLimit = 999;
    logic.LoadSnap();
    logic.LoadVideo();
    EXPECT_EQ(logic.snap.interval, "0");
    EXPECT_EQ(logic.snap.frames, "1");
    EXPECT_EQ(logic.video.timeLimit, "60");
    s.snap.nSpace = 99999;
    s.snap.nCount = 5000;
    s.video.TimeLimit = -3;
    logic.LoadSnap();
    logic.LoadVideo();
    EXPECT_EQ(logic.snap.interval, "7200");
    EXPECT_EQ(logic.snap.frames, "1000");
    EXPECT_EQ(logic.video.timeLimit, "1");
    // What was loaded stores as it stands.
    ASSERT_TRUE(logic.Store());
    EXPECT_EQ(s.snap.nSpace, 7200);
    EXPECT_EQ(s.video.CompressID, logic.NoCompressorItem());

    // A fresh profile (index 0, no FOURCC) records uncompressed, and the page says so; an index
    // whose entry moved is found by its FOURCC.
    s.video.CompressID = 0;
    s.video.Compress = 0;
    logic.LoadVideo();
    EXPECT_EQ(logic.video.compressor, logic.NoCompressorItem());
    s.video.Compress = static_cast<int>(FOURCC_DIB);
    logic.LoadVideo();
    EXPECT_EQ(logic.video.compressor, logic.NoCompressorItem());
    s.video.Compress = static_cast<int>(MakeFourCC('F', 'F', 'V', '1'));
    logic.LoadVideo();
    EXPECT_EQ(logic.video.compressor, 1);
}

TEST(SaveConfigLogic, StoreRefusesANumberOutsideItsFieldAndStoresNothing) {
    CameraSettings s = Record();
    CSaveConfigLogic logic(TwoCompressors());
    logic.SetSettings(&s);
    logic.LoadSnap();
    logic.LoadVideo();
    logic.snap.sFilename = "changed";
    struct Case {
        std::string interval, frames, limit;
        int refusedId;
    };
    const Case cases[] = {
        {"7201", "5", "5", 1010},  {"-1", "5", "5", 1010},   {"", "5", "5", 1010},
        {"12x", "5", "5", 1010},   {"0", "0", "5", 1011},    {"0", "1001", "5", 1011},
        {"0", "5", "0", 1133},     {"0", "5", "61", 1133},   {"0", "5", "99999999999999999999", 1133},
    };
    for (const Case& c : cases) {
        logic.snap.interval = c.interval;
        logic.snap.frames = c.frames;
        logic.video.timeLimit = c.limit;
        const CSaveConfigLogic::NumberField* refused = nullptr;
        EXPECT_FALSE(logic.Store(&refused)) << c.interval << " " << c.frames << " " << c.limit;
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->id, c.refusedId);
        EXPECT_EQ(s.snap.sFilename, "plate");
        EXPECT_EQ(s.snap.nSpace, 30);
        EXPECT_EQ(s.snap.nCount, 12);
        EXPECT_EQ(s.video.TimeLimit, 20);
    }
    // The bounds themselves are taken, blanks around them too.
    logic.snap.interval = " 7200 ";
    logic.snap.frames = "1000";
    logic.video.timeLimit = "60";
    ASSERT_TRUE(logic.Store());
    EXPECT_EQ(s.snap.nSpace, 7200);
    EXPECT_EQ(s.snap.nCount, 1000);
    EXPECT_EQ(s.video.TimeLimit, 60);
    EXPECT_EQ(s.snap.sFilename, "changed");
}

TEST(SaveConfigLogic, TheSnapshotPutsBackEveryEditedFieldAndNoticesANewPreviewResolution) {
    CameraSettings s = Record();
    s.bResLock = 1;
    s.bFineModeAvailable = 1;
    s.bFineMode = 1;
    CSaveConfigLogic logic(TwoCompressors());
    logic.SetSettings(&s);
    logic.CopySnapshot(true);
    EXPECT_FALSE(logic.PreviewChanged());
    const CameraSettings before = s;

    s.snap.bConfig = 0;
    s.snap.sFilename = "x";
    s.snap.bNum = 0;
    s.snap.bTimeStamp = 1;
    s.snap.bLapse = 0;
    s.snap.nSpace = 1;
    s.snap.nCount = 2;
    s.snap.uiFiletype = kCaptureRaw;
    s.snap.sPath = "/tmp";
    s.bFineMode = 0;
    s.video.bConfig = 0;
    s.video.sFilename = "y";
    s.video.bNum = 1;
    s.video.bTimeStamp = 1;
    s.video.CompressID = 0;
    s.video.Compress = 0;
    s.video.bTimeLimit = 0;
    s.video.TimeLimit = 3;
    s.bResLock = 0;
    s.byPreviewRes = 2;
    s.byCaptureRes = 2;
    EXPECT_TRUE(logic.PreviewChanged());
    logic.CopySnapshot(false);
    EXPECT_EQ(s.snap.bConfig, before.snap.bConfig);
    EXPECT_EQ(s.snap.sFilename, before.snap.sFilename);
    EXPECT_EQ(s.snap.bNum, before.snap.bNum);
    EXPECT_EQ(s.snap.bTimeStamp, before.snap.bTimeStamp);
    EXPECT_EQ(s.snap.bLapse, before.snap.bLapse);
    EXPECT_EQ(s.snap.nSpace, before.snap.nSpace);
    EXPECT_EQ(s.snap.nCount, before.snap.nCount);
    EXPECT_EQ(s.snap.uiFiletype, before.snap.uiFiletype);
    EXPECT_EQ(s.snap.sPath, before.snap.sPath);
    EXPECT_EQ(s.bFineMode, before.bFineMode);
    EXPECT_EQ(s.video.bConfig, before.video.bConfig);
    EXPECT_EQ(s.video.sFilename, before.video.sFilename);
    EXPECT_EQ(s.video.bNum, before.video.bNum);
    EXPECT_EQ(s.video.bTimeStamp, before.video.bTimeStamp);
    EXPECT_EQ(s.video.CompressID, before.video.CompressID);
    EXPECT_EQ(s.video.Compress, before.video.Compress);
    EXPECT_EQ(s.video.bTimeLimit, before.video.bTimeLimit);
    EXPECT_EQ(s.video.TimeLimit, before.video.TimeLimit);
    EXPECT_EQ(s.bResLock, before.bResLock);
    EXPECT_EQ(s.byPreviewRes, before.byPreviewRes);
    EXPECT_EQ(s.byCaptureRes, before.byCaptureRes);
    EXPECT_FALSE(logic.PreviewChanged());
}
