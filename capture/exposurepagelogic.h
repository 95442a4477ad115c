// The "Main" tab of the camera settings dialog without its widgets: auto exposure, the
// auto-exposure target, the exposure time and the analog gain, and the white and black balance
// buttons. One class serves both pages: the long-exposure page moves its slider over table
// positions, applies the typed time only on "Update time", and keeps the target usable while
// auto exposure is off; the normal page sends every exposure change to the frame at once.
// Setting the shown values never calls the hub; each handler does, at once.
#pragma once

#include <QString>

#include <functional>

#include "capture/camerasettings.h"
#include "platform/wintypes.h"

class CExposurePageLogic {
public:
    enum Kind { kExposurePage, kExposureGainPage };

    struct Slider {
        bool enabled = false;
        int min = 0;
        int max = 0;
        int pos = 0;
    };

    explicit CExposurePageLogic(Kind kind) : m_kind(kind) {}

    Kind GetKind() const { return m_kind; }
    // Messages to the dialog (white and black balance) and to the frame (exposure, re-apply).
    std::function<LRESULT(UINT message, WPARAM wParam)> sendToDialog;
    std::function<LRESULT(UINT message, WPARAM wParam)> sendToFrame;

    void Load(CameraSettings* settings);
    void Refresh();
    void Store();

    void OnManual();
    void OnAuto();
    void OnTargetSlider(int pos);
    void OnExposureSlider(int pos);
    // The time control's change notification with its current time.
    void OnTimeChange(DWORD ms);
    void OnSetTime(DWORD timeControlMs);  // button 1118, exposure page only
    void OnGainSlider(int pos);
    void OnWhiteBalance();
    void OnBlackBalance();
    void OnDefault();

    // What the widgets show.
    bool radiosEnabled = false;
    bool autoOn = false;
    Slider target, exposure, gain;
    bool timeEnabled = false;
    int maxMinutes = 0, maxSeconds = 0, maxMilliseconds = 0;
    DWORD timeMs = 0;
    int gainTicks = 0;
    QString isoText;
    bool whiteBalanceEnabled = false;
    bool blackBalanceEnabled = false;
    bool setTimeEnabled = false;   // exposure page
    bool editMode = false;         // exposure page: the typed time is being edited
    int setTimeStringId = 61449;   // "Set time" / "Update time"

    CameraSettings* Settings() const { return m_s; }

private:
    bool IsLongPage() const { return m_kind == kExposurePage; }
    DWORD TimeForPos(int pos) const;
    void SendExposure(int pos);
    void UpdateEnables();

    Kind m_kind;
    CameraSettings* m_s = nullptr;
    int m_lastSent = 0;
};

// Clamp that tolerates a reversed range (the minimum wins, as the slider's SetPos does).
int ClampToRange(int value, int minimum, int maximum);
