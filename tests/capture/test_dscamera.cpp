// The webcam window over test-pattern devices (system devices hidden): opening and refusing
// devices, the brightness of a known pattern, snaps and a recording read back, "DS Bin", the
// profile keys and the device chooser.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "VideoDevice.h"
#include "ui/profile.h"
#include "ui/promptservice.h"
#include "video/avifile.h"
#include "capture/cameradisplay.h"
#include "capture/dscameraframe.h"
#include "capture/dscameraview.h"
#include "controls/progressdialog.h"
#include "camerathreadhold.h"
#include "capture/dscontrolstatic.h"
#include "capture/frameratemeter.h"
#include "capture/regionchooser.h"
#include "capture/saveconfigdlg.h"
#include "capture/snapsavepage.h"
#include "capture/videosavepage.h"
#include "capture/selectdscameradlg.h"
#include "controls/flatprogressctrl.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "imagelib/pximage.h"
#include "qodirectx.h"
#include "testcamerahost.h"
#include "eventpump.h"
#include "fakeprompts.h"
#include "scopedenv.h"

namespace {

// A chooser that answers with the left half of the allowed area.
class HalfChooser : public IRegionChooser {
public:
    bool ChooseRegion(const RECT& allowed, RECT* chosen) override {
        ++calls;
        *chosen = allowed;
        chosen->right = allowed.left + (allowed.right - allowed.left) / 2;
        return true;
    }
    int calls = 0;
};

void AddPattern(const char* name, std::vector<videodev::VideoSize> sizes, int intervalMs = 40, bool streams = true,
                bool busy = false) {
    videodev::TestPatternOptions o;
    o.friendlyName = name;
    o.sizes = std::move(sizes);
    o.frameIntervalMs = intervalMs;
    o.streams = streams;
    o.busy = busy;
    videodev::AddTestPatternDevice(o);
}

// True when every row of the image shows the moving bars of some frame, within `tolerance`
// per channel away from the bars' edges.
bool ShowsBars(PxImage& img, int w, int h, int tolerance) {
    if (static_cast<int>(img.GetWidth()) != w || static_cast<int>(img.GetHeight()) != h) return false;
    for (uint64_t n = 0; n < static_cast<uint64_t>(w); ++n) {
        bool all = true;
        for (int y = 0; y < h && all; y += std::max(1, h / 6)) {
            for (int x = 2; x < w - 2 && all; ++x) {
                BYTE px[3], left[3], right[3];
                videodev::TestPatternPixel(x, 0, w, n, px);
                videodev::TestPatternPixel(x - 2, 0, w, n, left);
                videodev::TestPatternPixel(x + 2, 0, w, n, right);
                if (memcmp(px, left, 3) || memcmp(px, right, 3)) continue;  // near an edge
                const RGBQUAD c = img.GetPixelColor(x, y);
                all = std::abs(c.rgbBlue - px[0]) <= tolerance && std::abs(c.rgbGreen - px[1]) <= tolerance &&
                      std::abs(c.rgbRed - px[2]) <= tolerance;
            }
        }
        if (all) return true;
    }
    return false;
}

class DSCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath("shots");
        env.Set("XDG_CONFIG_HOME", dir.filePath("config").toStdString());
        env.Set("HOME", dir.path().toStdString());
        prompts.AnswerOk();
        oldPrompts = CPromptService::Replace(&prompts);
        videodev::SetSystemDevicesHidden(true);
        videodev::RemoveTestPatternDevices();
        CProfile profile(ProfilePath());
        profile.WriteProfileString("FileSave", "sPath", Shots());
    }
    void TearDown() override {
        if (host) {
            if (CDSCameraFrame* f = Frame()) f->close();
            Pump(0);
            host.reset();
        }
        Pump(0);
        DSCameraStop();
        DSCameraUnInit();
        videodev::RemoveTestPatternDevices();
        CPromptService::Replace(oldPrompts);
        env.Restore();
    }
    QString ProfilePath() const { return dir.filePath("config/Quillory/Quillory.ini"); }
    QString Shots() const { return dir.filePath("shots/"); }

    CDSCameraFrame* Frame() const {
        return host ? dynamic_cast<CDSCameraFrame*>(host->Frame()) : nullptr;
    }
    // Opens the webcam window on a device as the main frame would after the chooser, and waits
    // until the opening on the camera thread has ended, opened or not.
    CDSCameraFrame* Open(BYTE device) {
        if (!host) host = std::make_unique<TestCameraHost>(ProfilePath());
        auto* f = new CDSCameraFrame(0, device, host->Host(), host.get());
        host->Adopt(f);
        f->LoadFrame();
        f->show();
        EXPECT_TRUE(PumpUntil([f] { return !f->IsOpening(); }));
        return f;
    }
    bool WaitFrames(CDSCameraFrame* f, uint64_t count) {
        const uint64_t start = f->View()->FramesGrabbed();
        return PumpUntil([&] { return f->View()->FramesGrabbed() >= start + count; });
    }
    const QStringList& Announced() const { return host->CameraFiles(); }
    // One snap through the file dialog; the path written or empty.
    QString SnapAs(CDSCameraFrame* f, int type, const QString& name) {
        f->Settings().snap.bConfig = 0;
        f->Settings().snap.uiFiletype = type;
        prompts.fileNames << dir.filePath("shots/" + name);
        const int before = Announced().size();
        EXPECT_TRUE(f->OnCommand(CDSCameraFrame::ID_CAMERA_SNAP));
        if (!PumpUntil([f] { return !f->IsSnapRunning(); })) return QString();
        return Announced().size() > before ? Announced().last() : QString();
    }

    QTemporaryDir dir;
    ScopedEnv env;
    FakePrompts prompts;
    CPromptService* oldPrompts = nullptr;
    std::unique_ptr<TestCameraHost> host;
};

