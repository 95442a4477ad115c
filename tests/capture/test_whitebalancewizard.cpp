// The white balance wizard on the simulated camera: its place on the screen and the fitted
// picture, the steps' controls, the gains kept by "Finish" and put back by "Redo", Escape and
// closing, and the camera view's live picture shown in it while it runs.
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "capture/cameradisplay.h"
#include "capture/cameraview.h"
#include "capture/whitebalancewizarddlg.h"
#include "capture/whitebalancewizardlogic.h"
#include "resources/resourcetable.h"
#include "test_cameraview_support.h"
#include "vekcamera/VekCamera.h"

namespace {

using Logic = CWhiteBalanceWizardLogic;
using Dlg = CWhiteBalanceWizardDlg;

TEST(WhiteBalanceWizardLogic, ControlsGoToTheirPlacesOnTheScreen) {
    const Logic::Layout l = Logic::ForScreen(1280, 1024);
    EXPECT_EQ(l.dialog, QRect(0, 0, 1280, 1024));
    EXPECT_EQ(l.display, QRect(0, 0, 1020, 994));
    EXPECT_EQ(l.picture, QRect(1017, 0, 260, 200));
    EXPECT_EQ(l.text1, QRect(1026, 230, 240, 70));
    EXPECT_EQ(l.text2, l.text1);
    EXPECT_EQ(l.balance, QPoint(1050, 320));
    EXPECT_EQ(l.balanceMarker, QPoint(1200, 318));
    EXPECT_EQ(l.finish, QPoint(1050, 380));
    EXPECT_EQ(l.finishMarker, QPoint(1200, 378));
    EXPECT_EQ(l.redo, QPoint(1050, 440));
    EXPECT_EQ(l.redoMarker, QPoint(1200, 438));
}

TEST(WhiteBalanceWizardLogic, EachStepEnablesItsButtonMarkerTextAndPicture) {
    const Logic::Controls s0 = Logic::ForState(0), s1 = Logic::ForState(1), s2 = Logic::ForState(2);
    EXPECT_TRUE(s0.reference && !s0.balance && !s0.finish && s0.redo);
    EXPECT_TRUE(s0.marker[0] && !s0.marker[1] && !s0.marker[2] && s0.marker[3]);
    EXPECT_FALSE(s0.text1 || s0.text2);
    EXPECT_EQ(s0.picture, 263);
    EXPECT_TRUE(!s1.reference && s1.balance && !s1.finish && !s1.redo);
    EXPECT_TRUE(!s1.marker[0] && s1.marker[1] && !s1.marker[2] && !s1.marker[3]);
    EXPECT_TRUE(s1.text1 && !s1.text2);
    EXPECT_EQ(s1.picture, 250);
    EXPECT_TRUE(!s2.reference && !s2.balance && s2.finish && s2.redo);
    EXPECT_TRUE(!s2.marker[0] && !s2.marker[1] && s2.marker[2] && s2.marker[3]);
    EXPECT_TRUE(!s2.text1 && s2.text2);
    EXPECT_EQ(s2.picture, 251);
    // The step pictures are drawn at the picture button's size, in more than one colour.
    for (int id : {263, 250, 251}) {
        const QImage pm = ResourcePixmap(id).toImage();
        ASSERT_EQ(pm.size(), QSize(260, 200)) << id;
        EXPECT_NE(pm.pixelColor(95, 100), pm.pixelColor(5, 5)) << id;
    }
    EXPECT_NE(ResourcePixmap(250).toImage(), ResourcePixmap(251).toImage());
}

TEST(WhiteBalanceWizardLogic, ThePictureIsFittedAndCentredWhateverItsSize) {
    // Larger than the area: scaled down by the width.
    EXPECT_EQ(Logic::FitDisplay(1020, 994, 2048, 1536), QRect(0, 114, 1012, 765));
    // Smaller than the area (an integer ratio would be 0 and leave it unplaced): scaled up.
    EXPECT_EQ(Logic::FitDisplay(1020, 994, 320, 240), QRect(0, 114, 1012, 765));
    // Tall: scaled by the height, centred across.
    EXPECT_EQ(Logic::FitDisplay(1000, 500, 100, 200), QRect(375, 0, 242, 500));
    EXPECT_TRUE(Logic::FitDisplay(1000, 500, 0, 200).isEmpty());
    EXPECT_TRUE(Logic::FitDisplay(0, 500, 100, 200).isEmpty());
}

class WhiteBalanceWizardTest : public CameraViewTest {
protected:
    void SetUp() override {
        CameraViewTest::SetUp();
        ASSERT_TRUE(OpenCamera());
        ASSERT_EQ(VekCameraSetGain(70, 64, 80), CAMERA_OK);
    }
    static void Gains(int* r, int* g, int* b) {
        *r = *g = *b = -1;
        ASSERT_EQ(VekCameraGetGain(r, g, b), CAMERA_OK);
    }
    // Runs the dialog modally with `step` once it is up.
    static int Run(Dlg& dlg, std::function<void()> step) {
        QTimer::singleShot(0, &dlg, [&dlg, step] {
            // Offscreen windows may never report exposure; the step runs either way.
            (void)QTest::qWaitForWindowExposed(&dlg, 2000);
            step();
        });
        QTimer::singleShot(5000, &dlg, [&dlg] { dlg.done(-1); });
        return dlg.exec();
    }
};

TEST_F(WhiteBalanceWizardTest, OpensFullScreenInTheBalanceStepWithThePictureFitted) {
    Dlg dlg(nullptr, 320, 240);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(dlg.geometry(), screen);
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dlg.Logic().State(), Logic::kBalance);
    EXPECT_EQ(dlg.Logic().SavedRed(), 70);
    EXPECT_EQ(dlg.Logic().SavedBlue(), 80);
    EXPECT_FALSE(dlg.Button(Dlg::IDC_REFERENCE)->isEnabled()) << "no control leads to the reference step";
    EXPECT_TRUE(dlg.Button(Dlg::IDC_WHITEBALANCE)->isEnabled());
    EXPECT_FALSE(dlg.Button(Dlg::IDC_FINISH)->isEnabled());
    EXPECT_FALSE(dlg.Button(Dlg::IDC_REDO)->isEnabled());
    EXPECT_EQ(dlg.PictureId(), 250);
    EXPECT_EQ(dlg.PictureButton()->geometry(), QRect(screen.width() - 263, 0, 260, 200));
    EXPECT_EQ(dlg.StepText(Dlg::IDC_STEP1)->text(),
              "Step1:Move the sample out of the view, then click the button of balance");
    EXPECT_EQ(dlg.StepText(Dlg::IDC_STEP2)->text(), "Step2:Move the sample back , then click the button of finish");
    EXPECT_EQ(dlg.Button(Dlg::IDC_WHITEBALANCE)->pos(), QPoint(screen.width() - 230, 320));
    EXPECT_EQ(dlg.Button(Dlg::IDC_REDO)->pos(), QPoint(screen.width() - 230, 440));
    EXPECT_EQ(dlg.Marker(2)->pos(), QPoint(screen.width() - 80, 378));
    EXPECT_EQ(dlg.Display()->geometry(),
              Logic::FitDisplay(screen.width() - 260, screen.height() - 30, 320, 240));
    dlg.show();
    EXPECT_TRUE(dlg.StepText(Dlg::IDC_STEP1)->isVisible());
    EXPECT_FALSE(dlg.StepText(Dlg::IDC_STEP2)->isVisible());
    EXPECT_TRUE(dlg.Marker(1)->isVisible());
    EXPECT_FALSE(dlg.Marker(3)->isVisible());
    // The right panel in its blue, the rest a white rectangle (with the step text painted over it).
    const QImage shown = dlg.Render();
    EXPECT_EQ(shown.pixelColor(screen.width() - 10, screen.height() - 10), QColor(216, 231, 254));
    EXPECT_EQ(shown.pixelColor(20, screen.height() - 10), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::black));
    dlg.hide();
}

