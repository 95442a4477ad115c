#include "capture/cameraframecontroller.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "ui/profile.h"
#include "capture/autoexposure.h"
#include "capture/cameraaccess.h"
#include "capture/camerafirstuse.h"
#include "capture/cameramodeltraits.h"
#include "capture/cameratables.h"
#include "capture/camerathread.h"
#include "capture/capturefilename.h"
#include "capture/cameraview.h"
#include "platform/inifile.h"
#include "platform/le.h"
#include "vekcamera/VekCamera.h"

namespace {

constexpr const char* kDefaultSaveName = "Quillory";  // string 61455
constexpr int kOpenWaitMs = 200;
constexpr int kWhiteBalanceWaitMs = 500;
constexpr int kBackPointBytes = 12;

// A getter's out-value: the driver may write only one byte or 16 bits of it.
int Get(int (*getter)(int*)) {
    int v = 0;
    getter(&v);
    return v;
}

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

int IntIn(const CProfile& p, const char* section, const char* key, int def, int lo, int hi) {
    const int v = p.GetProfileInt(section, key, def);
    return v < lo || v > hi ? def : v;
}

}  // namespace

CCameraFrameController::CCameraFrameController(int cameraId, int longExposure, CProfile& profile, QString* saveFolder)
    : m_profile(profile), m_session(m_Settings, {false, kDefaultSaveName}, saveFolder) {
    m_Settings.nCameraId = cameraId;
    m_Settings.bLongExposure = longExposure;
    m_Settings.nOpenState = 2;
    m_Settings.nAeAverage = 0;
}

CCameraFrameController::~CCameraFrameController() { FreeBackCorrection(); }

void CCameraFrameController::LoadProfile() {
    CameraSettings& s = m_Settings;
    const CProfile& p = m_profile;
    m_nMode = kModeIdle;
    s.nOpenState = 2;
    s.nAeAverage = 0;
    m_session.Load(p);
    const std::string model = CameraModelName(s.nCameraId);
    s.byPreviewRes = static_cast<BYTE>(IntIn(p, model.c_str(), "Preview", DefaultPreviewRes(s.nCameraId), 0, 255));
    s.byCaptureRes = static_cast<BYTE>(IntIn(p, model.c_str(), "Capture", DefaultCaptureRes(s.nCameraId), 0, 255));
    s.bResLock = IntIn(p, model.c_str(), "ResLock", 0, 0, 1);
}

void CCameraFrameController::SaveProfile() {
    CameraSettings& s = m_Settings;
    CProfile& p = m_profile;
    m_session.Save(p);
    const QString model = FromUtf8(CameraModelName(s.nCameraId));
    p.WriteProfileInt(model, "Preview", s.byPreviewRes);
    p.WriteProfileInt(model, "Capture", s.byCaptureRes);
    p.WriteProfileInt(model, "ResLock", s.bResLock);
}

bool CCameraFrameController::Open(int applyBackCorrection) {
    CameraSettings& s = m_Settings;
    if (s.nCameraId == -1 || m_bOpening) return false;
    // Open already: the view's threads would read the record while it is filled again.
    if (s.nOpenState == 0 || (m_pView && m_pView->GetRunState() != CCameraView::kStop)) return false;
    // The camera opens on the camera thread (after a close still running there); the rest of
    // the opening follows on this thread.
    m_bOpening = true;
    const unsigned generation = ++m_openGeneration;
    const BYTE preview = s.byPreviewRes;
    const HWND frame = m_hFrame;
    const HWND view = m_pView ? m_pView->GetSafeHwnd() : nullptr;
    const int cameraId = s.nCameraId;
    auto ok = std::make_shared<bool>(false);
    auto refused = std::make_shared<std::optional<RefusedCamera>>();
    CCameraThread::Instance().Post(
        this,
        [ok, refused, cameraId, preview, frame, view] {
            *ok = VekCameraInit(preview, frame, view) == CAMERA_OK;
            if (RefusedCamera r; !*ok && FindRefusedCamera(cameraId, &r)) *refused = r;
        },
        [this, ok, refused, generation, applyBackCorrection] {
            Opened(generation, *ok, applyBackCorrection, *refused ? &**refused : nullptr);
        });
    if (onStateChanged) onStateChanged();
    return true;
}

