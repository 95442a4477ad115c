// The camera window's logic without a camera: background-correction data, the window's place,
// the give-up rule of software auto exposure, exposure changes, profile values, and the snap
// thread under real timing.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ui/profile.h"
#include "capture/cameraframecontroller.h"
#include "capture/cameratables.h"
#include "capture/camerasnapthread.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "platform/le.h"
#include "eventpump.h"
#include "platform/clock.h"

namespace {

// Runs each test in a temporary working directory: the correction files live there.
class InWorkDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        old = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(old); }
    static void WriteFile(const QString& name, const QByteArray& data) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    static QByteArray Point(int32_t x, int32_t y, BYTE p0, BYTE p1, BYTE p2) {
        QByteArray b(12, '\0');
        auto* p = reinterpret_cast<uint8_t*>(b.data());
        le::put32(p, static_cast<uint32_t>(x));
        le::put32(p + 4, static_cast<uint32_t>(y));
        p[8] = p0;
        p[9] = p1;
        p[10] = p2;
        p[11] = 0x7F;  // never read
        return b;
    }
    QTemporaryDir dir;
    QString old;
};

using BackCorrectionData = InWorkDir;

TEST_F(BackCorrectionData, UsesOnlyWholeRecordsInsideTheFrameWithNonZeroPercents) {
    WriteFile("BackCorr.ini", "[CAMERA_28]\n640_480=50\n");
    QByteArray data = Point(0, 0, 100, 90, 80) + Point(639, 479, 50, 50, 50) + Point(640, 10, 100, 100, 100) +
                      Point(-1, 5, 100, 100, 100) + Point(5, 480, 100, 100, 100) + Point(10, 10, 0, 100, 100) +
                      Point(20, 30, 200, 150, 120);
    data += QByteArray(7, '\x11');  // a torn last record
    WriteFile("Camera_28_640_480.bin", data);

    const auto r = CCameraFrameController::ReadBackCorrection(28, 640, 480);
    EXPECT_EQ(r.declared, 50);
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_EQ(r.points[0].x, 0);
    EXPECT_EQ(r.points[0].percent[1], 90);
    EXPECT_EQ(r.points[1].x, 639);
    EXPECT_EQ(r.points[1].y, 479);
    EXPECT_EQ(r.points[2].x, 20);
    EXPECT_EQ(r.points[2].y, 30);
    EXPECT_EQ(r.points[2].percent[2], 120);
}

TEST_F(BackCorrectionData, TheIniCountLimitsTheRecordsRead) {
    WriteFile("BackCorr.ini", "[CAMERA_28]\n640_480=2\n");
    WriteFile("Camera_28_640_480.bin", Point(1, 1, 10, 10, 10) + Point(2, 2, 10, 10, 10) + Point(3, 3, 10, 10, 10));
    const auto r = CCameraFrameController::ReadBackCorrection(28, 640, 480);
    ASSERT_EQ(r.points.size(), 2u);
    EXPECT_EQ(r.points[1].x, 2);
}

TEST_F(BackCorrectionData, BrokenOrMissingDataGivesNoPoints) {
    // No ini file at all.
    EXPECT_TRUE(CCameraFrameController::ReadBackCorrection(28, 640, 480).points.empty());
    // Another size, a negative or unreadable count, a missing or empty data file.
    WriteFile("Camera_28_640_480.bin", Point(1, 1, 10, 10, 10));
    for (const char* ini : {"[CAMERA_28]\n320_240=1\n", "[CAMERA_28]\n640_480=-4\n", "[CAMERA_28]\n640_480=many\n",
                            "[CAMERA_27]\n640_480=1\n"}) {
        WriteFile("BackCorr.ini", ini);
        EXPECT_TRUE(CCameraFrameController::ReadBackCorrection(28, 640, 480).points.empty()) << ini;
    }
    WriteFile("BackCorr.ini", "[CAMERA_28]\n640_480=1\n");
    QFile::remove("Camera_28_640_480.bin");
    EXPECT_TRUE(CCameraFrameController::ReadBackCorrection(28, 640, 480).points.empty());
    WriteFile("Camera_28_640_480.bin", QByteArray());
    EXPECT_TRUE(CCameraFrameController::ReadBackCorrection(28, 640, 480).points.empty());
    // A folder where the data file should be.
    QFile::remove("Camera_28_640_480.bin");
    ASSERT_TRUE(QDir().mkdir("Camera_28_640_480.bin"));
    EXPECT_TRUE(CCameraFrameController::ReadBackCorrection(28, 640, 480).points.empty());
}