TEST_F(DSCameraTest, OpensAStreamingDeviceWithLiveFramesAndTheBrightnessOfItsBars) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->IsOpen());
    EXPECT_TRUE(f->isWindow());
    EXPECT_EQ(f->Settings().nWidth, 64);
    EXPECT_EQ(f->Settings().nHeight, 48);
    ASSERT_TRUE(WaitFrames(f, 5));
    for (UINT id : {1230u, 1234u, 33004u, 33003u, 32983u, 32984u, 32999u, 33001u})
        EXPECT_TRUE(f->IsCommandEnabled(id)) << id;
    EXPECT_FALSE(f->Action(CDSCameraFrame::ID_VIDEO_RESTORE)->isVisible());
    EXPECT_EQ(f->Action(CDSCameraFrame::ID_DS_FILTER)->toolTip(), "Filter ");
    EXPECT_EQ(f->Action(CDSCameraFrame::ID_DS_BIN)->text(), "Bin");
    // Every bar covers 8 of the 64 columns whatever the frame: the weights of the eight bars
    // (white 2550, yellow 1785, cyan 2295, green 1530, magenta 1020, red 255, blue 765, black 0)
    // sum to 10200 per 8 pixels.
    const uint64_t sum = 10200ull * 8 * 48;
    const int expected = static_cast<int>(sum / (64 * 48 + 1) / 10);
    EXPECT_EQ(f->View()->LastBrightness(), expected);
    ASSERT_TRUE(PumpUntil([&] { return f->BrightnessBar()->GetPos() == static_cast<unsigned>(expected); }));
    // The display paints the frames on the GUI thread.
    ASSERT_TRUE(PumpUntil([&] { return f->View()->Display()->PaintedFrames() > 0; }));
    // The grab waits for the library's word of a new frame instead of polling: about one grab
    // per frame (a few more where a run-state change or a quiet spell woke it).
    // Frames keep coming for a while; the rate is measured, not asserted (the pattern sends
    // 25 a second: no more can be measured, fewer on a busy machine).
    const uint64_t grabbed = f->View()->FramesGrabbed();
    ASSERT_TRUE(PumpUntil([&] { return f->View()->FramesGrabbed() >= grabbed + 8; }, 30000));
    EXPECT_LE(f->View()->GrabCalls(), f->View()->FramesGrabbed() + 8);
    EXPECT_GT(f->View()->Fps(), 0.0);
    EXPECT_LT(f->View()->Fps(), 40.0);
    f->close();
    EXPECT_TRUE(PumpUntil([this] { return !Frame(); }));
}