void CCameraFrameController::Opened(unsigned generation, bool ok, int applyBackCorrection,
                                    const RefusedCamera* refused) {
    // Closed meanwhile: the close that came after has ended the camera.
    if (!m_bOpening || generation != m_openGeneration) return;
    CameraSettings& s = m_Settings;
    if (!ok) {
        m_bOpening = false;
        if (onStateChanged) onStateChanged();
        if (refused && onOpenRefused) onOpenRefused(CameraAccessRefusedText(*refused));
        return;
    }
    FreeBackCorrection();
    FillCameraModelInfo(s);
    s.nWidth = 0;
    s.nHeight = 0;
    VekCameraGetImageSize(&s.nWidth, &s.nHeight);
    // The display thread reads the correction points: they are in place before it starts.
    LoadBackCorrection(applyBackCorrection);
    if (m_pView) m_pView->Init(&s);
    // The rest waits for the first frames; a close in between ends the camera instead.
    QTimer::singleShot(kOpenWaitMs, this, [this, generation] { FinishOpen(generation); });
}

void CCameraFrameController::FinishOpen(unsigned generation) {
    if (!m_bOpening || generation != m_openGeneration) return;
    m_bCrossShow = m_profile.GetProfileInt("Cross", "Show", 0) ? 1 : 0;
    m_crossColor = static_cast<COLORREF>(m_profile.GetProfileInt("Cross", "Color", 255)) & 0xFFFFFF;
    if (m_pView) m_pView->SetCross(m_bCrossShow, m_crossColor);
    // The parameters are read from the camera or written to it on the camera thread, into a
    // copy of the record: nothing on this thread reads them while the camera is not open yet.
    auto work = std::make_shared<CameraSettings>(m_Settings);
    work->pBackPoints = nullptr;
    auto firstUse = std::make_shared<bool>(false);
    CCameraThread::Instance().Post(
        this,
        [this, work, firstUse] {
            CameraSettings& s = *work;
            BYTE team = 0;
            VekCameraGetCurrentParameterTeam(&team);
            s.byParamTeam = team;
            if (team != 0) VekCameraReadParameter(team);
            s.byParamTeamAtOpen = s.byParamTeam;
            *firstUse = IsFirstCameraUse(s.nCameraId) != 0;
            if (*firstUse)
                WriteAllParameters(s);
            else
                ReadAllParameters(s);
            if (s.bUseRowLimit == 1) ApplyRowLimit(s);
        },
        [this, work, firstUse, generation] {
            // Closed meanwhile: the close has ended the camera, and the record stays closed.
            if (!m_bOpening || generation != m_openGeneration) return;
            m_bOpening = false;
            TakeCameraParameters(*work);
            CameraSettings& s = m_Settings;
            s.nOpenState = 0;
            if (*firstUse) AutoWhiteBalance();
            if (onOpened) onOpened(s.nWidth > 0 ? s.nWidth : 640, s.nHeight > 0 ? s.nHeight : 480);
            if (onStateChanged) onStateChanged();
        });
}

void CCameraFrameController::TakeCameraParameters(const CameraSettings& camera) {
    // What the window owns stays as it is here: the save settings and resolutions (the save
    // dialog may have changed them meanwhile) and the background correction.
    CameraSettings& s = m_Settings;
    CameraSettings merged = camera;
    merged.snap = s.snap;
    merged.video = s.video;
    merged.byCaptureRes = s.byCaptureRes;
    merged.byPreviewRes = s.byPreviewRes;
    merged.bResLock = s.bResLock;
    merged.pBackPoints = s.pBackPoints;
    merged.nBackPoints = s.nBackPoints;
    merged.bBackCorrLoaded = s.bBackCorrLoaded;
    merged.bBackCorrApply = s.bBackCorrApply;
    merged.nOpenState = s.nOpenState;
    s = merged;
}

