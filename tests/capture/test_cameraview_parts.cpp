// The camera view's pieces that need no camera: the cut-region alignment, the mean brightness
// of a full-resolution frame, the background correction, the area white balance's demosaic
// and means, and texts posted to windows that may be gone.
#include <gtest/gtest.h>

#include <vector>

#include "capture/areawhitebalance.h"
#include "capture/backcorrection.h"
#include "capture/camerasettings.h"
#include "capture/cameraview.h"
#include "capture/postedtext.h"
#include "ui/messages.h"
#include "test_cameraview_support.h"

namespace {

bool Aligned(const RECT& r) { return (r.right - r.left) % 4 == 0 && (r.bottom - r.top) % 2 == 0; }

TEST(CameraViewRegion, CutRegionsAreWidenedToWholeBlocks) {
    // Widening moves the left and top edges first, then the right and bottom.
    RECT r = CCameraView::AlignCutRegion(RECT{10, 11, 15, 14}, 640, 480);
    EXPECT_EQ(r.left, 7);
    EXPECT_EQ(r.right, 15);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.bottom, 14);
    r = CCameraView::AlignCutRegion(RECT{0, 0, 5, 3}, 640, 480);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 8);
    EXPECT_EQ(r.bottom, 4);
    // A frame whose own width leaves no room: the region ends narrower instead of looping.
    r = CCameraView::AlignCutRegion(RECT{0, 0, 642, 481}, 642, 481);
    EXPECT_TRUE(Aligned(r));
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    for (int w = 1; w < 12; ++w)
        for (int l = 0; l + w <= 13; ++l) {
            const RECT a = CCameraView::AlignCutRegion(RECT{l, 0, l + w, 1}, 13, 3);
            EXPECT_TRUE(Aligned(a));
            EXPECT_GE(a.left, 0);
            EXPECT_LE(a.right, 13);
            EXPECT_LE(a.bottom, 3);
        }
}

TEST(CameraViewBrightness, AFullResolutionFrameDoesNotOverflow) {
    // 3664 x 2740 bytes of 250 sum to about 2.5e9, past a 32-bit int.
    std::vector<BYTE> raw(size_t{3664} * 2740, 250);
    EXPECT_EQ(CCameraView::MeanBrightness(raw.data(), raw.size()), 250);
    std::vector<BYTE> black(1000, 0);
    EXPECT_EQ(CCameraView::MeanBrightness(black.data(), black.size()), 1) << "at least 1";
    EXPECT_EQ(CCameraView::MeanBrightness(nullptr, 10), 1);
}

TEST(CameraViewBackCorrection, PointsOffTheFrameAndZeroPercentsAreSkipped) {
    const int w = 4, h = 3;
    std::vector<BYTE> rgb(w * h * 3, 100);
    const BackCorrPoint points[] = {
        {1, 1, {50, 200, 25}, 0},   // halves become doubles: 200, 50, 255 (limited)
        {-1, 0, {10, 10, 10}, 0},   // off the frame
        {4, 0, {10, 10, 10}, 0},
        {0, 3, {10, 10, 10}, 0},
        {2, 2, {0, 50, 0}, 0},      // only channel 1 is valid
    };
    const std::vector<BYTE> before = rgb;
    ApplyBackCorrection(rgb.data(), w, h, points, 5);
    const BYTE* p = &rgb[(1 * w + 1) * 3];
    EXPECT_EQ(p[0], 200);
    EXPECT_EQ(p[1], 50);
    EXPECT_EQ(p[2], 255);
    const BYTE* q = &rgb[(2 * w + 2) * 3];
    EXPECT_EQ(q[0], 100);
    EXPECT_EQ(q[1], 200);
    EXPECT_EQ(q[2], 100);
    int changed = 0;
    for (size_t i = 0; i < rgb.size(); ++i)
        changed += rgb[i] != before[i];
    EXPECT_EQ(changed, 4) << "nothing else was touched";
}

TEST(CameraViewWhiteBalance, AreaMeansFollowTheBayerPattern) {
    // A flat field of pattern 2 (rows: G R / B G) with R 200, G 100, B 50.
    const int w = 16, h = 12;
    std::vector<BYTE> raw(w * h), rgb(w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool evenRow = (y & 1) == 0, evenCol = (x & 1) == 0;
            raw[y * w + x] = evenRow == evenCol ? 100 : (evenRow ? 200 : 50);
        }
    const ChannelMeans m = AreaChannelMeans(raw.data(), rgb.data(), w, h, 2, RECT{2, 2, 14, 10});
    EXPECT_EQ(m.m0, 50);
    EXPECT_EQ(m.m1, 100);
    EXPECT_EQ(m.m2, 200);
    // The gains the view derives: red m1 x 64 / m2, blue m1 x 64 / m0.
    EXPECT_EQ(m.m1 * 64 / m.m2, 32);
    EXPECT_EQ(m.m1 * 64 / m.m0, 128);
    // The border is cleared, and pattern 4 places nothing.
    EXPECT_EQ(rgb[0], 0);
    const ChannelMeans none = AreaChannelMeans(raw.data(), rgb.data(), w, h, 4, RECT{2, 2, 14, 10});
    EXPECT_EQ(none.m0 + none.m1 + none.m2, 3);
}

TEST(CameraViewPostedText, ACopyReachesItsTargetAndIsFreedWhenTheTargetIsGone) {
    RecordingWindow target;
    {
        auto gone = std::make_unique<RecordingWindow>();
        const HWND h = gone->GetSafeHwnd();
        ASSERT_TRUE(CPostedTextRelay::Post(h, WM_CAMERA_STATUSTEXT, 0, "lost"));
        gone.reset();  // the window closes before the message arrives
        EXPECT_FALSE(CPostedTextRelay::Post(h, WM_CAMERA_STATUSTEXT, 0, "refused"));
    }
    std::string text = "Frame Count:  1";
    ASSERT_TRUE(CPostedTextRelay::Post(target.GetSafeHwnd(), WM_CAMERA_FILESAVED, 1, text));
    text.assign("overwritten");  // the sender's storage changes; the posted copy does not
    ASSERT_TRUE(PumpUntil([] { return CPostedTextRelay::Pending() == 0; }, 2000));
    ASSERT_EQ(target.Count(WM_CAMERA_FILESAVED), 1);
    EXPECT_EQ(target.Of(WM_CAMERA_FILESAVED)[0].text, "Frame Count:  1");
    EXPECT_EQ(target.Of(WM_CAMERA_FILESAVED)[0].wParam, 1u);
}

}  // namespace
