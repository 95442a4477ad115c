// The live view base on its own, with a view whose "threads" the test switches: nothing is cut,
// laid out or recorded before the view streams; a cut region is aligned, laid out at its aspect
// and recorded at its size; a recording closed at once is announced to the main window.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <vector>

#include "capture/cameradisplay.h"
#include "capture/framesource.h"
#include "capture/liveview.h"
#include "test_cameraview_support.h"
#include "ui/messages.h"
#include "video/avifile.h"

namespace {

// A source whose "threads" the test switches on.
class TestSource : public IFrameSource {
public:
    bool Running() const override { return streaming; }
    bool CanRecord() const override { return streaming; }
    void ChooseRecordRate(CAviFile& avi) const override { avi.SetRate(10 * 1000000); }
    bool streaming = false;
};

class TestLiveView : public CLiveView {
public:
    TestLiveView()
        : CLiveView(nullptr,
                    Style{.mapOnlyShown = false, .recordTimeLimit = false},
                    source) {}
    void Begin(int w, int h) {
        SetFrameSize(w, h, static_cast<size_t>(w) * h * 3);
        source.streaming = true;
        m_byRunState = kRun;
        LayoutDisplay();
    }
    void Feed(const BYTE* frame) { RecordFrame(frame); }
    TestSource source;
};

TEST(LiveView, NothingIsCutLaidOutOrRecordedBeforeItStreams) {
    TestLiveView view;
    view.resize(400, 300);
    FixedChooser chooser(view.Display(), RECT{0, 0, 10, 10});
    view.SetRegionChooser(&chooser);
    EXPECT_FALSE(view.Display()->isVisibleTo(&view));
    EXPECT_EQ(view.CutRegion(), 0);
    EXPECT_EQ(chooser.calls, 0);
    QTemporaryDir dir;
    EXPECT_EQ(view.StartRecording(dir.filePath("a.avi"), nullptr), 0);
    EXPECT_FALSE(view.IsRecording());
}

TEST(LiveView, ACutRegionIsAlignedLaidOutRecordedAndAnnounced) {
    RecordingWindow main;
    TestLiveView view;
    view.SetMainWindow(main.GetSafeHwnd());
    view.resize(640, 480);
    view.Begin(64, 48);
    EXPECT_EQ(view.Display()->geometry(), QRect(0, 0, 640, 480));
    // 10 display pixels to one image pixel: (1, 1)-(5, 3), already 4 wide and 2 high.
    FixedChooser chooser(view.Display(), RECT{10, 10, 50, 30});
    view.SetRegionChooser(&chooser);
    ASSERT_EQ(view.CutRegion(), 1);
    const RECT r = view.SourceRect();
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{1, 1, 5, 3}));
    EXPECT_EQ(view.Display()->geometry(), QRect(0, 80, 640, 320)) << "the region's 2:1, centred";

    QTemporaryDir dir;
    const QString path = dir.filePath("cut.avi");
    ASSERT_EQ(view.StartRecording(path, nullptr), 1);
    const std::vector<BYTE> frame(64 * 48 * 3, 90);
    view.Feed(frame.data());
    view.Feed(frame.data());
    EXPECT_EQ(view.RecordedFrames(), 2);
    view.RestoreRegion();
    EXPECT_TRUE(view.IsCropped()) << "the region stays while recording";
    EXPECT_EQ(view.StopRecording(), 1);
    EXPECT_FALSE(view.AviFile().IsOpen());
    ASSERT_TRUE(PumpUntil([&] { return main.Count(WM_CAMERA_FILESAVED) == 1; }, 10000));
    EXPECT_EQ(main.Of(WM_CAMERA_FILESAVED)[0].text, path.toStdString());
    view.RestoreRegion();
    EXPECT_FALSE(view.IsCropped());
}

}  // namespace