void CCameraFrameController::Close() {
    CameraSettings& s = m_Settings;
    if (s.nOpenState != 0 && !m_bOpening) return;
    const bool opened = s.nOpenState == 0;
    m_bOpening = false;
    ++m_openGeneration;
    m_profile.WriteProfileInt("Cross", "Show", m_bCrossShow);
    m_profile.WriteProfileInt("Cross", "Color", static_cast<int>(m_crossColor));
    // The camera is closed from here on for the window; the camera thread does the rest in the
    // order the hub expects: the parameter team back, the view's threads, then the camera.
    CCameraView* view = m_pView && m_pView->BeginShutdown() ? m_pView : nullptr;
    const BYTE team = s.byParamTeamAtOpen;
    // The view took its copy of the correction points when it started.
    FreeBackCorrection();
    s.nOpenState = 2;
    CCameraThread::Instance().Post(
        this,
        [opened, team, view] {
            if (opened) {
                VekCameraReadParameter(team);
                VekCameraSaveParameter(team);
            }
            // A frame the display thread is writing to a recording finishes before the join.
            if (view) view->StopThreads();
            VekCameraUnInit();
        },
        [this, view] {
            if (view) view->EndShutdown();
            if (onStateChanged) onStateChanged();
        });
    if (onStateChanged) onStateChanged();
}

void CCameraFrameController::WriteAllParameters(CameraSettings& s) {
    const int id = s.nCameraId;
    if (s.aeState.bSupported) VekCameraSetAeState(s.bSoftwareAe ? 0 : s.aeState.nValue);
    if (s.aeTarget.bSupported) VekCameraSetAeTarget(AeTargetDeviceFromLevel(s.aeTarget.nValue));
    if (s.analogGain.bSupported) VekCameraSetAnalogGain(GainDeviceFromLevel(id, s.analogGain.nValue));
    if (s.exposure.bSupported) SetExposure(s, s.exposure.nValue);
    if (s.gamma.bSupported) VekCameraSetGamma(GammaDeviceFromLevel(id, s.gamma.nValue));
    if (s.contrast.bSupported) VekCameraSetContrast(ContrastDeviceFromLevel(id, s.contrast.nValue));
    if (s.saturation.bSupported) VekCameraSetSaturation(SaturationDeviceFromLevel(id, s.saturation.nValue));
    if (s.colorEnhancement.bSupported) VekCameraSetColorEnhancement(s.colorEnhancement.nValue);
    if (s.monochrome.bSupported) VekCameraSetMonochrome(s.monochrome.nValue);
    if (s.mirrorH.bSupported || s.mirrorV.bSupported) {
        VekCameraSetMirror(0, s.mirrorH.nValue);
        VekCameraSetMirror(1, s.mirrorV.nValue);
    }
    if (s.redGain.bSupported) {
        int r = 0, g = 0, b = 0;
        VekCameraGetGain(&r, &g, &b);
        s.redGain.nValue = r;
        s.greenGain.nValue = g;
        s.blueGain.nValue = b;
    }
    if (s.frameSpeed.bSupported) VekCameraSetFrameSpeed(s.frameSpeed.nValue);
    if (s.lightFrequency.bSupported) VekCameraSetLightFrquency(s.lightFrequency.nValue);
    if (s.b2rgbMode.bSupported) VekCameraSetB2RGBMode(s.b2rgbMode.nValue ? 1 : 0);
}