TEST(CameraWindowLayout, FitsTheScreenKeepsTheAspectAndStaysOnIt) {
    const QRect screen(0, 0, 1920, 1080);
    QRect r = CCameraFrameController::WindowLayout(640, 480, screen, 90);
    EXPECT_EQ(r.size(), QSize(640 + 46, 480 + 90 + 6));
    EXPECT_EQ(r.center().x(), screen.center().x());
    // Too large: scaled down, 4:3 kept, inside the screen.
    r = CCameraFrameController::WindowLayout(2592, 1944, screen, 90);
    EXPECT_LE(r.height(), 1080);
    EXPECT_NEAR((r.width() - 46) * 3.0 / 4.0, r.height() - 96, 2.0);
    EXPECT_TRUE(screen.contains(r));
    // A hub that fails to report a size gives the 640 x 480 layout; a small screen never places
    // the window at a negative position.
    EXPECT_EQ(CCameraFrameController::WindowLayout(0, 0, screen, 90).size(), QSize(686, 576));
    r = CCameraFrameController::WindowLayout(640, 480, QRect(0, 0, 300, 200), 90);
    EXPECT_GE(r.left(), 0);
    EXPECT_GE(r.top(), 0);
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    CProfile profile{dir.filePath("Quillory.ini")};
};

TEST_F(ControllerTest, SoftwareAutoExposureGoesOffOnlyWhenTheSearchGivesUp) {
    CCameraFrameController c(10, 0, profile);
    CameraSettings& s = c.Settings();
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    ASSERT_TRUE(s.bSoftwareAe);
    s.nOpenState = 0;
    s.aeState.nValue = 1;
    s.aeTarget.nValue = 0;  // brightness 100

    // Within tolerance: no change, auto exposure stays on.
    s.nAeAverage = 100;
    EXPECT_FALSE(c.OnFrame(104));
    EXPECT_EQ(s.aeState.nValue, 1);

    // A bright scene at the floor exposure and lowest gain: the search gives up.
    s.nAeAverage = 250;
    s.nExposureMs = s.nAeExpFloor;
    s.exposure.nValue = s.nAeExpFloor;
    s.analogGain.nValue = s.nAeGainMin;
    EXPECT_TRUE(c.OnFrame(250));
    EXPECT_EQ(s.aeState.nValue, 0);
    EXPECT_EQ(s.nAeAverage, 0);
    // Off now: later frames leave it alone.
    EXPECT_FALSE(c.OnFrame(250));
}

TEST_F(ControllerTest, ExposureEqualToTheCurrentOneDoesNothingAndOtherIdsOnlyStoreIt) {
    CCameraFrameController c(2, 0, profile);
    CameraSettings& s = c.Settings();
    s.nExposureMs = 40;
    s.exposure.nValue = 40;
    c.SetExposure(40);
    EXPECT_EQ(s.nExposureMs, 40);
    c.SetExposure(75);
    EXPECT_EQ(s.nExposureMs, 75);
    EXPECT_EQ(s.exposure.nValue, 40) << "no camera call, no read-back";
    // Long-exposure values are table indexes; one beyond the table is limited to it.
    CCameraFrameController lx(2, 1, profile);
    lx.SetExposure(500);
    EXPECT_EQ(lx.Settings().nExposureMs, ExposureMsFromIndex(99));
}