TEST(DSCameraView, BrightnessSumsPastThirtyTwoBits) {
    std::vector<BYTE> white(1920 * 1080 * 3, 255);
    EXPECT_EQ(CDSCameraView::FrameBrightness(white.data(), 1920, 1080), static_cast<int>(2550ull * 1920 * 1080 / (1920 * 1080 + 1) / 10));
    std::vector<BYTE> frame(4 * 3, 0);
    frame[0] = 10;  // blue
    frame[4] = 10;  // green
    frame[8] = 10;  // red
    EXPECT_EQ(CDSCameraView::FrameBrightness(frame.data(), 4, 1), (30 + 60 + 10) / 5 / 10);
    EXPECT_EQ(CDSCameraView::FrameBrightness(nullptr, 4, 1), 0);
}

// A recording started soon after the device opens takes its rate from this meter.
TEST(FrameRateMeter, RateComesFromWholeIntervalsOnly) {
    CFrameRateMeter m;
    // A 10 fps device: the first frame seen had waited since an unknown moment, the second
    // came 30 ms after it; neither span is a frame interval.
    EXPECT_EQ(m.AddFrame(1070), 0.0);
    EXPECT_EQ(m.AddFrame(1100), 0.0);
    EXPECT_DOUBLE_EQ(m.AddFrame(1200), 10.0);
    // A frame seen a millisecond late or early moves the rate by little, and not for long.
    uint64_t t = 1200;
    for (int i = 0; i < 40; ++i) {
        t += 100 + (i % 2 ? 1 : -1);
        EXPECT_NEAR(m.AddFrame(t), 10.0, 0.2) << i;
    }
    // The device speeds up to 20 fps: followed once a window of the new intervals has passed.
    for (size_t i = 0; i < CFrameRateMeter::kWindow; ++i) m.AddFrame(t += 50);
    EXPECT_DOUBLE_EQ(m.Fps(), 20.0);
    // A frame seen twice in one tick is no interval.
    EXPECT_DOUBLE_EQ(m.AddFrame(t), 20.0);
    m.Reset();
    EXPECT_EQ(m.Fps(), 0.0);
    EXPECT_EQ(m.AddFrame(t + 5), 0.0);
}

TEST_F(DSCameraTest, BusyOrSilentDevicesAreReleasedAndLeaveTheCommandsDisabled) {
    AddPattern("Busy", {{32, 16}}, 40, true, true);
    AddPattern("Silent", {{32, 16}}, 40, false);
    AddPattern("Good", {{32, 16}});
    for (BYTE device : {BYTE{0}, BYTE{1}, BYTE{7}}) {
        CDSCameraFrame* f = Open(device);
        ASSERT_TRUE(f);
        EXPECT_FALSE(f->IsOpen()) << int(device);
        EXPECT_FALSE(f->View()->IsRunning());
        for (UINT id : {1230u, 1234u, 33004u, 33003u, 32983u})
            EXPECT_FALSE(f->Action(id)->isEnabled()) << id;
        prompts.fileNames << dir.filePath("shots/x.bmp");
        f->OnCommand(CDSCameraFrame::ID_CAMERA_SNAP);
        f->OnCommand(CDSCameraFrame::ID_CAMERA_RECORD);
        EXPECT_FALSE(f->IsSnapRunning());
        EXPECT_EQ(f->m_bRecording, 0);
        // The library holds nothing: another device opens at once.
        ASSERT_EQ(DSCameraInit(2, nullptr), 1) << int(device);
        DSCameraUnInit();
        prompts.fileNames.clear();
        f->close();
        ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));
    }
    EXPECT_TRUE(QDir(Shots()).entryList(QDir::Files).isEmpty());
}

