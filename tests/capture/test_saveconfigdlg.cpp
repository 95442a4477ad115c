// The save configuration dialog as a window: its tabs, what OK, Cancel and closing tell the
// frame, a refused number, the compressor list; and on the camera window of the simulated
// camera (id 28) its "Config..." commands, a preview change reopening the camera and a
// resolution choice reaching the model's profile section when the window closes.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ui/profile.h"
#include "ui/promptservice.h"
#include "capture/cameraframe.h"
#include "capture/exposurepanel.h"
#include "capture/resolutionpage.h"
#include "capture/saveconfigdlg.h"
#include "capture/snapsavepage.h"
#include "capture/videosavepage.h"
#include "controls/iconbutton.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "controls/numberedit.h"
#include "resources/resourcetable.h"
#include "simcam.h"
#include "vekcamera/VekCamera.h"
#include "camerawindowtest.h"
#include "messagerecorder.h"

namespace {

CameraSettings SaveRecord() {
    CameraSettings s;
    s.snap.bConfig = 1;
    s.snap.sFilename = "plate";
    s.snap.uiFiletype = kCaptureJpeg;
    s.snap.nCount = 3;
    s.video.bConfig = 0;
    s.video.TimeLimit = 5;
    s.video.CompressID = -4;
    return s;
}

class SaveConfigDialog : public ::testing::Test {
protected:
    FakePrompts prompts;
    PromptsInstalled installed{&prompts};
    MessageRecorder frame;
};

}  // namespace

TEST_F(SaveConfigDialog, PagesLoadAndEnableAsTheRecordSaysAndOkEndsWithTheClosedMessage) {
    CameraSettings s = SaveRecord();
    CSaveConfigDlg dlg(frame.GetSafeHwnd());
    dlg.SetSettings(&s, CSaveConfigDlg::kVideoPage);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Config Property of Save"));
    ASSERT_EQ(dlg.Tabs()->count(), 3);
    EXPECT_EQ(dlg.Tabs()->tabText(0), QStringLiteral("Snap"));
    EXPECT_EQ(dlg.Tabs()->tabText(1), QStringLiteral("Video"));
    EXPECT_EQ(dlg.Tabs()->tabText(2), QStringLiteral("Resolution"));
    EXPECT_EQ(dlg.Tabs()->currentIndex(), 1);

    CSnapSavePage* snap = dlg.SnapPage();
    EXPECT_TRUE(snap->ConfigRadio()->isChecked());
    EXPECT_EQ(snap->FileType()->currentText(), QStringLiteral(".jpg"));
    EXPECT_EQ(snap->Prefix()->text(), QStringLiteral("plate"));
    EXPECT_TRUE(snap->Prefix()->isEnabled());
    EXPECT_FALSE(snap->Interval()->isEnabled());
    EXPECT_FALSE(snap->FineMode()->isEnabled());
    snap->Lapse()->click();
    EXPECT_TRUE(snap->Interval()->isEnabled());
    EXPECT_TRUE(snap->Frames()->isEnabled());
    snap->TimeStamp()->click();
    EXPECT_FALSE(snap->Prefix()->isEnabled());
    EXPECT_FALSE(snap->Num()->isEnabled());
    // "Use File Save Dialog" greys everything and resets the series fields.
    snap->Interval()->setText("40");
    snap->Frames()->setText("9");
    snap->DialogRadio()->click();
    EXPECT_FALSE(snap->Folder()->isEnabled());
    EXPECT_FALSE(snap->Lapse()->isEnabled());
    EXPECT_FALSE(snap->Interval()->isEnabled());
    EXPECT_EQ(snap->Interval()->text(), QStringLiteral("0"));
    EXPECT_EQ(snap->Frames()->text(), QStringLiteral("1"));

    // Video: a negative compressor index is "No Compressor", the last item.
    CVideoSavePage* video = dlg.VideoPage();
    QComboBox* comp = video->Compressor();
    EXPECT_EQ(comp->itemText(comp->count() - 1), QStringLiteral("No Compressor"));
    EXPECT_EQ(comp->currentIndex(), comp->count() - 1);
    EXPECT_EQ(comp->count(), static_cast<int>(CAviFile::EnumerateCompressors().size()) + 1);
    EXPECT_FALSE(video->ConfigButton()->isEnabled());
    EXPECT_FALSE(video->Prefix()->isEnabled());
    EXPECT_FALSE(video->Extension()->isEnabled());
    EXPECT_FALSE(video->TimeLimit()->isEnabled());
    video->ConfigRadio()->click();
    EXPECT_TRUE(video->Prefix()->isEnabled());
    EXPECT_TRUE(video->Extension()->isEnabled());
    video->TimeLimitCheck()->click();
    EXPECT_TRUE(video->TimeLimit()->isEnabled());
    // Each compressor's "Config" follows whether its encoder has settings of its own.
    for (int i = 0; i + 1 < comp->count(); ++i) {
        comp->setCurrentIndex(i);
        emit comp->activated(i);
        EXPECT_EQ(video->ConfigButton()->isEnabled(),
                  CSaveConfigDlg::CompressorHasSettings(CAviFile::EnumerateCompressors()[static_cast<size_t>(i)]))
            << comp->itemText(i).toStdString();
    }
    comp->setCurrentIndex(0);
    emit comp->activated(0);

    dlg.OnOK();
    EXPECT_TRUE(dlg.IsFinished());
    ASSERT_EQ(frame.received.size(), 1u);
    EXPECT_EQ(frame.received[0].message, static_cast<UINT>(WM_SAVECONFIG_CLOSED));
    EXPECT_EQ(s.snap.bConfig, 0);
    EXPECT_EQ(s.snap.nCount, 1);
    EXPECT_EQ(s.video.bConfig, 1);
    EXPECT_EQ(s.video.bTimeLimit, 1);
    if (comp->count() > 1) {
        EXPECT_EQ(s.video.CompressID, 0);
        EXPECT_EQ(static_cast<FOURCC>(s.video.Compress), CAviFile::EnumerateCompressors()[0].fourcc);
    } else {
        EXPECT_EQ(static_cast<FOURCC>(s.video.Compress), FOURCC_DIB);
    }
}