TEST_F(WhiteBalanceWizardTest, FinishKeepsTheNewGainsRedoAndClosingPutTheOldOnesBack) {
    int r, g, b;
    {
        Dlg dlg(nullptr, 640, 480);
        const int result = Run(dlg, [&] {
            // Redo before the balance changes nothing.
            dlg.Button(Dlg::IDC_REDO)->click();
            EXPECT_EQ(dlg.Logic().State(), Logic::kBalance);
            QTest::mouseClick(dlg.Button(Dlg::IDC_WHITEBALANCE), Qt::LeftButton);
            EXPECT_EQ(dlg.Logic().State(), Logic::kFinish);
            EXPECT_EQ(dlg.PictureId(), 251);
            EXPECT_TRUE(dlg.StepText(Dlg::IDC_STEP2)->isVisible());
            EXPECT_FALSE(dlg.StepText(Dlg::IDC_STEP1)->isVisible());
            EXPECT_TRUE(dlg.Button(Dlg::IDC_REDO)->isEnabled());
            VekCameraSetGain(90, 64, 50);  // what the camera's balance found
            QTest::mouseClick(dlg.Button(Dlg::IDC_FINISH), Qt::LeftButton);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        Gains(&r, &g, &b);
        EXPECT_EQ(r, 90);
        EXPECT_EQ(b, 50);
    }
    {
        Dlg dlg(nullptr, 640, 480);
        EXPECT_EQ(dlg.Logic().SavedRed(), 90);
        Run(dlg, [&] {
            dlg.Button(Dlg::IDC_WHITEBALANCE)->click();
            VekCameraSetGain(120, 64, 30);
            dlg.Button(Dlg::IDC_REDO)->click();
            EXPECT_EQ(dlg.Logic().State(), Logic::kBalance);
            EXPECT_EQ(dlg.PictureId(), 250);
            int r2, g2, b2;
            Gains(&r2, &g2, &b2);
            EXPECT_EQ(r2, 90);
            EXPECT_EQ(b2, 50);
            dlg.Button(Dlg::IDC_WHITEBALANCE)->click();
            VekCameraSetGain(120, 64, 30);
            QTest::keyClick(&dlg, Qt::Key_Escape);  // Escape closes the window
        });
        Gains(&r, &g, &b);
        EXPECT_EQ(r, 90);
        EXPECT_EQ(b, 50);
    }
    {
        Dlg dlg(nullptr, 640, 480);
        Run(dlg, [&] {
            dlg.Button(Dlg::IDC_WHITEBALANCE)->click();
            VekCameraSetGain(10, 64, 20);
            dlg.close();
        });
        Gains(&r, &g, &b);
        EXPECT_EQ(r, 90);
        EXPECT_EQ(b, 50);
    }
}

TEST_F(WhiteBalanceWizardTest, TheViewsLivePictureRunsInTheWizardAndComesBackAfterIt) {
    auto view = StartView();
    ASSERT_TRUE(view);
    view->SetWizardFactory(&Dlg::Create);
    ASSERT_TRUE(PumpUntil([&] { return view->FramesShown() >= 2; }, 10000));
    uint64_t inWizard = 0;
    QSize asked;
    QTimer::singleShot(0, [&] {
        auto* dlg = dynamic_cast<Dlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            ADD_FAILURE() << "no wizard";
            return;
        }
        asked = QSize(dlg->Logic().PictureWidth(), dlg->Logic().PictureHeight());
        const uint64_t before = dlg->Display()->PaintedFrames();
        PumpUntil([&] { return dlg->Display()->PaintedFrames() >= before + 3; }, 10000);
        inWizard = dlg->Display()->PaintedFrames() - before;
        dlg->Button(Dlg::IDC_WHITEBALANCE)->click();
        dlg->Button(Dlg::IDC_FINISH)->click();
    });
    EXPECT_EQ(view->WhiteBalanceWizard(), QDialog::Accepted);
    EXPECT_GE(inWizard, 3u);
    EXPECT_EQ(asked, view->Display()->size());
    const uint64_t own = view->Display()->PaintedFrames();
    EXPECT_TRUE(PumpUntil([&] { return view->Display()->PaintedFrames() > own + 2; }, 10000))
        << "the view's own display shows the picture again";
    view->Shutdown(&settings_);
}

}  // namespace