// The file is written on the camera thread: held there, the window shows "Wait a moment!" and
// nothing is written or announced yet; released, the file is written and announced.
TEST_F(DSCameraTest, ASnapIsWrittenOffTheWindowUnderItsDialog) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    const QString path = dir.filePath("shots/held.bmp");
    auto waitDialogs = [f] {
        int n = 0;
        for (CProgressDialog* d : f->findChildren<CProgressDialog*>()) n += d->GetText() == "Wait a moment!";
        return n;
    };
    {
        CameraThreadHold hold;
        EXPECT_EQ(f->View()->Snap(path, kCaptureBmp), path);
        Pump(50);
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(waitDialogs(), 1);
    }
    ASSERT_TRUE(PumpUntil([&] { return waitDialogs() == 0; }));
    EXPECT_GT(QFileInfo(path).size(), 64 * 48 * 3);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(DSCameraTest, SnapsReadBackWithTheBarsInEachOfferedFormat) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    struct Case { int type; const char* name; int filterIndex; int tolerance; };
    for (Case c : {Case{kCaptureBmp, "a.bmp", 1, 0}, Case{kCaptureJpeg, "b.jpg", 2, 60}, Case{kCaptureTiff, "c.tiff", 3, 0}}) {
        const QString written = SnapAs(f, c.type, c.name);
        ASSERT_EQ(written, dir.filePath(QString("shots/") + c.name)) << c.name << prompts.messages.join(";").toStdString();
        const FileDialogRequest& r = prompts.requests.back();
        EXPECT_EQ(r.title, "camera snap files");
        EXPECT_EQ(QFileInfo(r.fileName).fileName(), "Pelidor");
        EXPECT_EQ(r.filters.size(), 3);  // no RAW
        EXPECT_EQ(r.filterIndex, c.filterIndex);
        PxImage img;
        ASSERT_TRUE(img.Load(written.toUtf8().constData(), 0)) << c.name;
        EXPECT_TRUE(ShowsBars(img, 64, 48, c.tolerance)) << c.name;
    }
    // A RAW snap (set up in the profile) is named for what it holds and not announced.
    const int before = Announced().size();
    f->Settings().snap.uiFiletype = kCaptureRaw;
    EXPECT_EQ(f->View()->Snap(dir.filePath("shots/d.bmp"), kCaptureRaw), dir.filePath("shots/d.raw"));
    EXPECT_TRUE(PumpUntil([&] { return QFileInfo(dir.filePath("shots/d.raw")).size() == 64 * 48 * 3; }));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("shots/d.bmp")));
    Pump(50);
    EXPECT_EQ(Announced().size(), before);
    // A missing folder: nothing written, nothing announced, the user told.
    prompts.messages.clear();
    EXPECT_TRUE(SnapAs(f, kCaptureBmp, "missing/e.bmp").isEmpty());
    EXPECT_TRUE(prompts.messages.contains("This path can't save image!"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("shots/missing")));
}

