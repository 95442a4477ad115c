#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "ferrocam/cameraengine.h"
#include "ferrocam/ferrocam.h"
#include "ferrocam/windowport.h"
#include "ferrotestsupport.h"
#include "platform/le.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_callbacks{0};
std::atomic<int> g_callbackWidth{0};

int CountingCallback(unsigned char*) {
    // The hub's callback asks for the image size from inside the pipeline: that must not block.
    int w = 0, h = 0;
    FerroCameraGetImageSize(&w, &h);
    g_callbackWidth.store(w);
    g_callbacks.fetch_add(1);
    return 1;
}

class Engine : public SimulatedCameraTest {
protected:
    void SetUp() override {
        SimulatedCameraTest::SetUp();
        g_callbacks.store(0);
        out_ = config_ / "out";
        fs::create_directories(out_);
    }
    void TearDown() override {
        FerroCameraStop();
        FerroCameraUnInit();
        SimulatedCameraTest::TearDown();
    }
    void InitAt(int mode) {
        ASSERT_EQ(FerroCameraInit(&CountingCallback, mode, nullptr, nullptr), CAMERA_OK);
        Settle();
        int w = 0, h = 0;
        FerroCameraGetImageSize(&w, &h);
        raw_.assign(2 * static_cast<size_t>(w) * h + 512, 0);
        rgb_.assign(static_cast<size_t>(w) * h * 3, 0);
    }
    int GrabGood() {
        for (int i = 0; i < 10; ++i) {
            int r = FerroCameraGrabFrame(raw_.data());
            if (r == CAMERA_OK)
                return r;
            Settle();
        }
        return CAMERA_NOFRAME;
    }
    std::string Base(const char* name) const { return (out_ / name).string(); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(out_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static int ReadTeamValue(int team, const char* name) {
        RegKey key;
        DWORD v = 0xFFFFFFFF;
        if (!key.Open(CCameraEngine::TeamKey(team)) || !key.ReadDword(name, v))
            return -1;
        return static_cast<int>(v);
    }

    fs::path out_;
    std::vector<BYTE> raw_, rgb_;
};

}  // namespace

TEST_F(Engine, EveryExportAnswersNoDeviceWithoutAnEngine) {
    int i = 0, j = 0;
    unsigned u = 0;
    unsigned char b = 0;
    uint16_t w16 = 0;
    float f = 0;
    int counts[256];
    unsigned char buf[16];
    const int results[] = {
        FerroCameraUnInit(), FerroCameraPlay(), FerroCameraPause(), FerroCameraStop(), FerroCameraGrabFrame(buf),
        FerroCameraDecode(buf, buf, 0, 0, 0), FerroCameraGetImageSize(&i, &j), FerroCameraCaptureFile("x", 1, 4),
        FerroCameraSetAeState(1), FerroCameraGetAeState(&i), FerroCameraSetAeTarget(1), FerroCameraGetAeTarget(&b),
        FerroCameraSetExposureTime(1), FerroCameraGetExposureTime(&u), FerroCameraGetRowTime(&f),
        FerroCameraSetAnalogGain(1), FerroCameraGetAnalogGain(&w16), FerroCameraSetAWBState(1),
        FerroCameraGetAWBState(&i), FerroCameraGetAWBStateResult(&i, &j), FerroCameraSetGain(1, 1, 1),
        FerroCameraGetGain(&i, &j, &i), FerroCameraSetGamma(1), FerroCameraGetGamma(&b), FerroCameraSetSaturation(1),
        FerroCameraGetSaturation(&b), FerroCameraSetColorEnhancement(1), FerroCameraGetColorEnhancement(&i),
        FerroCameraSetContrast(1), FerroCameraGetContrast(&b), FerroCameraSetMirror(0, 1), FerroCameraGetMirror(0, &i),
        FerroCameraSetMonochrome(1), FerroCameraGetMonochrome(&i), FerroCameraSetFrameSpeed(1),
        FerroCameraGetFrameSpeed(&b), FerroCameraSaveParameter(0), FerroCameraReadParameter(0),
        FerroCameraGetCurrentParameterTeam(&b), FerroCameraSetVideoMessage(1), FerroCameraDisplayEnable(1),
        FerroCameraCorrectionDead(), FerroCameraCalcFlatFielding(), FerroCameraGetCalcFlatFieldingState(&i, &j),
        FerroCameraSetFlatFieldingState(1), FerroCameraGetFlatFieldingState(&i), FerroCameraSetLevelsValues(1, 2),
        FerroCameraGetLevelsValues(&i, &j), FerroCameraSetAutoLevelsState(1), FerroCameraGetAutoLevelsState(&i),
        FerroCameraGetLevelsCounts(counts)};
    for (int r : results)
        EXPECT_EQ(r, CAMERA_NODEVICE);

    // No camera: Init fails and leaves no engine behind.
    SimCamUnplug();
    EXPECT_EQ(FerroCameraInit(nullptr, 4, nullptr, nullptr), CAMERA_NODEVICE);
    EXPECT_EQ(FerroCameraGetImageSize(&i, &j), CAMERA_NODEVICE);
}

TEST_F(Engine, GrabAndDecodeProduceAPictureAndCallTheCallback) {
    InitAt(4);
    int w = 0, h = 0;
    EXPECT_EQ(FerroCameraGetImageSize(&w, &h), CAMERA_OK);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    EXPECT_EQ(FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0), CAMERA_OK);
    EXPECT_EQ(g_callbacks.load(), 1);
    EXPECT_EQ(g_callbackWidth.load(), 640);
    // The field is lit in the middle and dark in the corners.
    auto lum = [&](int x, int y) {
        const BYTE* p = &rgb_[(static_cast<size_t>(y) * 640 + x) * 3];
        return p[0] + p[1] + p[2];
    };
    EXPECT_GT(lum(320, 240), lum(5, 5) + 30);
    // Edge rows repeat rows 3 and h - 4.
    EXPECT_EQ(std::memcmp(&rgb_[0], &rgb_[3 * 640 * 3], 640 * 3), 0);
    EXPECT_EQ(std::memcmp(&rgb_[479 * 640 * 3], &rgb_[476 * 640 * 3], 640 * 3), 0);

