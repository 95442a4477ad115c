// The "Parameter" tab without its widgets: the colour gains, frame speed, light frequency and
// image quality, and the driver's parameter teams (radios A 3, B 1, C 2, D 0).
#pragma once

#include <QString>

#include <functional>

#include "capture/camerasettings.h"
#include "platform/wintypes.h"

class CCameraParamLogic {
public:
    enum Colour { kRed, kGreen, kBlue, kColours };
    enum Radio { kTeamA, kTeamB, kTeamC, kTeamD };
    static constexpr int kTeamOfRadio[4] = {3, 1, 2, 0};

    struct Gain {
        bool enabled = false;
        int min = 0;
        int max = 0;
        int pos = 0;
        QString text;
    };
    struct Choice {
        bool enabled = false;
        int selected = -1;  // -1: neither radio checked
    };

    std::function<LRESULT(UINT message, WPARAM wParam)> sendToFrame;

    void Load(CameraSettings* settings);
    void OnGainSlider(Colour colour, int pos);
    // A typed gain: out of range or not a number changes nothing (false).
    bool OnGainEdit(Colour colour, const QString& text);
    void OnFrameSpeed(int value);
    void OnLightFrequency(int value);
    void OnQuality(int value);
    void OnTeamRadio(Radio radio);
    void OnSave();
    void OnLoad();
    void OnStartupCheck(bool on) { startup.checked = on; }
    void Store();

    Gain gain[kColours];
    Choice speed, frequency, quality;
    int team = 0;
    struct {
        bool enabled = false;
        bool checked = false;
    } startup;

    static int RadioOfTeam(int team);

private:
    void SendGains();
    CameraParamRange& Range(Colour colour) const;

    CameraSettings* m_s = nullptr;
};