TEST_F(DSCameraTest, CutSnapsTheRegionAndRestoreTheWholeFrame) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    Pump(50);
    HalfChooser chooser;
    f->SetRegionChooser(&chooser);
    f->OnCommand(CDSCameraFrame::ID_VIDEO_CUT);
    ASSERT_EQ(chooser.calls, 1);
    ASSERT_TRUE(f->View()->IsCropped());
    EXPECT_FALSE(f->Action(CDSCameraFrame::ID_VIDEO_CUT)->isVisible());
    EXPECT_TRUE(f->Action(CDSCameraFrame::ID_VIDEO_RESTORE)->isVisible());
    const RECT r = f->View()->SourceRect();
    EXPECT_EQ((r.right - r.left) % 4, 0);
    EXPECT_LT(r.right - r.left, 64);
    const QString written = SnapAs(f, kCaptureBmp, "cut.bmp");
    ASSERT_FALSE(written.isEmpty());
    PxImage img;
    ASSERT_TRUE(img.Load(written.toUtf8().constData(), 0));
    EXPECT_EQ(static_cast<int>(img.GetWidth()), r.right - r.left);
    EXPECT_EQ(static_cast<int>(img.GetHeight()), r.bottom - r.top);
    f->OnCommand(CDSCameraFrame::ID_VIDEO_RESTORE);
    EXPECT_FALSE(f->View()->IsCropped());
    EXPECT_TRUE(f->Action(CDSCameraFrame::ID_VIDEO_CUT)->isVisible());
    EXPECT_FALSE(f->Action(CDSCameraFrame::ID_VIDEO_RESTORE)->isVisible());
}