    // A second Init reuses the engine at the new mode.
    InitAt(3);
    FerroCameraGetImageSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    EXPECT_EQ(FerroCameraDecode(raw_.data(), rgb_.data(), 640, 480, 0), CAMERA_OK);
}

TEST_F(Engine, InjectedFaultsReachTheCaller) {
    InitAt(4);
    SimCamInjectFault(SimCamFault::EmptyRead);
    EXPECT_EQ(FerroCameraGrabFrame(raw_.data()), CAMERA_READFAIL);
    SimCamInjectFault(SimCamFault::BadHeader);
    EXPECT_EQ(FerroCameraGrabFrame(raw_.data()), CAMERA_BADHEADER);
    SimCamInjectFault(SimCamFault::TornFrame);
    EXPECT_EQ(FerroCameraGrabFrame(raw_.data()), CAMERA_TORNFRAME);
    SimCamSetButtonHeld(true);
    EXPECT_EQ(FerroCameraGrabFrame(raw_.data()), CAMERA_SNAPFRAME);
    SimCamSetButtonHeld(false);
    SimCamUnplug();
    EXPECT_EQ(FerroCameraGrabFrame(raw_.data()), CAMERA_READFAIL);
}

TEST_F(Engine, ByteGettersWriteOneByteAndSettersKeepTheirRanges) {
    InitAt(4);
    unsigned char four[4];
    auto reset = [&] { std::memset(four, 0xEE, sizeof four); };

    reset();
    FerroCameraSetAeTarget(250);
    FerroCameraGetAeTarget(four);
    EXPECT_EQ(four[0], 200);
    EXPECT_EQ(four[1], 0xEE);
    FerroCameraSetAeTarget(10);
    FerroCameraGetAeTarget(four);
    EXPECT_EQ(four[0], 40);
    FerroCameraSetAeTarget(300);  // only the low byte counts
    FerroCameraGetAeTarget(four);
    EXPECT_EQ(four[0], 44);

    reset();
    FerroCameraSetAnalogGain(64);
    FerroCameraGetAnalogGain(reinterpret_cast<uint16_t*>(four));
    EXPECT_EQ(le::get16(four), 64);
    EXPECT_EQ(four[2], 0xEE);

    reset();
    FerroCameraSetGamma(10);
    FerroCameraGetGamma(four);
    EXPECT_EQ(four[0], 20);
    EXPECT_EQ(four[1], 0xEE);

    // Saturation is ignored while monochrome is on.
    FerroCameraSetSaturation(90);
    FerroCameraSetMonochrome(1);
    EXPECT_EQ(FerroCameraSetSaturation(200), CAMERA_OK);
    reset();
    FerroCameraGetSaturation(four);
    EXPECT_EQ(four[0], 90);
    FerroCameraSetMonochrome(0);

    // Mirror: an unknown axis changes and reports nothing.
    FerroCameraSetMirror(1, 1);
    FerroCameraSetMirror(7, 1);
    int on = -5;
    FerroCameraGetMirror(1, &on);
    EXPECT_EQ(on, 1);
    on = -5;
    FerroCameraGetMirror(0, &on);
    EXPECT_EQ(on, 0);
    on = -5;
    FerroCameraGetMirror(2, &on);
    EXPECT_EQ(on, -5);

    int low = 0, high = 0;
    EXPECT_EQ(FerroCameraSetLevelsValues(10, 5), CAMERA_BADRANGE);
    EXPECT_EQ(FerroCameraSetLevelsValues(300, 400), CAMERA_OK);
    FerroCameraGetLevelsValues(&low, &high);
    EXPECT_EQ(low, 255);
    EXPECT_EQ(high, 255);
    FerroCameraSetAutoLevelsState(1);
    EXPECT_EQ(FerroCameraSetLevelsValues(10, 5), CAMERA_OK);
    FerroCameraGetLevelsValues(&low, &high);
    EXPECT_EQ(low, 255);
}

