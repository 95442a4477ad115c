// The settings record of one camera window: what the plugged model can do, the current value of
// each parameter in slider units, the snap and video save settings and the tuning of the
// program's own auto exposure. The frame owns it; dialogs and the view work on it by pointer.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/wintypes.h"

// Still-file types of the snap settings (the hub's file-type flags).
enum CaptureFileType : int {
    kCaptureJpeg = 1,
    kCaptureBmp = 2,
    kCaptureRaw = 4,
    kCaptureTiff = 8,
};

struct CameraParamRange {
    int bSupported = 0;  // the camera has this parameter: read, written and shown only then
    int nMin = 0;
    int nMax = 0;
    int nValue = 0;      // in slider units

    bool operator==(const CameraParamRange&) const = default;
};

struct CameraParamSwitch {
    int bSupported = 0;
    int nValue = 0;

    bool operator==(const CameraParamSwitch&) const = default;
};

// Profile section "FileSave".
struct SnapSaveSettings {
    int bConfig = 0;         // 1: name files from these settings, 0: ask with a file dialog
    std::string sFilename;   // name prefix (UTF-8)
    int bNum = 0;
    int uiFiletype = kCaptureBmp;  // CaptureFileType
    int bTimeStamp = 0;      // name from the local time instead of the prefix
    std::string sPath;       // folder of the files; the program's save folder while empty
    int bLapse = 0;          // time lapse on
    int nSpace = 0;          // seconds between shots
    int nCount = 0;          // number of shots

    bool operator==(const SnapSaveSettings&) const = default;
};

// Profile section "VideoSave".
struct VideoSaveSettings {
    int bConfig = 0;
    std::string sFilename;
    int bNum = 0;
    int bTimeStamp = 0;
    std::string sPath;
    int Compress = 0;        // FOURCC of the chosen compressor
    int CompressID = 0;      // index of the compressor in the video save page's list
    int bTimeLimit = 0;
    int TimeLimit = 0;       // seconds

    bool operator==(const VideoSaveSettings&) const = default;
};

// One background-correction point as the data file holds it (12 bytes on disk).
struct BackCorrPoint {
    int32_t x = 0;
    int32_t y = 0;
    BYTE percent[3] = {0, 0, 0};  // per channel, in the decoded frame's byte order
    BYTE reserved = 0;

    bool operator==(const BackCorrPoint&) const = default;
};

// A switch the UI thread sets while the camera view's display thread reads it. Copies,
// assignments and comparisons take its value, so the record keeps copying like plain data.
class SharedSwitch {
public:
    SharedSwitch() = default;
    SharedSwitch(const SharedSwitch& other) : m_value(other.Get()) {}
    SharedSwitch& operator=(const SharedSwitch& other) { return *this = other.Get(); }
    SharedSwitch& operator=(int value) {
        m_value.store(value);
        return *this;
    }
    operator int() const { return Get(); }
    int Get() const { return m_value.load(); }
    bool operator==(const SharedSwitch& other) const { return Get() == other.Get(); }

private:
    std::atomic<int> m_value{0};
};

struct CameraSettings {
    int nCameraId = -1;          // hub camera id; -1: no camera
    int nWidth = 0;
    int nHeight = 0;
    int nOpenState = 2;          // 2 closed, 0 open
    BYTE byCaptureRes = 0;       // profile key "Capture"
    BYTE byPreviewRes = 0;       // profile key "Preview"
    int bSeparateRes = 0;        // capture and preview resolutions may differ
    int bResLock = 0;            // profile key "ResLock"
    int bLongExposure = 0;       // exposure values are exposure-table indexes
    int bFineModeAvailable = 0;
    int bFineMode = 0;
    // Not owned by the record: the frame allocates the points (new[]) and frees them when the
    // camera closes, so copies of the record never free them. The view copies them when it
    // starts; they change only while its threads are stopped.
    BackCorrPoint* pBackPoints = nullptr;
    int nBackPoints = 0;
    CameraParamSwitch aeState;   // the camera's own auto exposure
    CameraParamRange exposure;   // ms, or table index in long-exposure mode
    CameraParamRange aeTarget;   // -5..5
    CameraParamRange analogGain; // level 1..max
    int bWhiteBalance = 0;
    CameraParamRange gamma;      // -20..20
    CameraParamRange contrast;   // -20..20
    CameraParamRange saturation; // -20..20
    CameraParamSwitch colorEnhancement;
    int bBackCorrLoaded = 0;
    SharedSwitch bBackCorrApply;  // the display thread reads it while the camera runs
    CameraParamSwitch mirrorH;
    CameraParamSwitch mirrorV;
    CameraParamSwitch monochrome;
    CameraParamRange redGain;    // 20..200, neutral 64
    CameraParamRange greenGain;
    CameraParamRange blueGain;
    CameraParamSwitch frameSpeed;      // value: the camera's speed code
    CameraParamSwitch lightFrequency;  // mains frequency code
    CameraParamSwitch b2rgbMode;
    BYTE byParamTeam = 0;        // 0 none, else 1..4
    BYTE byParamTeamAtOpen = 0;
    SnapSaveSettings snap;
    VideoSaveSettings video;
    int nAeExpFloor = 0;         // software auto exposure limits (ms, or index)
    int nAeExpCeiling = 0;
    int nAeExpZone1 = 0;         // thresholds selecting the step sizes
    int nAeExpZone2 = 0;
    int nAeExpZone3 = 0;
    int nAeGainMin = 0;
    int nAeGainMax = 0;
    int nAeGainLow = 0;          // gain is lowered only after exposure below this level
    int nAeGainHigh = 0;         // gain is raised first up to this level
    int bSoftwareAe = 0;         // the program runs the exposure control; the camera's is off
    int nAeAverage = 0;          // running average of the frame brightness
    int nExposureMs = 0;         // exposure last set, always in ms
    int bSpeedSwitching = 0;     // speed mode follows the exposure
    BYTE bySpeedMode = 0;
    int nRowLimit = 0;
    int bUseRowLimit = 0;        // exposure maximum is nRowLimit sensor rows
    int bDefaultGains = 0;
    int nDefaultRed = 64;
    int nDefaultGreen = 64;
    int nDefaultBlue = 64;

    bool operator==(const CameraSettings&) const = default;
};

// Writes the model defaults for settings.nCameraId (reads bLongExposure). Returns 1, or 0 with
// the record unchanged for an id without a model entry. Ids 31 and 32 ask the hub for their
// row limit.
int FillCameraModelInfo(CameraSettings& settings);

// With bUseRowLimit set: exposure maximum = nRowLimit x the hub's row time (µs) / 1000,
// truncated, stored in exposure.nMax and nAeExpCeiling. Returns 0 (record unchanged) when the
// row limit is off or the hub does not report a row time.
int ApplyRowLimit(CameraSettings& settings);