void CCameraFrameController::ReadAllParameters(CameraSettings& s) {
    const int id = s.nCameraId;
    if (s.aeState.bSupported) s.aeState.nValue = Get(VekCameraGetAeState) & 0xFF;
    VekCameraSetAeState(s.bSoftwareAe ? 0 : s.aeState.nValue);
    if (s.aeTarget.bSupported) {
        s.aeTarget.nValue = std::clamp(AeTargetLevelFromDevice(Get(VekCameraGetAeTarget) & 0xFF), -5, 5);
        VekCameraSetAeTarget(AeTargetDeviceFromLevel(s.aeTarget.nValue));
    }
    if (s.exposure.bSupported) {
        int ms = Get(VekCameraGetExposureTime);
        if (s.bLongExposure) {
            const int index = ExposureIndexFromMs(static_cast<unsigned>(ms));
            ms = ExposureMsFromIndex(index);
            s.exposure.nValue = index;
        } else {
            s.exposure.nValue = ms;
        }
        s.nExposureMs = ms;
        ApplyWithSpeedSwitching(s, ms);
    }
    if (s.analogGain.bSupported) {
        s.analogGain.nValue = GainLevelFromDevice(id, Get(VekCameraGetAnalogGain) & 0xFFFF);
        VekCameraSetAnalogGain(GainDeviceFromLevel(id, s.analogGain.nValue));
    }
    if (s.gamma.bSupported) {
        s.gamma.nValue = GammaLevelFromDevice(id, Get(VekCameraGetGamma));
        VekCameraSetGamma(GammaDeviceFromLevel(id, s.gamma.nValue));
    }
    if (s.contrast.bSupported) {
        s.contrast.nValue = ContrastLevelFromDevice(id, Get(VekCameraGetContrast));
        VekCameraSetContrast(ContrastDeviceFromLevel(id, s.contrast.nValue));
    }
    if (s.saturation.bSupported) {
        s.saturation.nValue = SaturationLevelFromDevice(id, Get(VekCameraGetSaturation));
        VekCameraSetSaturation(SaturationDeviceFromLevel(id, s.saturation.nValue));
    }
    if (s.colorEnhancement.bSupported) {
        s.colorEnhancement.nValue = Get(VekCameraGetColorEnhancement) & 0xFF;
        VekCameraSetColorEnhancement(s.colorEnhancement.nValue);
    }
    if (s.monochrome.bSupported) {
        s.monochrome.nValue = Get(VekCameraGetMonochrome) & 0xFF;
        VekCameraSetMonochrome(s.monochrome.nValue);
    }
    if (s.frameSpeed.bSupported) {
        BYTE speed = 0;
        VekCameraGetFrameSpeed(&speed);
        s.frameSpeed.nValue = speed;
        VekCameraSetFrameSpeed(speed);
    }
    if (s.lightFrequency.bSupported) {
        s.lightFrequency.nValue = Get(VekCameraGetLightFrquency) & 0xFF;
        VekCameraSetLightFrquency(s.lightFrequency.nValue);
    }
    if (s.mirrorH.bSupported) {
        int on = 0;
        VekCameraGetMirror(0, &on);
        s.mirrorH.nValue = on & 0xFF;
    }
    if (s.mirrorV.bSupported) {
        int on = 0;
        VekCameraGetMirror(1, &on);
        s.mirrorV.nValue = on & 0xFF;
    }
    if (s.b2rgbMode.bSupported) s.b2rgbMode.nValue = Get(VekCameraGetB2RGBMode);
    if (s.redGain.bSupported) {
        int r = 0, g = 0, b = 0;
        VekCameraGetGain(&r, &g, &b);
        s.redGain.nValue = r;
        s.greenGain.nValue = g;
        s.blueGain.nValue = b;
        VekCameraSetGain(r, g, b);
    }
}

void CCameraFrameController::SetExposure(CameraSettings& s, int value) {
    const int ms = s.bLongExposure ? ExposureMsFromIndex(std::clamp(value, 0, 99)) : value;
    if (ms == s.nExposureMs) return;
    s.nExposureMs = ms;
    const CameraModelTraits& traits = CameraModelTraits::Of(s.nCameraId);
    if (traits.directExposure) {
        VekCameraSetExposureTime(static_cast<unsigned>(ms));
        VekCameraSaveParameter(0);
        ReadBack(s);
    } else if (traits.pausedExposure) {
        const BYTE state = m_pView ? m_pView->GetRunState() : static_cast<BYTE>(CCameraView::kStop);
        if (m_pView && state == CCameraView::kRun) m_pView->SetRunState(CCameraView::kPause);
        ApplyWithSpeedSwitching(s, ms);
        if (m_pView && state == CCameraView::kRun) m_pView->SetRunState(state);
        ReadBack(s);
        VekCameraSaveParameter(0);
    }
}