TEST_F(Engine, ExposureTimeRowsAndSpeed) {
    InitAt(4);
    float rowTime = 0;
    FerroCameraGetRowTime(&rowTime);
    EXPECT_NEAR(rowTime, 751 / 24.0, 1e-3);

    unsigned ms = 99;
    FerroCameraSetExposureTime(0);
    FerroCameraGetExposureTime(&ms);
    EXPECT_EQ(ms, 0u);

    FerroCameraSetExposureTime(100);
    FerroCameraGetExposureTime(&ms);
    EXPECT_EQ(ms, 100u);
    EXPECT_EQ(SimCamGetState().exposureRows, static_cast<int>((100000 + rowTime - 1) / rowTime));

    // Beyond the 16-bit register the rows stop at 65535 and the time reported is the real one.
    FerroCameraSetExposureTime(10000);
    EXPECT_EQ(SimCamGetState().exposureRows, 65535);
    FerroCameraGetExposureTime(&ms);
    EXPECT_EQ(ms, static_cast<unsigned>(65535 * static_cast<double>(rowTime) * 0.001));

    // A new speed keeps the exposure time.
    FerroCameraSetExposureTime(50);
    const int rows = SimCamGetState().exposureRows;
    FerroCameraSetFrameSpeed(0);
    unsigned char speed = 9;
    FerroCameraGetFrameSpeed(&speed);
    EXPECT_EQ(speed, 0);
    const double fast = 751 / 36.0;
    EXPECT_EQ(SimCamGetState().exposureRows, static_cast<int>((fast + rowTime * rows - 1) / fast));
    SimCamClearRequestLog();
    FerroCameraSetFrameSpeed(0);
    EXPECT_TRUE(SimCamRequestLog().empty());
}

TEST_F(Engine, WhiteBalanceRunsOnTheNextFrame) {
    InitAt(4);
    FerroCameraSetAWBState(1);
    int pending = 0;
    FerroCameraGetAWBState(&pending);
    EXPECT_EQ(pending, 1);
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    FerroCameraGetAWBState(&pending);
    EXPECT_EQ(pending, 0);
    int r = 0, g = 0, b = 0;
    FerroCameraGetGain(&r, &g, &b);
    EXPECT_EQ(g, 64);
    EXPECT_GE(r, 64);
    EXPECT_GE(b, 64);
    EXPECT_TRUE(r > 64 || b > 64);  // the simulated field is not grey
}

TEST_F(Engine, FlatFieldIsMeasuredOnTheNextFrameAndEvensItOut) {
    InitAt(4);
    FerroCameraSetExposureTime(8);
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    auto spread = [&] {
        // Brightness of the field's centre against a point near its edge.
        auto lum = [&](int x, int y) {
            const BYTE* p = &rgb_[(static_cast<size_t>(y) * 640 + x) * 3];
            return static_cast<double>(p[0] + p[1] + p[2]);
        };
        return lum(320, 240) - lum(320, 60);
    };
    const double before = spread();
    FerroCameraCalcFlatFielding();
    int request = 0, done = 0, on = 0;
    FerroCameraGetCalcFlatFieldingState(&request, &done);
    EXPECT_EQ(request, 1);
    EXPECT_EQ(done, 0);
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    FerroCameraGetCalcFlatFieldingState(&request, &done);
    FerroCameraGetFlatFieldingState(&on);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(on, 1);
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    EXPECT_LT(std::abs(spread()), std::abs(before));
    // Switched off, frames are as they were.
    FerroCameraSetFlatFieldingState(0);
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    EXPECT_DOUBLE_EQ(spread(), before);
}

