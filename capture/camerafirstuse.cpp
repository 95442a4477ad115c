#include "capture/camerafirstuse.h"

#include <cstdio>
#include <cstdlib>

#include "capture/cameramodeltraits.h"
#include "platform/inifile.h"

std::string OstrelIniPath() { return ConfigHome() + "/OSTREL/OSTREL.ini"; }

std::string FirstUseKey(int cameraId) {
    if (!CameraModelTraits::Of(cameraId).firstUseKey)
        return "CAMERA_UNKNOW";
    char key[24];
    std::snprintf(key, sizeof key, "CAMERA_LUMO%02d", cameraId);
    return key;
}

int IsFirstCameraUse(int cameraId) {
    IniFile ini(OstrelIniPath());
    ini.Load();
    const std::string key = FirstUseKey(cameraId);
    // The profile call's integer reading: leading digits, default 1 when the key is missing.
    int value = 1;
    std::string text;
    if (ini.GetValue("CAMERA", key, text))
        value = std::atoi(text.c_str());
    if (value != 1)
        return 0;
    ini.SetValue("CAMERA", key, "0");
    ini.Save();
    return 1;
}