void CCameraFrameController::ApplyWithSpeedSwitching(CameraSettings& s, int ms) {
    if (s.bSpeedSwitching) {
        const BYTE mode = ms < 100 ? 0 : ms >= 250 ? 2 : 1;
        VekCameraSetSpeedMode(mode);
        if (mode != s.bySpeedMode) {
            s.bySpeedMode = mode;
            if (m_pView) m_pView->SetSkipNext();
        }
    }
    VekCameraSetExposureTime(static_cast<unsigned>(std::max(ms, 0)));
    if (!m_pView) return;
    m_pView->ClearFrameGrabbed();
    // A grab blocked in a long exposure would keep the old exposure: start it over.
    if (m_pView->LastExposure() > 3000 && m_pView->GetRunState() != CCameraView::kStop) {
        m_pView->StopThreads();
        m_pView->StartThreads();
    }
    m_pView->SetSkipNext();
}

void CCameraFrameController::ReadBack(CameraSettings& s) {
    if (!s.bSoftwareAe) s.aeState.nValue = Get(VekCameraGetAeState) & 0xFF;
    const int ms = Get(VekCameraGetExposureTime);
    s.exposure.nValue = s.bLongExposure ? ExposureIndexFromMs(static_cast<unsigned>(ms)) : ms;
    s.analogGain.nValue = GainLevelFromDevice(s.nCameraId, Get(VekCameraGetAnalogGain) & 0xFFFF);
}

bool CCameraFrameController::OnFrame(int mean) {
    CameraSettings& s = m_Settings;
    if (!IsOpen() || !s.bSoftwareAe || !s.aeState.nValue) return false;
    const AeStepResult r = AutoExposureStepResult(s, static_cast<BYTE>(std::clamp(mean, 0, 255)));
    if (r.speedChanged && m_pView) m_pView->SetSkipNext();
    if (r.outcome != AeStepOutcome::kGaveUp) return false;
    // The search reached its limit: auto exposure goes off until the user turns it on again.
    s.nAeAverage = 0;
    s.aeState.nValue = 0;
    return true;
}

void CCameraFrameController::ReadGainsAndSave() {
    CameraSettings& s = m_Settings;
    if (!IsOpen()) return;
    int r = 0, g = 0, b = 0;
    VekCameraGetGain(&r, &g, &b);
    s.redGain.nValue = r;
    s.greenGain.nValue = g;
    s.blueGain.nValue = b;
    VekCameraSaveParameter(0);
}

void CCameraFrameController::AutoWhiteBalance() {
    if (!IsIdle() || !IsOpen()) return;
    m_nMode = kModeAutoWhiteBalance;
    VekCameraSetAWBState(1);
    if (onStateChanged) onStateChanged();
    QTimer::singleShot(kWhiteBalanceWaitMs, this, [this] {
        ReadGainsAndSave();
        if (m_nMode == kModeAutoWhiteBalance) m_nMode = kModeIdle;
        if (onStateChanged) onStateChanged();
    });
}

void CCameraFrameController::QuickWhiteBalance() {
    if (!IsOpen()) return;
    VekCameraSetAWBState(1);
    QTimer::singleShot(kWhiteBalanceWaitMs, this, [this] { ReadGainsAndSave(); });
}

void CCameraFrameController::QuickBlackBalance() {
    CameraSettings& s = m_Settings;
    if (!IsIdle() || !IsOpen() || !s.bDefaultGains) return;
    m_nMode = kModeBlackBalance;
    s.colorEnhancement.nValue = 0;
    VekCameraSetColorEnhancement(0);
    s.redGain.nValue = s.nDefaultRed;
    s.greenGain.nValue = s.nDefaultGreen;
    s.blueGain.nValue = s.nDefaultBlue;
    VekCameraSetGain(s.nDefaultRed, s.nDefaultGreen, s.nDefaultBlue);
    m_nMode = kModeIdle;
}