TEST_F(Engine, AutoExposureConvergesOnTheSimulatedField) {
    InitAt(4);
    FerroCameraSetAeState(1);
    FerroCameraSetAeTarget(128);
    FerroCameraSetExposureTime(2);
    int lastRows = -1;
    for (int i = 0; i < 20; ++i) {
        Settle();
        if (FerroCameraGrabFrame(raw_.data()) != CAMERA_OK)
            continue;
        FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 1);
        lastRows = SimCamGetState().exposureRows;
    }
    CAutoExposure probe;
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    const int mean = probe.MeasureCentre(raw_.data() + 512, 640, 480);
    EXPECT_NEAR(mean, 128, 25);
    EXPECT_GT(lastRows, 100);
    // With run-AE zero the exposure stays.
    FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0);
    EXPECT_EQ(SimCamGetState().exposureRows, lastRows);
}

TEST_F(Engine, TeamsAreSavedAndLoaded) {
    InitAt(4);
    // Fresh system: team 2 gets its key but no current-team record.
    FerroCameraSetGamma(90);
    EXPECT_EQ(FerroCameraSaveParameter(2), CAMERA_OK);
    EXPECT_EQ(ReadTeamValue(2, "gamma"), 90);
    EXPECT_EQ(ReadTeamValue(0, "paraTeam"), -1);
    unsigned char team = 9;
    FerroCameraGetCurrentParameterTeam(&team);
    EXPECT_EQ(team, 0);
    // Team 0 creates "setupa"; then saving team 2 records it as current.
    FerroCameraSaveParameter(0);
    FerroCameraSaveParameter(2);
    FerroCameraGetCurrentParameterTeam(&team);
    EXPECT_EQ(team, 2);

    // Loading brings the values back.
    FerroCameraSetGamma(120);
    FerroCameraSetContrast(7);
    EXPECT_EQ(FerroCameraReadParameter(2), CAMERA_OK);
    unsigned char gamma = 0, contrast = 9;
    FerroCameraGetGamma(&gamma);
    FerroCameraGetContrast(&contrast);
    EXPECT_EQ(gamma, 90);
    EXPECT_EQ(contrast, 0);

    // Monochrome with enhancement loads with saturation 0 sent to the pipeline.
    FerroCameraSetMonochrome(1);
    FerroCameraSaveParameter(3);
    FerroCameraSetMonochrome(0);
    FerroCameraReadParameter(3);
    int mono = 0;
    FerroCameraGetMonochrome(&mono);
    EXPECT_EQ(mono, 1);
}

TEST_F(Engine, LoadingRescalesTheStoredExposureAndKeepsMissingGains) {
    InitAt(4);
    FerroCameraSetGain(80, 70, 90);
    {
        RegKey key;
        ASSERT_TRUE(key.Create(CCameraEngine::TeamKey(5)));
        key.WriteDword("exposure", 1000);
        key.WriteString("rowtime", "104.88889");  // speed 0 of the largest mode
        key.WriteDword("gGain", 64);              // red and blue missing
    }
    FerroCameraReadParameter(5);
    float rowTime = 0;
    FerroCameraGetRowTime(&rowTime);
    EXPECT_EQ(SimCamGetState().exposureRows, static_cast<int>((rowTime + 104.88889 * 1000 - 1) / rowTime));
    int r = 0, g = 0, b = 0;
    FerroCameraGetGain(&r, &g, &b);
    EXPECT_EQ(r, 80);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 90);

    // A team saved at another speed brings its speed along and keeps its exposure time.
    FerroCameraSetFrameSpeed(0);
    FerroCameraSetExposureTime(30);
    FerroCameraSaveParameter(6);
    FerroCameraSetFrameSpeed(2);
    FerroCameraSetExposureTime(5);
    FerroCameraReadParameter(6);
    unsigned ms = 0;
    unsigned char speed = 9;
    FerroCameraGetExposureTime(&ms);
    FerroCameraGetFrameSpeed(&speed);
    EXPECT_EQ(speed, 0);
    EXPECT_NEAR(ms, 30, 1);
}

TEST_F(Engine, TheRowTimeIsStoredWithAPointAndAnOldCommaReadsTheSame) {
    InitAt(4);
    for (const char* text : {"104.88889", "104,88889"}) {
        {
            RegKey key;
            ASSERT_TRUE(key.Create(CCameraEngine::TeamKey(5)));
            key.WriteDword("exposure", 1000);
            key.WriteString("rowtime", text);
        }
        FerroCameraReadParameter(5);
        float rowTime = 0;
        FerroCameraGetRowTime(&rowTime);
        EXPECT_EQ(SimCamGetState().exposureRows, static_cast<int>((rowTime + 104.88889 * 1000 - 1) / rowTime))
            << text;
    }
    FerroCameraSaveParameter(7);
    RegKey key;
    ASSERT_TRUE(key.Open(CCameraEngine::TeamKey(7)));
    std::string stored;
    ASSERT_TRUE(key.ReadString("rowtime", stored, 64));
    EXPECT_NE(stored.find('.'), std::string::npos) << stored;
    EXPECT_EQ(stored.find(','), std::string::npos) << stored;
}