TEST_F(ControllerTest, ProfileValuesOutOfRangeReadAsDefaultsAndSavedValuesComeBack) {
    profile.WriteProfileInt("FileSave", "uiFiletype", 3);
    profile.WriteProfileInt("FileSave", "nCount", 0);
    profile.WriteProfileInt("FileSave", "nSpace", -5);
    profile.WriteProfileString("FileSave", "sFilename", "../../etc/x");
    profile.WriteProfileInt("VideoSave", "TimeLimit", 99);
    profile.WriteProfileInt("LumoProf28", "Preview", 4000);
    profile.WriteProfileInt("FileSave", "bLapse", 1);
    CCameraFrameController c(28, 0, profile);
    c.LoadProfile();
    CameraSettings& s = c.Settings();
    EXPECT_EQ(s.snap.uiFiletype, 2);
    EXPECT_EQ(s.snap.nCount, 1);
    EXPECT_EQ(s.snap.nSpace, 0);
    EXPECT_EQ(s.snap.sFilename, std::string("Brellan"));
    EXPECT_EQ(s.video.TimeLimit, 1);
    EXPECT_EQ(s.byPreviewRes, DefaultPreviewRes(28));
    EXPECT_EQ(s.snap.bLapse, 1);

    s.snap.nCount = 12;
    s.snap.nSpace = 30;
    s.snap.uiFiletype = 8;
    s.video.bTimeLimit = 1;
    s.byCaptureRes = 3;
    c.SaveProfile();
    CProfile reread(dir.filePath("Quillory.ini"));
    EXPECT_EQ(reread.GetProfileInt("FileSave", "nCount", 0), 12);
    EXPECT_EQ(reread.GetProfileInt("FileSave", "nSpace", 0), 30);
    EXPECT_EQ(reread.GetProfileInt("FileSave", "uiFiletype", 0), 8);
    EXPECT_EQ(reread.GetProfileInt("VideoSave", "bTimeLimit", 0), 1);
    EXPECT_EQ(reread.GetProfileInt("LumoProf28", "Capture", 0), 3);
}

// A stand-in window for the snap thread: counts shots and finishes each one after `shotMs`.
class ShotCounter : public QObject, public CMessageTarget {
public:
    explicit ShotCounter(CCameraSnapThread& thread) : m_thread(thread) { RegisterWindow(this); }
    ~ShotCounter() override { UnregisterWindow(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_CAMERA_SNAP) {
            shots.push_back(static_cast<int>(wParam));
            times.push_back(clock.elapsed());
            if (autoFinish) m_thread.SetSnapDone();
        } else if (message == WM_CAMERA_LAPSEDONE) {
            done++;
            m_thread.Finish();
        }
        return 0;
    }
    CCameraSnapThread& m_thread;
    std::vector<int> shots;
    std::vector<qint64> times;
    int done = 0;
    bool autoFinish = true;
    QElapsedTimer clock;
};

class FakeInterval : public CCameraSnapThread::IIntervalProgress {
public:
    void Show(bool v) override { shown += v ? 1 : 0; }
    void SetPos(int p) override { last = p; }
    bool IsCancelled() override { return cancel.load(); }
    void ClearCancelled() override { cancel.store(false); }
    std::atomic<int> shown{0}, last{-1};
    std::atomic<bool> cancel{false};
};

