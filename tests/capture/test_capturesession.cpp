// The capture session both camera windows share: which save keys each kind keeps, the snap
// dialog each offers, and the Record command's sequence.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "capture/capturesession.h"
#include "ui/profile.h"

namespace {

class CaptureSessionTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    CProfile profile{dir.filePath("Quillory.ini")};
    QString saveFolder = "/data/snaps";
    CameraSettings s{};
};

TEST_F(CaptureSessionTest, TheWebcamKindKeepsItsRowsOfTheOneKeyTable) {
    profile.WriteProfileInt("VideoSave", "bTimeLimit", 1);
    profile.WriteProfileInt("VideoSave", "TimeLimit", 30);
    profile.WriteProfileInt("VideoSave", "CompressID", 1001);
    CCaptureSession webcam(s, {true, "Pelidor"}, &saveFolder);
    webcam.Load(profile);
    EXPECT_EQ(s.video.bTimeLimit, 0) << "not a key of the webcam window";
    EXPECT_EQ(s.video.TimeLimit, 30);
    EXPECT_EQ(s.video.CompressID, 0) << "out of range reads as the default";
    EXPECT_EQ(s.snap.sPath, "/data/snaps");

    s.video.TimeLimit = 7;
    webcam.Save(profile);
    EXPECT_EQ(profile.GetProfileInt("VideoSave", "bTimeLimit", -1), 1) << "left as the hub window wrote it";
    EXPECT_EQ(profile.GetProfileInt("VideoSave", "TimeLimit", -1), 7);

    CameraSettings hubSettings{};
    CCaptureSession hub(hubSettings, {false, "Quillory"}, &saveFolder);
    hub.Load(profile);
    EXPECT_EQ(hubSettings.video.bTimeLimit, 1);
    hubSettings.video.bTimeLimit = 0;
    hub.Save(profile);
    EXPECT_EQ(profile.GetProfileInt("VideoSave", "bTimeLimit", -1), 0);
}

TEST_F(CaptureSessionTest, TheSnapDialogOffersEachKindsTypesAndTheChoiceSetsTheType) {
    s.snap.uiFiletype = kCaptureRaw;
    CCaptureSession webcam(s, {true, "Pelidor"}, &saveFolder);
    FileDialogRequest seen;
    const QString path = webcam.SnapPath(0, [&](FileDialogRequest& r) {
        seen = r;
        r.filterIndex = 2;
        r.fileName = "/data/snaps/a.jpg";
        return true;
    });
    EXPECT_EQ(path, "/data/snaps/a.jpg");
    EXPECT_EQ(seen.filters.size(), 3) << "no raw snaps through the webcam";
    EXPECT_EQ(seen.filterIndex, 1);
    EXPECT_EQ(seen.fileName, "/data/snaps/Pelidor");
    EXPECT_EQ(s.snap.uiFiletype, kCaptureJpeg);

    CameraSettings hubSettings{};
    hubSettings.snap.uiFiletype = kCaptureRaw;
    CCaptureSession hub(hubSettings, {false, "Quillory"}, &saveFolder);
    hub.SnapPath(0, [&](FileDialogRequest& r) {
        seen = r;
        return false;
    });
    EXPECT_EQ(seen.filters.size(), 4);
    EXPECT_EQ(seen.filterIndex, 4);
    EXPECT_EQ(seen.defaultExt, "raw");
    EXPECT_EQ(hubSettings.snap.uiFiletype, kCaptureRaw) << "a Cancel changes nothing";

    // A cancelled shot opens the snap-done gate without taking a picture.
    hub.SnapThread().SetSnapDone();
    bool taken = false;
    hub.Shot(0, true, [](FileDialogRequest&) { return false; }, [&](const QString&) { taken = true; });
    EXPECT_FALSE(taken);
    EXPECT_TRUE(hub.SnapThread().SnapDone());
}

TEST_F(CaptureSessionTest, RecordStartsAtTheConfiguredNameAndStopsOnlyWhenTheRecordingEnded) {
    s.video.bConfig = 1;
    s.video.bTimeStamp = 0;
    s.video.bNum = 0;
    s.video.sFilename = "clip";
    s.video.sPath = dir.path().toStdString();
    CCaptureSession session(s, {false, "Quillory"}, &saveFolder);
    auto never = [](FileDialogRequest&) -> bool {
        ADD_FAILURE() << "a configured name asks nothing";
        return false;
    };
    QString started;
    bool ended = false;
    CCaptureSession::Recorder recorder{[&](const QString& p) {
                                           started = p;
                                           return true;
                                       },
                                       [&] { return ended; }};
    int recording = 0;
    EXPECT_EQ(session.Record(CCaptureSession::kModeIdle, false, recording, never, recorder), CCaptureSession::kModeIdle);
    EXPECT_TRUE(started.isEmpty()) << "a closed camera records nothing";
    EXPECT_EQ(session.Record(9, true, recording, never, recorder), 9) << "busy with another command";
    EXPECT_EQ(session.Record(CCaptureSession::kModeIdle, true, recording, never, recorder),
              CCaptureSession::kModeRecording);
    EXPECT_EQ(started, dir.filePath("clip.avi"));
    EXPECT_EQ(recording, 1);
    EXPECT_EQ(session.Record(CCaptureSession::kModeRecording, true, recording, never, recorder),
              CCaptureSession::kModeRecording);
    EXPECT_EQ(recording, 1) << "still recording";
    ended = true;
    EXPECT_EQ(session.Record(CCaptureSession::kModeRecording, true, recording, never, recorder),
              CCaptureSession::kModeIdle);
    EXPECT_EQ(recording, 0);
}

}  // namespace