TEST_F(Engine, ADamagedRegistryFileIsHarmless) {
    fs::create_directories(config_ / "OSTREL");
    {
        std::ofstream f(config_ / "OSTREL" / "Ferrosens.ini", std::ios::binary);
        f << "[setupa]\nparaTeam=dword:zz\ngamma=-7\nrGain=\n[setupa\n\x01\x02=\xff\nexposure=dword:123456789\n";
    }
    InitAt(4);
    unsigned char team = 9, gamma = 0;
    FerroCameraGetCurrentParameterTeam(&team);
    FerroCameraGetGamma(&gamma);
    EXPECT_EQ(team, 0);
    EXPECT_EQ(gamma, 100);
    ASSERT_EQ(GrabGood(), CAMERA_OK);
}

TEST_F(Engine, UnInitSavesTheCurrentTeam) {
    InitAt(4);
    FerroCameraSetContrast(33);
    FerroCameraUnInit();
    EXPECT_EQ(ReadTeamValue(0, "contrast"), 33);
    InitAt(4);
    unsigned char contrast = 0;
    FerroCameraGetContrast(&contrast);
    EXPECT_EQ(contrast, 33);
}

TEST_F(Engine, CaptureFileWritesTheRequestedFiles) {
    InitAt(4);
    const int before = g_callbacks.load();
    EXPECT_EQ(FerroCameraCaptureFile(Base("a").c_str(), CAPTURE_FILE_RAW, 4), CAMERA_OK);
    EXPECT_EQ(Files(), std::vector<std::string>{"a.raw"});
    EXPECT_EQ(fs::file_size(out_ / "a.raw"), 640u * 480u);
    EXPECT_EQ(g_callbacks.load(), before);  // the pipeline did not run

    EXPECT_EQ(FerroCameraCaptureFile(Base("b").c_str(), CAPTURE_FILE_JPEG | CAPTURE_FILE_BMP, 4), CAMERA_OK);
    EXPECT_EQ(FerroCameraCaptureFile(Base("c").c_str(), CAPTURE_FILE_TIFF, 4), CAMERA_OK);
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.raw", "b.bmp", "b.jpg", "c.tif"}));
    EXPECT_EQ(fs::file_size(out_ / "b.bmp"), 640u * 480u * 3u + 54u);
}

TEST_F(Engine, CaptureWithoutAFrameWritesNothing) {
    InitAt(4);
    SimCamInjectFault(SimCamFault::EmptyRead, 55);
    EXPECT_EQ(FerroCameraCaptureFile(Base("none").c_str(), CAPTURE_FILE_BMP | CAPTURE_FILE_RAW, 4), CAMERA_READFAIL);
    EXPECT_TRUE(Files().empty());
}

TEST_F(Engine, CaptureAtAnotherModeSwitchesAndComesBack) {
    InitAt(4);
    FerroCameraSetExposureTime(40);
    const int rows = SimCamGetState().exposureRows;
    EXPECT_EQ(FerroCameraCaptureFile(Base("big").c_str(), CAPTURE_FILE_BMP, 3), CAMERA_OK);
    std::ifstream f(out_ / "big.bmp", std::ios::binary);
    BYTE header[54];
    f.read(reinterpret_cast<char*>(header), 54);
    EXPECT_EQ(le::get32s(header + 18), 800);
    EXPECT_EQ(le::get32s(header + 22), 600);
    auto state = SimCamGetState();
    EXPECT_EQ(state.mode, 4);
    EXPECT_EQ(state.exposureRows, rows);
    int w = 0, h = 0;
    FerroCameraGetImageSize(&w, &h);
    EXPECT_EQ(w, 640);
    Settle();
    ASSERT_EQ(GrabGood(), CAMERA_OK);
    EXPECT_EQ(FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0), CAMERA_OK);
}

namespace {

HWND const kDisplay = reinterpret_cast<HWND>(0x10);
HWND const kNotify = reinterpret_cast<HWND>(0x20);
std::atomic<int> g_posted{0}, g_drawn{0};
std::atomic<UINT> g_lastMessage{0};

const FerroWindowPort kPort = {
    [](HWND) { return true; },
    [](HWND w, UINT msg, WPARAM, LPARAM) {
        if (w == kNotify) {
            g_lastMessage.store(msg);
            g_posted.fetch_add(1);
        }
    },
    [](HWND w, const BITMAPINFOHEADER& h, const BYTE*) {
        if (w == kDisplay && h.biBitCount == 24)
            g_drawn.fetch_add(1);
    }};

// Waits until done() holds, 10 s at most.
template <typename Done>
bool WaitUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

bool WaitFor(const std::atomic<int>& counter, int atLeast) {
    return WaitUntil([&] { return counter.load() >= atLeast; });
}

}  // namespace