TEST_F(SaveConfigDialog, CancelPutsTheRecordBackAndCloseKeepsItWithoutStoring) {
    CameraSettings s = SaveRecord();
    {
        CSaveConfigDlg dlg(frame.GetSafeHwnd());
        dlg.SetSettings(&s, CSaveConfigDlg::kSnapPage);
        // An edit the pages made to the record directly (the resolution page stores at OK only,
        // but a frame may share the record) goes as well.
        s.snap.sFilename = "edited";
        s.byCaptureRes = 3;
        dlg.SnapPage()->Prefix()->setText("typed");
        dlg.OnCancel();
        EXPECT_EQ(s.snap.sFilename, "plate");
        EXPECT_EQ(s.byCaptureRes, 0);
        ASSERT_EQ(frame.received.size(), 1u);
        EXPECT_EQ(frame.received[0].message, static_cast<UINT>(WM_SAVECONFIG_CLOSED));
        // Nothing more once finished.
        dlg.OnOK();
        dlg.OnCancel();
        EXPECT_EQ(frame.received.size(), 1u);
    }
    frame.received.clear();
    {
        CSaveConfigDlg dlg(frame.GetSafeHwnd());
        dlg.SetSettings(&s, CSaveConfigDlg::kSnapPage);
        dlg.SnapPage()->Prefix()->setText("typed");
        dlg.show();
        dlg.close();
        EXPECT_EQ(s.snap.sFilename, "plate");
        ASSERT_EQ(frame.received.size(), 1u);
        EXPECT_EQ(frame.received[0].message, static_cast<UINT>(WM_SAVECONFIG_CLOSED));
    }
}