TEST_F(DSCameraTest, ARecordingPlaysAtTheDeviceRateAndIsAnnouncedOnce) {
    AddPattern("Pattern", {{64, 48}}, 50);
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 12));
    const QString path = dir.filePath("shots/rec.avi");
    // A compressor that cannot be opened: the user is told, and nothing is recorded or announced.
    f->Settings().video.Compress = static_cast<int>(MakeFourCC('W', 'M', 'V', '3'));
    prompts.fileNames << path;
    const qsizetype told = prompts.messages.size();
    ASSERT_TRUE(f->OnCommand(CDSCameraFrame::ID_CAMERA_RECORD));
    EXPECT_EQ(f->m_bRecording, 0);
    ASSERT_EQ(prompts.messages.size(), told + 1);
    EXPECT_TRUE(prompts.messages.last().contains("\"WMV3\"")) << prompts.messages.last().toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    f->Settings().video.Compress = 0;
    prompts.fileNames << path;
    ASSERT_TRUE(f->OnCommand(CDSCameraFrame::ID_CAMERA_RECORD));
    ASSERT_EQ(f->m_bRecording, 1);
    EXPECT_EQ(QFileInfo(prompts.requests.back().fileName).fileName(), "Pelidor");
    const double fps = f->View()->Fps();
    ASSERT_TRUE(PumpUntil([f] { return f->View()->RecordedFrames() >= 10; }));
    EXPECT_TRUE(f->StatusText().startsWith("Frame Count: "));
    // DS Bin is refused while recording.
    f->OnCommand(CDSCameraFrame::ID_DS_BIN);
    EXPECT_FALSE(prompts.dialogs.contains("Resolution"));
    f->OnCommand(CDSCameraFrame::ID_CAMERA_RECORD);
    EXPECT_EQ(f->m_bRecording, 0);
    ASSERT_TRUE(PumpUntil([this, &path] { return Announced().contains(path); }));
    EXPECT_EQ(Announced().count(path), 1);
    EXPECT_EQ(f->View()->AviFile().Rate(), static_cast<DWORD>(std::max(1, static_cast<int>(fps + 0.9))) * 1000000u);
    EXPECT_EQ(f->View()->AviFile().Scale(), 1000000u);

    AVFormatContext* ctx = nullptr;
    ASSERT_EQ(avformat_open_input(&ctx, path.toUtf8().constData(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(ctx, nullptr), 0);
    ASSERT_GE(ctx->nb_streams, 1u);
    const AVRational rate = ctx->streams[0]->r_frame_rate;
    const double played = av_q2d(rate);
    // The file plays at the live rate the view measured, rounded up.
    EXPECT_EQ(played, static_cast<double>(std::max(1, static_cast<int>(fps + 0.9))));
    EXPECT_GT(played, 10.0);
    EXPECT_LT(played, 30.0);
    EXPECT_EQ(ctx->streams[0]->codecpar->width, 64);
    avformat_close_input(&ctx);
    CAviFile reader;
    ASSERT_EQ(reader.OpenForRead(path.toStdString()), 1);
    int n = 0;
    while (reader.ReadFrame(n)) ++n;
    EXPECT_GE(n, 10);
}

TEST_F(DSCameraTest, DSBinSwitchesToTheChosenSizeAndKeepsStreaming) {
    AddPattern("Pattern", {{64, 48}, {32, 24}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    // Cancelled: the same size, still streaming.
    f->OnCommand(CDSCameraFrame::ID_DS_BIN);
    EXPECT_EQ(prompts.dialogs.count("Resolution"), 1);
    EXPECT_EQ(f->View()->ImageWidth(), 64);
    ASSERT_TRUE(WaitFrames(f, 2));
    QStringList offered;
    prompts.onDialog = [&offered](QDialog* d) {
        auto* combo = d->findChild<QComboBox*>("sizes");
        if (!combo) return int(QDialog::Rejected);
        for (int i = 0; i < combo->count(); ++i) offered << combo->itemText(i);
        combo->setCurrentIndex(1);
        return int(QDialog::Accepted);
    };
    f->OnCommand(CDSCameraFrame::ID_DS_BIN);
    EXPECT_EQ(offered, QStringList({"64 x 48", "32 x 24"}));
    EXPECT_EQ(f->View()->ImageWidth(), 32);
    EXPECT_EQ(f->View()->ImageHeight(), 24);
    EXPECT_EQ(f->Settings().nWidth, 32);
    const RECT r = f->View()->SourceRect();
    EXPECT_EQ(r.right, 32);
    EXPECT_EQ(r.bottom, 24);
    ASSERT_TRUE(WaitFrames(f, 3));
    const int expected = static_cast<int>(10200ull * 4 * 24 / (32 * 24 + 1) / 10);
    EXPECT_EQ(f->View()->LastBrightness(), expected);
    const QString written = SnapAs(f, kCaptureBmp, "small.bmp");
    PxImage img;
    ASSERT_TRUE(img.Load(written.toUtf8().constData(), 0));
    EXPECT_TRUE(ShowsBars(img, 32, 24, 0));
}

TEST_F(DSCameraTest, FilterAppliesTheDeviceControlAtOnce) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    const int before = f->View()->LastBrightness();
    prompts.onDialog = [](QDialog* d) {
        auto* slider = d->findChild<QSlider*>("Brightness");
        if (slider) slider->setValue(0);
        return int(QDialog::Rejected);
    };
    f->OnCommand(CDSCameraFrame::ID_DS_FILTER);
    ASSERT_EQ(prompts.dialogs.count("Filter"), 1);
    ASSERT_TRUE(PumpUntil([f, before] { return f->View()->LastBrightness() < before * 3 / 4; }));
}

TEST_F(DSCameraTest, SaveKeysAreReadAtOpenAndWrittenBackAtClose) {
    {
        CProfile p(ProfilePath());
        p.WriteProfileInt("FileSave", "nCount", 5);
        p.WriteProfileInt("FileSave", "uiFiletype", 8);
        p.WriteProfileInt("FileSave", "nSpace", 99999);  // out of range: the default
        p.WriteProfileInt("VideoSave", "CompressID", 3);
        p.WriteProfileString("VideoSave", "sFilename", "../escape");
        p.WriteProfileInt("VideoSave", "TimeLimit", 23);  // the hub camera window's limit
    }
    AddPattern("Pattern", {{32, 16}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    EXPECT_EQ(f->Settings().snap.nCount, 5);
    EXPECT_EQ(f->Settings().snap.uiFiletype, 8);
    EXPECT_EQ(f->Settings().snap.nSpace, 0);
    EXPECT_EQ(f->Settings().video.CompressID, 3);
    EXPECT_EQ(f->Settings().video.TimeLimit, 23);
    EXPECT_EQ(f->Settings().video.sFilename, "Brellan");
    EXPECT_EQ(f->Settings().snap.sPath, Shots().toStdString());
    f->Settings().video.TimeLimit = 7;
    f->Settings().snap.bLapse = 1;
    f->close();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));
    CProfile p(ProfilePath());
    EXPECT_EQ(p.GetProfileInt("FileSave", "nCount", 0), 5);
    EXPECT_EQ(p.GetProfileInt("FileSave", "nSpace", -1), 0);
    EXPECT_EQ(p.GetProfileInt("FileSave", "bLapse", 0), 1);
    EXPECT_EQ(p.GetProfileInt("VideoSave", "TimeLimit", 0), 7);
    EXPECT_EQ(p.GetProfileString("VideoSave", "sFilename"), "Brellan");
    EXPECT_EQ(p.GetProfileString("FileSave", "sPath"), Shots());
    EXPECT_EQ(p.GetProfileInt("VideoSave", "bTimeStamp", -1), 1);
}

TEST_F(DSCameraTest, ConfigItemsOpenTheSaveDialogWithoutResolutionAndOkNamesTheNextSnap) {
    AddPattern("Pattern", {{64, 48}});
    CDSCameraFrame* f = Open(0);
    ASSERT_TRUE(f && f->IsOpen());
    ASSERT_TRUE(WaitFrames(f, 3));
    f->Settings().snap.bConfig = 0;
    f->Settings().snap.bTimeStamp = 1;

    // The Snap drop-down's item: page 0, no "Resolution" tab, the window busy meanwhile.
    QToolButton* snapButton = f->Button(CDSCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(snapButton && snapButton->menu());
    EXPECT_TRUE(snapButton->menu()->actions().contains(f->Action(CDSCameraFrame::ID_SNAP_CONFIG)));
    f->Action(CDSCameraFrame::ID_SNAP_CONFIG)->trigger();
    QPointer<CSaveConfigDlg> dlg = f->SaveConfigDlg();
    ASSERT_TRUE(dlg);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->windowTitle(), "Config Property of Save");
    ASSERT_EQ(dlg->Tabs()->count(), 2);
    EXPECT_EQ(dlg->Tabs()->tabText(0), "Snap");
    EXPECT_EQ(dlg->Tabs()->tabText(1), "Video");
    EXPECT_FALSE(dlg->ResolutionPage());
    EXPECT_EQ(dlg->Tabs()->currentIndex(), 0);
    EXPECT_EQ(f->Mode(), CDSCameraFrame::kModeSaveConfig);
    // Busy with the dialog: "DS Bin" and a second open do nothing.
    f->OnCommand(CDSCameraFrame::ID_DS_BIN);
    EXPECT_TRUE(prompts.dialogs.isEmpty());
    f->OnCommand(CDSCameraFrame::ID_RECORD_CONFIG);
    EXPECT_EQ(f->SaveConfigDlg(), dlg.data());

    // Name snaps from the settings: prefix "plate", no time stamp, TIFF; a folder browsed to.
    CSnapSavePage* page = dlg->SnapPage();
    EXPECT_EQ(page->Folder()->text(), Shots());
    page->ConfigRadio()->click();
    ASSERT_TRUE(page->TimeStamp()->isChecked());
    page->TimeStamp()->click();
    page->Prefix()->setText("plate");
    page->FileType()->setCurrentIndex(2);
    prompts.folders << dir.filePath("browsed");
    page->Browse()->click();
    auto* ok = dlg->findChild<QPushButton*>("1067");
    ASSERT_TRUE(ok);
    ok->click();
    EXPECT_FALSE(f->SaveConfigDlg());
    EXPECT_EQ(f->Mode(), CDSCameraFrame::kModeIdle);
    Pump(0);
    EXPECT_TRUE(dlg.isNull()) << "the closed dialog is deleted";
    const CameraSettings& s = f->Settings();
    EXPECT_EQ(s.snap.bConfig, 1);
    EXPECT_EQ(s.snap.bTimeStamp, 0);
    EXPECT_EQ(s.snap.sFilename, "plate");
    EXPECT_EQ(s.snap.uiFiletype, kCaptureTiff);
    EXPECT_EQ(s.snap.sPath, dir.filePath("browsed").toStdString());

    // The next snap asks for no file and is named from the settings in the chosen folder.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("browsed")));
    const size_t requests = prompts.requests.size();
    const int before = Announced().size();
    ASSERT_TRUE(f->OnCommand(CDSCameraFrame::ID_CAMERA_SNAP));
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }));
    EXPECT_EQ(prompts.requests.size(), requests);
    ASSERT_EQ(Announced().size(), before + 1);
    EXPECT_EQ(Announced().last(), dir.filePath("browsed/plate.tiff"));
    PxImage img;
    ASSERT_TRUE(img.Load(Announced().last().toUtf8().constData(), 0));
    EXPECT_TRUE(ShowsBars(img, 64, 48, 0));

    // The Record item opens the Video page; Cancel puts the record back.
    f->Action(CDSCameraFrame::ID_RECORD_CONFIG)->trigger();
    dlg = f->SaveConfigDlg();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->Tabs()->currentIndex(), 1);
    dlg->SnapPage()->Prefix()->setText("other");
    dlg->VideoPage()->ConfigRadio()->click();
    dlg->findChild<QPushButton*>("1031")->click();
    Pump(0);
    EXPECT_TRUE(dlg.isNull());
    EXPECT_EQ(f->Settings().snap.sFilename, "plate");
    EXPECT_EQ(f->Settings().video.bConfig, 0);
    EXPECT_EQ(f->Mode(), CDSCameraFrame::kModeIdle);

    // Closing the window with the dialog open: the dialog goes, its edits unstored, and the
    // keys the dialog stored before are written back.
    f->Action(CDSCameraFrame::ID_SNAP_CONFIG)->trigger();
    dlg = f->SaveConfigDlg();
    ASSERT_TRUE(dlg);
    dlg->SnapPage()->Prefix()->setText("unstored");
    f->close();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));
    Pump(0);
    EXPECT_TRUE(dlg.isNull());
    CProfile p(ProfilePath());
    EXPECT_EQ(p.GetProfileString("FileSave", "sFilename"), "plate");
    EXPECT_EQ(p.GetProfileInt("FileSave", "bConfig", -1), 1);
    EXPECT_EQ(p.GetProfileInt("FileSave", "uiFiletype", -1), kCaptureTiff);
}