TEST_F(Engine, PlayRunsTheThreadsAndPostsPerFrame) {
    SetFerroWindowPort(&kPort);
    g_posted.store(0);
    g_drawn.store(0);
    ASSERT_EQ(FerroCameraInit(&CountingCallback, 4, kDisplay, kNotify), CAMERA_OK);
    Settle();
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraPlay(), 0);
    EXPECT_TRUE(WaitFor(g_posted, 3));
    EXPECT_EQ(g_lastMessage.load(), static_cast<UINT>(WM_CAMERA_NEWFRAME));
    EXPECT_GE(g_drawn.load(), 1);

    FerroCameraSetVideoMessage(0x0400 + 500);
    FerroCameraDisplayEnable(0);
    const int posted = g_posted.load();
    EXPECT_TRUE(WaitFor(g_posted, posted + 3));
    EXPECT_EQ(g_lastMessage.load(), 0x0400u + 500u);

    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(FerroCameraStop(), 0);
    SetFerroWindowPort(nullptr);
}

TEST_F(Engine, StopEndsALongExposureWithoutWaitingItOut) {
    InitAt(4);
    SimCamSetRealTime(true);
    FerroCameraSetExposureTime(60000);  // each frame takes seconds
    Settle();
    ASSERT_EQ(FerroCameraPlay(), 1);
    ASSERT_TRUE(SimCamWaitForWaitingRead());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraStop(), 1);
    // Against the exposure, not a rate: only a stop that waited for the frame takes this long.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(Engine, PauseOnAStoppedEngineStartsNoThreads) {
    InitAt(4);
    EXPECT_EQ(FerroCameraPause(), 1);
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraStop(), 1);
    // Paused threads resume.
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraPause(), 1);
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraStop(), 1);
}

TEST_F(Engine, SnapshotButtonWhilePlayingWritesABitmap) {
    // The snapshot folder is the user's home; point it at the test folder.
    {
        ScopedEnv home("HOME", out_.string());
        InitAt(4);
    }
    SimCamSetButtonHeld(true);
    ASSERT_EQ(FerroCameraPlay(), 1);
    WaitUntil([&] { return !Files().empty(); });
    FerroCameraStop();
    SimCamSetButtonHeld(false);
    auto files = Files();
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files[0][0], 'P');
    EXPECT_EQ(files[0].size(), std::string("P1208203501.bmp").size());
}

TEST_F(Engine, GrabAndDecodeWaitOutAModeSwitch) {
    InitAt(4);
    // Another thread keeps pulling 640 × 480 frames into buffers of that size while a capture
    // switches the sensor to its largest mode and back: it must get "no frame", never a frame
    // of the other size.
    std::atomic<bool> done{false};
    std::atomic<int> good{0};
    std::thread puller([&] {
        std::vector<BYTE> raw(2 * 640 * 480 + 512), rgb(640 * 480 * 3);
        while (!done.load()) {
            if (FerroCameraGrabFrame(raw.data()) == CAMERA_OK &&
                FerroCameraDecode(raw.data(), rgb.data(), 640, 480, 0) == CAMERA_OK)
                good.fetch_add(1);
        }
    });
    EXPECT_EQ(FerroCameraCaptureFile(Base("full").c_str(), CAPTURE_FILE_BMP, 0), CAMERA_OK);
    EXPECT_EQ(FerroCameraCaptureFile(Base("full2").c_str(), CAPTURE_FILE_RAW, 0), CAMERA_OK);
    Settle();
    const int before = good.load();
    WaitUntil([&] {
        Settle();
        return good.load() != before;
    });
    done.store(true);
    puller.join();
    EXPECT_GT(good.load(), before);  // back at 640 × 480, frames flow again
    EXPECT_EQ(fs::file_size(out_ / "full.bmp"), 3664u * 2740u * 3u + 54u);
    EXPECT_EQ(fs::file_size(out_ / "full2.raw"), 3664u * 2740u);
}

TEST_F(Engine, CaptureWhilePlayingResumesThePlay) {
    InitAt(4);
    ASSERT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraCaptureFile(Base("live").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_OK);
    EXPECT_EQ(FerroCameraPlay(), 0);  // running again
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(Files(), std::vector<std::string>{"live.bmp"});
}