TEST_F(SaveConfigDialog, ANumberOutsideItsRangeIsRefusedAtOkAndNothingIsStored) {
    CameraSettings s = SaveRecord();
    s.snap.bLapse = 1;
    CSaveConfigDlg dlg(frame.GetSafeHwnd());
    dlg.SetSettings(&s, CSaveConfigDlg::kSnapPage);
    dlg.SnapPage()->Prefix()->setText("typed");
    dlg.VideoPage()->TimeLimit()->setText("61");
    dlg.OnOK();
    EXPECT_FALSE(dlg.IsFinished());
    EXPECT_TRUE(frame.received.empty());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], QStringLiteral("Please enter an integer between 1 and 60."));
    EXPECT_EQ(dlg.Tabs()->currentIndex(), CSaveConfigDlg::kVideoPage);
    EXPECT_EQ(s.snap.sFilename, "plate");
    EXPECT_EQ(s.video.TimeLimit, 5);
    dlg.VideoPage()->TimeLimit()->setText("60");
    dlg.OnOK();
    EXPECT_TRUE(dlg.IsFinished());
    EXPECT_EQ(s.snap.sFilename, "typed");
    EXPECT_EQ(s.video.TimeLimit, 60);
}

TEST_F(SaveConfigDialog, WithoutTheResolutionTabNoPreviewChangeReopensTheCamera) {
    CameraSettings s = SaveRecord();
    CSaveConfigDlg dlg(frame.GetSafeHwnd(), nullptr, false);
    dlg.SetSettings(&s, CSaveConfigDlg::kResolutionPage);
    ASSERT_EQ(dlg.Tabs()->count(), 2);
    EXPECT_FALSE(dlg.ResolutionPage());
    EXPECT_EQ(dlg.Tabs()->currentIndex(), 0) << "a page the dialog lacks leaves the first one";
    s.byPreviewRes = 2;
    dlg.OnOK();
    PumpUntil([&] { return !frame.received.empty(); });
    ASSERT_EQ(frame.received.size(), 1u);
    EXPECT_EQ(frame.received[0].message, static_cast<UINT>(WM_SAVECONFIG_CLOSED));
}

TEST_F(SaveConfigDialog, TheFolderBrowseButtonsFollowTheConfigRadioAndOkStoresTheChosenFolder) {
    CameraSettings s = SaveRecord();
    s.snap.sPath = "/data/snaps";
    s.video.sPath = "/data/videos";
    s.video.bConfig = 1;
    CSaveConfigDlg dlg(frame.GetSafeHwnd());
    dlg.SetSettings(&s, CSaveConfigDlg::kSnapPage);
    struct PageCase {
        const char* name;
        QLineEdit* folder;
        QToolButton* browse;
        QRadioButton* dialogRadio;
        QRadioButton* configRadio;
    };
    CSnapSavePage* snap = dlg.SnapPage();
    CVideoSavePage* video = dlg.VideoPage();
    const PageCase cases[] = {
        {"snap", snap->Folder(), snap->Browse(), snap->DialogRadio(), snap->ConfigRadio()},
        {"video", video->Folder(), video->Browse(), video->DialogRadio(), video->ConfigRadio()},
    };
    for (const PageCase& c : cases) {
        ASSERT_TRUE(c.browse) << c.name;
        EXPECT_TRUE(c.browse->isEnabled()) << c.name;
        // Cancel in the chooser keeps the folder; it started on the edit's folder.
        const QString before = c.folder->text();
        c.browse->click();
        EXPECT_EQ(prompts.startFolders.last(), before) << c.name;
        EXPECT_EQ(c.folder->text(), before) << c.name;
        // "Use File Save Dialog" disables the browse button with its edit, and back.
        c.dialogRadio->click();
        EXPECT_FALSE(c.browse->isEnabled()) << c.name;
        EXPECT_FALSE(c.folder->isEnabled()) << c.name;
        c.configRadio->click();
        EXPECT_TRUE(c.browse->isEnabled()) << c.name;
        prompts.folders << QString("/chosen/") + c.name;
        c.browse->click();
        EXPECT_EQ(c.folder->text(), QString("/chosen/") + c.name) << c.name;
    }
    // Nothing reaches the record before OK.
    EXPECT_EQ(s.snap.sPath, "/data/snaps");
    dlg.OnOK();
    EXPECT_TRUE(dlg.IsFinished());
    EXPECT_EQ(s.snap.sPath, "/chosen/snap");
    EXPECT_EQ(s.video.sPath, "/chosen/video");
}

