// The camera window's Cut, area white balance and white balance wizard on the simulated camera:
// through a chooser the test gives the view, through the real overlay ended by a right-click
// without a region (OK, but nothing chosen), and through the wizard dialog.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ui/promptservice.h"
#include "capture/cameradisplay.h"
#include "capture/cameraframe.h"
#include "capture/cameraview.h"
#include "capture/camerasettingdlg.h"
#include "capture/exposurepagebase.h"
#include "capture/exposurepanel.h"
#include "capture/regionselectwnd.h"
#include "capture/whitebalancewizarddlg.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "simcam.h"
#include "vekcamera/VekCamera.h"
#include "camerawindowtest.h"

namespace {

// Gives a fixed rectangle of the view's display child, or OK with nothing.
class TestChooser : public IRegionChooser {
public:
    explicit TestChooser(CCameraView* view) : m_view(view) {}
    bool ChooseRegion(const RECT& allowed, RECT* chosen) override {
        ++calls;
        this->allowed = allowed;
        if (!give) return false;
        const QPoint o = m_view->Display()->mapToGlobal(QPoint(0, 0));
        *chosen = RECT{local.left + o.x(), local.top + o.y(), local.right + o.x(), local.bottom + o.y()};
        return true;
    }
    CCameraView* m_view;
    RECT local{40, 30, 200, 150};
    RECT allowed{};
    bool give = true;
    int calls = 0;
};

class CameraFrameRegionTest : public CameraWindowTest {
protected:
    void SetUp() override {
        CameraWindowTest::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(PumpUntil([this] { return Frame()->View()->FramesShown() >= 2; }, 10000));
        // A first open balances the white for a while: the commands wait for it.
        ASSERT_TRUE(PumpUntil([this] { return Idle() && Frame()->View()->GetRunState() == CCameraView::kRun; }, 10000));
    }
    bool Idle() const { return Frame()->Controller().IsIdle(); }
};

TEST_F(CameraFrameRegionTest, CutTakesTheChosenRegionAndSwapsCutForRestore) {
    CCameraFrame* f = Frame();
    CCameraView* view = f->View();
    TestChooser chooser(view);
    view->SetRegionChooser(&chooser);
    QAction* cut = f->Action(CCameraFrame::ID_VIDEO_CUT);
    QAction* restore = f->Action(CCameraFrame::ID_VIDEO_RESTORE);
    ASSERT_TRUE(cut && restore);
    EXPECT_TRUE(cut->isVisible());
    EXPECT_FALSE(restore->isVisible());
    EXPECT_FALSE(f->Action(CCameraFrame::ID_AREA_WHITEBALANCE)->isVisible());
    // Cancel: nothing changes.
    chooser.give = false;
    f->OnCommand(CCameraFrame::ID_VIDEO_CUT);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_FALSE(view->IsCropped());
    EXPECT_TRUE(cut->isVisible());
    EXPECT_TRUE(Idle());
    // The allowed area is the view on the screen.
    EXPECT_EQ(chooser.allowed.left, view->mapToGlobal(QPoint(0, 0)).x());
    EXPECT_EQ(chooser.allowed.right - chooser.allowed.left, view->width());
    chooser.give = true;
    f->OnCommand(CCameraFrame::ID_VIDEO_CUT);
    ASSERT_TRUE(view->IsCropped());
    const RECT src = view->SourceRect();
    EXPECT_EQ((src.right - src.left) % 4, 0);
    EXPECT_EQ((src.bottom - src.top) % 2, 0);
    EXPECT_LT(src.right - src.left, view->ImageWidth());
    EXPECT_FALSE(cut->isVisible());
    EXPECT_TRUE(restore->isVisible());
    EXPECT_TRUE(Idle());
    f->OnCommand(CCameraFrame::ID_VIDEO_RESTORE);
    EXPECT_FALSE(view->IsCropped());
    EXPECT_TRUE(cut->isVisible());
    EXPECT_FALSE(restore->isVisible());
}

TEST_F(CameraFrameRegionTest, AreaWhiteBalanceSetsStoresAndReadsBackTheGains) {
    CCameraFrame* f = Frame();
    TestChooser chooser(f->View());
    f->View()->SetRegionChooser(&chooser);
    ASSERT_EQ(VekCameraSetGain(10, 64, 200), CAMERA_OK);
    // The drop-down item: the gains the area gives, read back into the settings after 100 ms.
    f->OnCommand(CCameraFrame::ID_AREA_WHITEBALANCE_MENU);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_FALSE(Idle()) << "busy until the gains are read";
    EXPECT_TRUE(PumpUntil([this] { return Idle(); }, 2000));
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(VekCameraGetGain(&r, &g, &b), CAMERA_OK);
    EXPECT_EQ(g, 64);
    EXPECT_NE(r, 10);
    EXPECT_EQ(f->Settings().redGain.nValue, r);
    EXPECT_EQ(f->Settings().blueGain.nValue, b);
    // The toolbar command does the same through the view; Cancel leaves the gains alone.
    ASSERT_EQ(VekCameraSetGain(10, 64, 200), CAMERA_OK);
    chooser.give = false;
    f->OnCommand(CCameraFrame::ID_AREA_WHITEBALANCE);
    EXPECT_TRUE(Idle());
    ASSERT_EQ(VekCameraGetGain(&r, &g, &b), CAMERA_OK);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(b, 200);
}

TEST_F(CameraFrameRegionTest, TheOverlayEndedByARightClickWithoutARegionChangesNothing) {
    CCameraFrame* f = Frame();
    CCameraView* view = f->View();
    ASSERT_EQ(VekCameraSetGain(10, 64, 200), CAMERA_OK);
    int overlays = 0;
    // Each time the real overlay comes up: a right-click on it with no region (OK, no result).
    auto rightClickNextOverlay = [&overlays] {
        QTimer::singleShot(50, [&overlays] {
            auto* w = dynamic_cast<CRegionSelectWnd*>(QApplication::activeModalWidget());
            if (!w) return;
            ++overlays;
            QTest::mouseClick(w, Qt::RightButton, {}, QPoint(w->width() / 2, w->height() / 2));
        });
    };
    rightClickNextOverlay();
    f->OnCommand(CCameraFrame::ID_VIDEO_CUT);
    EXPECT_EQ(overlays, 1);
    EXPECT_FALSE(view->IsCropped());
    EXPECT_TRUE(f->Action(CCameraFrame::ID_VIDEO_CUT)->isVisible());
    EXPECT_TRUE(Idle());
    rightClickNextOverlay();
    f->OnCommand(CCameraFrame::ID_AREA_WHITEBALANCE_MENU);
    EXPECT_EQ(overlays, 2);
    EXPECT_TRUE(Idle());
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(VekCameraGetGain(&r, &g, &b), CAMERA_OK);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(b, 200);
}

TEST_F(CameraFrameRegionTest, TheWizardFromTheAutoWhiteBalanceMenuStoresTheGainsItKeeps) {
    CCameraFrame* f = Frame();
    QToolButton* awb = f->Button(CCameraFrame::ID_CAMERA_AUTOWB);
    ASSERT_TRUE(awb && awb->menu());
    EXPECT_TRUE(awb->menu()->actions().contains(f->Action(CCameraFrame::ID_WIZARD_WHITEBALANCE)));
    EXPECT_TRUE(awb->menu()->actions().contains(f->Action(CCameraFrame::ID_AREA_WHITEBALANCE_MENU)));
    ASSERT_EQ(VekCameraSetGain(30, 64, 40), CAMERA_OK);
    bool seen = false;
    QTimer::singleShot(50, [this, &seen] {
        auto* dlg = dynamic_cast<CWhiteBalanceWizardDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        seen = true;
        dlg->Button(CWhiteBalanceWizardDlg::IDC_WHITEBALANCE)->click();
        // The camera balances on the frames decoded next; then the user's own gains.
        const uint64_t painted = dlg->Display()->PaintedFrames();
        EXPECT_TRUE(PumpUntil([&] { return dlg->Display()->PaintedFrames() >= painted + 3; }, 10000));
        VekCameraSetGain(77, 64, 55);
        dlg->Button(CWhiteBalanceWizardDlg::IDC_FINISH)->click();
    });
    f->OnCommand(CCameraFrame::ID_WIZARD_WHITEBALANCE);
    EXPECT_TRUE(seen);
    EXPECT_EQ(f->Settings().redGain.nValue, 77);
    EXPECT_EQ(f->Settings().blueGain.nValue, 55);
    // The picture is back in the camera window.
    const uint64_t shown = f->View()->Display()->PaintedFrames();
    EXPECT_TRUE(PumpUntil([&] { return f->View()->Display()->PaintedFrames() > shown; }, 10000));
}

}  // namespace
TEST_F(CameraFrameRegionTest, AWindowOnALargePictureFitsTheScreenWithItsCaptionAndBorders) {
    CCameraFrame* f = Frame();
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    f->Controller().Settings().byPreviewRes = 2;
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen(); }, 10000));
    ASSERT_EQ(f->Controller().Settings().nHeight, 960);
    const QRect avail = f->screen()->availableGeometry();
    const QRect outer = f->frameGeometry();
    EXPECT_TRUE(avail.contains(outer)) << outer.top() << " " << outer.bottom() << " on " << avail.bottom();
    // The picture is scaled down to the room left, not further.
    EXPECT_TRUE(outer.height() >= avail.height() - 1 || outer.width() >= avail.width() - 1) << outer.width();
}
TEST_F(CameraFrameRegionTest, UnderAutoExposureTheShownTimeFollowsTheCameraAndManualKeepsIt) {
    CCameraFrame* f = Frame();
    ASSERT_TRUE(f->Controller().Settings().aeState.nValue);
    auto camera = [] {
        int ms = -1;
        VekCameraGetExposureTime(&ms);
        return static_cast<DWORD>(ms);
    };
    // The camera's own auto exposure changes the time behind the window's back, as this push does.
    auto followsTheCamera = [&](CExposureTimeCtrl* shown) {
        const DWORD before = shown->GetTime();
        VekCameraSetExposureTime(before > 20 ? before / 2 : before + 20);
        const bool follows = PumpUntil([&] { return shown->GetTime() != before && shown->GetTime() == camera(); }, 8000);
        EXPECT_TRUE(follows) << before << " " << shown->GetTime() << " " << camera();
        return follows;
    };
    f->OnCommand(CCameraFrame::ID_CAMERA_PROPERTY);
    ASSERT_TRUE(f->SettingDlg());
    followsTheCamera(f->SettingDlg()->MainPage()->TimeCtrl());
    f->SettingDlg()->close();
    ASSERT_TRUE(PumpUntil([&] { return Idle() && !f->SettingDlg(); }, 2000));
    f->OnCommand(CCameraFrame::ID_CAMERA_EXPOSURE);
    CExposurePanel* panel = f->ExposurePanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(followsTheCamera(panel->TimeCtrl()));
    // Manual exposure starts from the time auto exposure left, and it stays.
    panel->AutoCheck()->click();
    const DWORD kept = camera();
    EXPECT_EQ(panel->TimeCtrl()->GetTime(), kept);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(camera(), kept);
    EXPECT_EQ(panel->TimeCtrl()->GetTime(), kept);
}