namespace {
std::atomic<int> g_stopResult{-100};
int StoppingCallback(unsigned char*) {
    // A caller's callback that stops the engine from the engine's own display thread.
    int expected = -100;
    g_stopResult.compare_exchange_strong(expected, FerroCameraStop());
    return 1;
}
}  // namespace

TEST_F(Engine, ACallbackMayStopTheEngineFromItsOwnThread) {
    g_stopResult.store(-100);
    ASSERT_EQ(FerroCameraInit(&StoppingCallback, 4, nullptr, nullptr), CAMERA_OK);
    Settle();
    ASSERT_EQ(FerroCameraPlay(), 1);
    WaitUntil([] { return g_stopResult.load() != -100; });
    EXPECT_EQ(g_stopResult.load(), 1);
    EXPECT_EQ(FerroCameraStop(), 0);  // already stopped; joins what is left
    // It can be played again, and shut down while playing.
    g_stopResult.store(1);
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
}

namespace {
std::atomic<int> g_uninitResult{-100};
int UnInitCallback(unsigned char*) {
    int expected = -100;
    g_uninitResult.compare_exchange_strong(expected, FerroCameraUnInit());
    return 1;
}
}  // namespace

TEST_F(Engine, UnInitWaitsForCallsOnOtherThreadsButNotForItsOwnCallback) {
    InitAt(4);
    std::atomic<bool> done{false};
    std::atomic<int> decoded{0};
    std::thread caller([&] {
        std::vector<BYTE> raw(raw_.size(), 90), rgb(rgb_.size());
        while (!done.load()) {
            if (FerroCameraDecode(raw.data(), rgb.data(), 0, 0, 1) == CAMERA_OK)
                decoded.fetch_add(1);
            int r = 0, g = 0, b = 0;
            FerroCameraGetGain(&r, &g, &b);
        }
    });
    // Each UnInit deletes the engine the other thread is decoding with, unless it waits.
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(WaitFor(decoded, i + 1));
        EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
        ASSERT_EQ(FerroCameraInit(&CountingCallback, 4, nullptr, nullptr), CAMERA_OK);
    }
    done.store(true);
    caller.join();

    // A callback cannot pull the engine from under the Decode that runs it: refused, kept.
    g_uninitResult.store(-100);
    FerroCameraUnInit();
    ASSERT_EQ(FerroCameraInit(&UnInitCallback, 4, nullptr, nullptr), CAMERA_OK);
    EXPECT_EQ(FerroCameraDecode(raw_.data(), rgb_.data(), 0, 0, 0), CAMERA_OK);
    EXPECT_EQ(g_uninitResult.load(), CAMERA_NOFRAME);
    int w = 0, h = 0;
    EXPECT_EQ(FerroCameraGetImageSize(&w, &h), CAMERA_OK);
    EXPECT_EQ(w, 640);

    // Nor can the engine's own display thread, which UnInit would have to join.
    g_uninitResult.store(-100);
    ASSERT_EQ(FerroCameraPlay(), 1);
    WaitUntil([&] {
        Settle();
        return g_uninitResult.load() != -100;
    });
    EXPECT_EQ(g_uninitResult.load(), CAMERA_NOFRAME);
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
}

TEST_F(Engine, ExposureArithmeticIsInFloatAsTheRowTimeIs) {
    InitAt(5);  // the region of interest has the full sensor's row time
    FerroCameraSetFrameSpeed(0);
    float rowTime = 0;
    FerroCameraGetRowTime(&rowTime);
    EXPECT_FLOAT_EQ(rowTime, 3776.0f / 36.0f);
    // 1785 ms: (1785000 + 103.89) / 104.88889 lands on 17019 in float, 17018 in double.
    FerroCameraSetExposureTime(1785);
    EXPECT_EQ(SimCamGetState().exposureRows, 17019);
    // 118 ms is 1125 rows; 1125 rows of 104.88889 µs are 118 ms in float, 117 in double.
    FerroCameraSetExposureTime(118);
    EXPECT_EQ(SimCamGetState().exposureRows, 1125);
    unsigned ms = 0;
    FerroCameraGetExposureTime(&ms);
    EXPECT_EQ(ms, 118u);
}

namespace {
std::atomic<int> g_captureResult{-100};
std::atomic<int> g_afterCapture{0};
std::string g_captureBase;
int CapturingCallback(unsigned char*) {
    // A caller's callback that takes a still from the engine's own display thread.
    // The still's own pipeline run calls back too: only the first call captures.
    static std::atomic<bool> started{false};
    if (g_captureResult.load() == -100 && !started.exchange(true))
        g_captureResult.store(FerroCameraCaptureFile(g_captureBase.c_str(), CAPTURE_FILE_BMP, 4));
    else if (g_captureResult.load() != -100)
        g_afterCapture.fetch_add(1);
    return 1;
}
}  // namespace