TEST_F(DSCameraTest, TheChooserListsDevicesInOrderWithNothingSelected) {
    AddPattern("First", {{32, 16}});
    AddPattern("", {{32, 16}});
    CSelectDSCameraDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Select DSCamera");
    ASSERT_EQ(dlg.Combo()->count(), 2);
    EXPECT_EQ(dlg.Combo()->itemText(0), "First");
    EXPECT_EQ(dlg.Combo()->itemText(1), "testpattern:1");
    EXPECT_EQ(dlg.Combo()->currentIndex(), -1);
    dlg.accept();
    EXPECT_EQ(dlg.m_nDevice, -1);
    dlg.Combo()->setCurrentIndex(1);
    dlg.accept();
    EXPECT_EQ(dlg.m_nDevice, 1);
}

TEST(DSControlStatic, SizesToItsCaptionAndAtLeastTwentyTwoAcross) {
    CDSControlStatic c("Caption text");
    const QSize h = c.sizeHint();
    EXPECT_GE(h.height(), 22);
    EXPECT_EQ(h.width(), QFontMetrics(c.font()).horizontalAdvance("Caption text"));
    c.SetVertical(true);
    EXPECT_EQ(c.sizeHint(), QSize(h.height(), h.width()));
    c.SetCaption("");
    EXPECT_GE(c.sizeHint().width(), 22);
}

}  // namespace