// ---- On the camera window of the simulated camera ----

namespace {

class SaveConfigOnCamera : public CameraWindowTest {
protected:
    void SetUp() override {
        CameraWindowTest::SetUp();
        CProfile(ProfilePath()).WriteProfileString("FileSave", "sPath", dir.path());
    }
    CCameraFrame* Start() {
        CCameraFrame* f = CameraWindowTest::Start();
        if (!f || !PumpUntil([f] { return f->Controller().IsIdle(); }, 3000)) return nullptr;
        return f;
    }
};

}  // namespace

TEST_F(SaveConfigOnCamera, ConfigItemsOpenTheirPageAndAResolutionChoiceReachesTheProfileAtClose) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f) << prompts.messages.join("; ").toStdString();
    // Each drop-down carries its "Config..." item.
    for (UINT button : {CCameraFrame::ID_CAMERA_SNAP, CCameraFrame::ID_CAMERA_RECORD, CCameraFrame::ID_CAMERA_RESOLUTION}) {
        ASSERT_TRUE(f->Button(button));
        ASSERT_TRUE(f->Button(button)->menu());
        ASSERT_FALSE(f->Button(button)->menu()->actions().isEmpty());
        EXPECT_EQ(f->Button(button)->menu()->actions().last()->text(), QStringLiteral("Config..."));
    }
    const UINT configs[] = {CCameraFrame::ID_SNAP_CONFIG, CCameraFrame::ID_RECORD_CONFIG, CCameraFrame::ID_RESOLUTION_CONFIG};
    for (int page = 0; page < 3; ++page) {
        EXPECT_TRUE(f->OnCommand(configs[page]));
        ASSERT_TRUE(f->SaveConfigDlg());
        EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeSaveConfig);
        EXPECT_EQ(f->SaveConfigDlg()->Tabs()->currentIndex(), page);
        // Busy: a second "Config..." opens nothing more.
        CSaveConfigDlg* open = f->SaveConfigDlg();
        EXPECT_TRUE(f->OnCommand(configs[(page + 1) % 3]));
        EXPECT_EQ(f->SaveConfigDlg(), open);
        open->OnCancel();
        PumpUntil([f] { return !f->SaveConfigDlg(); });
        EXPECT_FALSE(f->SaveConfigDlg());
        EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeIdle);
    }

    // The capture resolution: the camera stays open unless the model locks both together.
    ASSERT_TRUE(f->OnCommand(CCameraFrame::ID_RESOLUTION_CONFIG));
    CSaveConfigDlg* dlg = f->SaveConfigDlg();
    CResolutionPage* page = dlg->ResolutionPage();
    ASSERT_TRUE(page);
    QComboBox* capture = page->CaptureCombo();
    ASSERT_GE(capture->count(), 3);
    if (page->Logic().locked) page->LockButton()->click();
    const int preview = f->Settings().byPreviewRes;
    const int choice = preview == 1 ? 2 : 1;
    capture->setCurrentIndex(choice);
    emit capture->activated(choice);
    const int lock = page->Logic().locked ? 1 : 0;
    dlg->OnOK();
    if (!lock) {
        EXPECT_TRUE(f->Controller().IsOpen()) << "a capture change leaves the camera open";
    }
    ASSERT_TRUE(PumpUntil([f] { return !f->SaveConfigDlg() && f->Controller().IsOpen(); }));
    EXPECT_EQ(f->Settings().byCaptureRes, choice);
    f->close();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));
    CProfile profile(ProfilePath());
    EXPECT_EQ(profile.GetProfileInt("LumoProf28", "Capture", -1), choice);
    EXPECT_EQ(profile.GetProfileInt("LumoProf28", "ResLock", -1), lock);
    EXPECT_EQ(profile.GetProfileInt("LumoProf28", "Preview", -1), lock ? choice : preview);
}