TEST_F(Engine, ACallbackMayCaptureAStillAndThePlayGoesOn) {
    g_captureResult.store(-100);
    g_afterCapture.store(0);
    g_captureBase = Base("fromcallback");
    ASSERT_EQ(FerroCameraInit(&CapturingCallback, 4, nullptr, nullptr), CAMERA_OK);
    Settle();
    ASSERT_EQ(FerroCameraPlay(), 1);
    EXPECT_TRUE(WaitFor(g_afterCapture, 3));
    EXPECT_EQ(g_captureResult.load(), CAMERA_OK);
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(Files(), std::vector<std::string>{"fromcallback.bmp"});
}

TEST_F(Engine, EveryTeamNumberKeepsToItsOwnKey) {
    InitAt(4);
    // Low bytes whose letter is a control character, a key separator or a closing bracket,
    // next to ordinary ones. (Teams 224 to 249 give capitals: key names ignore case, so those
    // are the teams 0 to 25, as they always were.)
    const int teams[] = {0, 1, 25, 26, 30, 159, 168, 169, 172, 191, 196, 200, 206, 250, 251, 252, 255};
    for (int team : teams) {
        FerroCameraSetGamma(20 + team % 100);
        FerroCameraSaveParameter(team);
    }
    for (int team : teams) {
        FerroCameraSetGamma(150);
        ASSERT_EQ(FerroCameraReadParameter(team), CAMERA_OK);
        unsigned char gamma = 0;
        FerroCameraGetGamma(&gamma);
        EXPECT_EQ(gamma, 20 + team % 100) << team;
    }
    unsigned char current = 0;
    FerroCameraGetCurrentParameterTeam(&current);
    EXPECT_EQ(current, 255);
}

namespace {
std::atomic<int> g_restartResult{-100};
std::atomic<int> g_afterRestart{0};
int RestartingCallback(unsigned char*) {
    // A caller's callback that stops the engine and plays it again from the display thread.
    static std::atomic<bool> started{false};
    if (!started.exchange(true)) {
        FerroCameraStop();
        g_restartResult.store(FerroCameraPlay());
    } else if (g_restartResult.load() != -100) {
        g_afterRestart.fetch_add(1);
    }
    return 1;
}
}  // namespace

TEST_F(Engine, StopAndPlayFromACallbackEitherRunsOnOrStaysStopped) {
    g_restartResult.store(-100);
    g_afterRestart.store(0);
    ASSERT_EQ(FerroCameraInit(&RestartingCallback, 4, nullptr, nullptr), CAMERA_OK);
    Settle();
    ASSERT_EQ(FerroCameraPlay(), 1);
    WaitUntil([] { return g_restartResult.load() != -100; });
    if (g_restartResult.load() == 1) {
        // Running again: frames must keep coming, not failed reads.
        EXPECT_TRUE(WaitFor(g_afterRestart, 3));
        EXPECT_EQ(FerroCameraPlay(), 0);
        EXPECT_EQ(FerroCameraStop(), 1);
    } else {
        // The threads had gone: nothing runs, and a Play from outside starts them again.
        EXPECT_EQ(g_restartResult.load(), 0);
        EXPECT_EQ(FerroCameraPlay(), 1);
        EXPECT_TRUE(WaitFor(g_afterRestart, 3));
        EXPECT_EQ(FerroCameraStop(), 1);
    }
}

namespace {
std::atomic<int> g_pausedInside{0};
std::atomic<int> g_afterPause{0};
int StopPauseCallback(unsigned char*) {
    // Stop and then Pause from the display thread; the caller plays again from outside.
    static std::atomic<bool> started{false};
    if (!started.exchange(true)) {
        FerroCameraStop();
        FerroCameraPause();
        g_pausedInside.store(1);
    } else {
        g_afterPause.fetch_add(1);
    }
    return 1;
}
}  // namespace

TEST_F(Engine, PauseFromACallbackAfterItsStopLeavesAnEngineThatPlaysAgain) {
    g_pausedInside.store(0);
    g_afterPause.store(0);
    ASSERT_EQ(FerroCameraInit(&StopPauseCallback, 4, nullptr, nullptr), CAMERA_OK);
    Settle();
    ASSERT_EQ(FerroCameraPlay(), 1);
    ASSERT_TRUE(WaitFor(g_pausedInside, 1));
    // Only lets a thread on its way out leave: the play from outside starts either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(FerroCameraPlay(), 1);
    EXPECT_TRUE(WaitFor(g_afterPause, 3));
    EXPECT_EQ(FerroCameraStop(), 1);
}