TEST(SnapThread, TimeLapseSpacesItsShotsByTheIntervalUnderRealTiming) {
    CCameraSnapThread thread;
    ShotCounter window(thread);
    FakeInterval interval;
    window.clock.start();
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 3, 1}, &interval));
    EXPECT_FALSE(thread.Start(window.GetSafeHwnd(), {true, false, 1, 0}, &interval)) << "one series at a time";
    ASSERT_TRUE(PumpUntil([&] { return window.done == 1; }, 30000));
    EXPECT_EQ(window.shots, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(window.times.size(), 3u);
    EXPECT_GE(window.times[1] - window.times[0], 990);
    EXPECT_GE(window.times[2] - window.times[1], 990);
    EXPECT_EQ(interval.shown.load(), 2);
    EXPECT_GT(interval.last.load(), 500) << "the per-mille of the interval";
    EXPECT_FALSE(thread.IsActive());
    // Back to back with no interval; a closed camera takes no shot but still ends the series.
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 4, 0}, &interval));
    ASSERT_TRUE(PumpUntil([&] { return window.done == 2; }, 5000));
    EXPECT_EQ(window.shots.size(), 7u);
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {false, true, 4, 0}, &interval));
    ASSERT_TRUE(PumpUntil([&] { return window.done == 3; }, 5000));
    EXPECT_EQ(window.shots.size(), 7u);
}

// The same series through the replaceable clock: a shot comes only once the clock has moved by
// the interval, and the interval's bar follows the clock, however fast the machine runs.
TEST(SnapThread, TimeLapseSpacesItsShotsByTheIntervalOfTheClock) {
    ManualClock clock;
    Clock* system = SetClock(&clock);
    CCameraSnapThread thread;
    ShotCounter window(thread);
    FakeInterval interval;
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 3, 1}, &interval));
    for (int shot = 1; shot <= 3; ++shot) {
        ASSERT_TRUE(PumpUntil([&] { return window.shots.size() == static_cast<size_t>(shot); }));
        if (shot == 3) break;
        ASSERT_TRUE(PumpUntil([&] { return interval.shown.load() == shot; }));
        clock.Advance(600);
        EXPECT_TRUE(PumpUntil([&] { return interval.last.load() >= 600; })) << "the per-mille of the interval";
        EXPECT_EQ(window.shots.size(), static_cast<size_t>(shot)) << "a shot before the interval's end";
        clock.Advance(400);
    }
    ASSERT_TRUE(PumpUntil([&] { return window.done == 1; }));
    EXPECT_EQ(window.shots, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(interval.shown.load(), 2);
    SetClock(system);
}

TEST(SnapThread, CancelEndsTheSeriesAndStopJoinsAThreadWaitingForAShot) {
    CCameraSnapThread thread;
    ShotCounter window(thread);
    FakeInterval interval;
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 5, 60}, &interval));
    ASSERT_TRUE(PumpUntil([&] { return interval.shown.load() == 1; }, 3000));
    interval.cancel.store(true);
    ASSERT_TRUE(PumpUntil([&] { return window.done == 1; }, 3000));
    EXPECT_EQ(window.shots.size(), 1u);

    // The window goes away while a shot is pending: Stop releases the gate and joins at once.
    window.autoFinish = false;
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 5, 0}, &interval));
    ASSERT_TRUE(PumpUntil([&] { return window.shots.size() == 2; }, 3000));
    QElapsedTimer t;
    t.start();
    thread.Stop();
    EXPECT_LT(t.elapsed(), 10000) << "the stop waited for the shot";
    EXPECT_FALSE(thread.IsActive());
    Pump(20);
    EXPECT_EQ(window.shots.size(), 2u) << "no shot after the stop";
}

TEST(SnapThread, TheIntervalShowsOnlyOnceTheShotIsOver) {
    // The shot has its own progress window: one window at a time.
    CCameraSnapThread thread;
    ShotCounter window(thread);
    window.autoFinish = false;
    FakeInterval interval;
    ASSERT_TRUE(thread.Start(window.GetSafeHwnd(), {true, true, 3, 60}, &interval));
    ASSERT_TRUE(PumpUntil([&] { return window.shots.size() == 1; }, 3000));
    Pump(100);
    EXPECT_EQ(interval.shown.load(), 0);
    thread.SetSnapDone();
    ASSERT_TRUE(PumpUntil([&] { return interval.shown.load() == 1; }, 3000));
    thread.Stop();
    EXPECT_FALSE(thread.IsActive());
}

}  // namespace