TEST_F(SaveConfigOnCamera, ANewPreviewResolutionClosesTheCameraAndOpensItAgainLater) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f) << prompts.messages.join("; ").toStdString();
    ASSERT_TRUE(f->OnCommand(CCameraFrame::ID_RESOLUTION_CONFIG));
    CSaveConfigDlg* dlg = f->SaveConfigDlg();
    CResolutionPage* page = dlg->ResolutionPage();
    QComboBox* preview = page->PreviewCombo();
    ASSERT_GE(preview->count(), 2);
    const int was = f->Settings().byPreviewRes;
    const int choice = was == 3 ? 2 : 3;
    ASSERT_LT(choice, preview->count());
    preview->setCurrentIndex(choice);
    emit preview->activated(choice);
    dlg->OnOK();
    // Closed at once; opened again after the pause, with the background correction asked for.
    EXPECT_FALSE(f->Controller().IsOpen());
    EXPECT_TRUE(f->SaveConfigDlg()) << "the dialog waits for the reopen";
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen(); }, 5000));
    ASSERT_TRUE(PumpUntil([f] { return !f->SaveConfigDlg(); }, 2000));
    EXPECT_EQ(f->Settings().byPreviewRes, choice);
    int w = 0, h = 0;
    ASSERT_EQ(VekCameraGetImageSize(&w, &h), 1);
    EXPECT_EQ(f->Settings().nWidth, w);
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeIdle);
}

TEST_F(SaveConfigOnCamera, TheExposureButtonsPromptFollowsThePopupAndMovingTheWindowClosesIt) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    QAction* exposure = f->Action(CCameraFrame::ID_CAMERA_EXPOSURE);
    ASSERT_TRUE(exposure);
    EXPECT_EQ(exposure->text(), ResourceString(1245).section('\n', 1, 1));
    ASSERT_TRUE(f->OnCommand(CCameraFrame::ID_CAMERA_EXPOSURE));
    ASSERT_TRUE(f->ExposurePanel());
    EXPECT_EQ(exposure->text(), ResourceString(1244).section('\n', 1, 1));
    EXPECT_NE(ResourceString(1244), ResourceString(1245));
    // The window moves: the pop-up goes, the window is idle again, the prompt is back.
    f->move(f->pos() + QPoint(30, 20));
    QMoveEvent move(f->pos(), f->pos() - QPoint(30, 20));
    QCoreApplication::sendEvent(f, &move);
    PumpUntil([f] { return !f->ExposurePanel(); });
    EXPECT_FALSE(f->ExposurePanel());
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeIdle);
    EXPECT_EQ(exposure->text(), ResourceString(1245).section('\n', 1, 1));
}

TEST_F(SaveConfigOnCamera, AChosenPathTakesTheSeriesAndComesBackAfterARestart) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f) << prompts.messages.join("; ").toStdString();
    const QString chosen = dir.filePath("chosen");
    ASSERT_TRUE(QDir().mkpath(chosen));
    ASSERT_TRUE(f->OnCommand(CCameraFrame::ID_SNAP_CONFIG));
    CSnapSavePage* page = f->SaveConfigDlg()->SnapPage();
    page->ConfigRadio()->click();
    if (page->TimeStamp()->isChecked()) page->TimeStamp()->click();
    if (!page->Lapse()->isChecked()) page->Lapse()->click();
    page->Prefix()->setText("series");
    page->FileType()->setCurrentIndex(1);
    page->Folder()->setText(chosen);
    page->Frames()->setText("2");
    f->SaveConfigDlg()->OnOK();
    ASSERT_TRUE(PumpUntil([f] { return !f->SaveConfigDlg() && f->Controller().IsIdle(); }, 3000));
    // The armed series is named where the user looks before a Snap.
    EXPECT_EQ(f->Action(CCameraFrame::ID_CAMERA_SNAP)->toolTip(), "Camera Snap: time lapse of 2 shots, 0 s apart");
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 60000));
    EXPECT_TRUE(QFileInfo::exists(chosen + "/series.bmp"));
    EXPECT_TRUE(QFileInfo::exists(chosen + "/series-1.bmp"));

    // The window stores its snap folder as the program's save folder, under the same key, when it goes.
    f->close();
    Pump();
    host.reset();
    f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->OnCommand(CCameraFrame::ID_SNAP_CONFIG));
    EXPECT_EQ(f->SaveConfigDlg()->SnapPage()->Folder()->text(), chosen);
}