CCameraFrameController::BackCorrection CCameraFrameController::ReadBackCorrection(int cameraId, int width, int height) {
    BackCorrection result;
    IniFile ini("BackCorr.ini");
    if (!ini.Load()) return result;
    std::string value;
    const std::string section = "CAMERA_" + std::to_string(cameraId);
    const std::string key = std::to_string(width) + "_" + std::to_string(height);
    if (!ini.GetValue(section, key, value)) return result;
    char* end = nullptr;
    const long long declared = std::strtoll(value.c_str(), &end, 10);
    if (end == value.c_str() || declared <= 0) return result;
    result.declared = static_cast<int>(std::min<long long>(declared, INT32_MAX));

    const QString name = QString("Camera_%1_%2_%3.bin").arg(cameraId).arg(width).arg(height);
    QFileInfo info(name);
    if (!info.isFile()) return result;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return result;
    // Only whole records the file holds, and no more than the ini file announces.
    const long long records = std::min<long long>(result.declared, file.size() / kBackPointBytes);
    const QByteArray data = file.read(records * kBackPointBytes);
    const long long got = data.size() / kBackPointBytes;
    const BYTE* p = reinterpret_cast<const BYTE*>(data.constData());
    result.points.reserve(static_cast<size_t>(got));
    for (long long i = 0; i < got; i++, p += kBackPointBytes) {
        BackCorrPoint pt;
        pt.x = le::get32s(p);
        pt.y = le::get32s(p + 4);
        pt.percent[0] = p[8];
        pt.percent[1] = p[9];
        pt.percent[2] = p[10];
        // A point off the frame would be written outside the picture; a percent of 0 would
        // divide by zero.
        if (pt.x < 0 || pt.y < 0 || pt.x >= width || pt.y >= height) continue;
        if (!pt.percent[0] || !pt.percent[1] || !pt.percent[2]) continue;
        result.points.push_back(pt);
    }
    return result;
}

void CCameraFrameController::LoadBackCorrection(int apply) {
    CameraSettings& s = m_Settings;
    FreeBackCorrection();
    const int id = VekCameraGetCameraID().cameraId;
    BackCorrection data = ReadBackCorrection(id, s.nWidth, s.nHeight);
    if (data.points.empty()) return;
    s.pBackPoints = new BackCorrPoint[data.points.size()];
    std::copy(data.points.begin(), data.points.end(), s.pBackPoints);
    s.nBackPoints = static_cast<int>(data.points.size());
    s.bBackCorrLoaded = 1;
    s.bBackCorrApply = apply;
}

void CCameraFrameController::FreeBackCorrection() {
    delete[] m_Settings.pBackPoints;
    m_Settings.pBackPoints = nullptr;
    m_Settings.nBackPoints = 0;
    m_Settings.bBackCorrLoaded = 0;
    m_Settings.bBackCorrApply = 0;
}

QRect CCameraFrameController::WindowLayout(int width, int height, const QRect& screen, int chrome) {
    if (width <= 0 || height <= 0) {
        width = 640;
        height = 480;
    }
    // The whole window fits: the margins it adds are taken off the room for the picture.
    const int maxW = std::max(1, screen.width() - 46);
    const int maxH = std::max(1, screen.height() - chrome - 6);
    double scale = 1.0;
    if (width > maxW) scale = static_cast<double>(maxW) / width;
    if (height * scale > maxH) scale = static_cast<double>(maxH) / height;
    const int w = std::max(1, static_cast<int>(width * scale)) + 46;
    const int h = std::max(1, static_cast<int>(height * scale)) + chrome + 6;
    const int x = std::max(screen.left(), screen.left() + (screen.width() - w) / 2);
    const int y = std::max(screen.top(), screen.top() + (screen.height() - h) / 2);
    return QRect(std::max(0, x), std::max(0, y), w, h);
}

QString CCameraFrameController::NextSnapFolder() const { return m_session.NextSnapFolder(); }
