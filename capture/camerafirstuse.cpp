#include "capture/camerafirstuse.h"

#include <cstdio>
#include <cstdlib>

#include "platform/inifile.h"

namespace {

bool HasFirstUseKey(int id) {
    for (int v : {1, 3, 4, 8, 10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 25, 26})
        if (v == id)
            return true;
    return id >= 30 && id <= 38;
}

}  // namespace

std::string OstrelIniPath() { return ConfigHome() + "/OSTREL/OSTREL.ini"; }

std::string FirstUseKey(int cameraId) {
    if (!HasFirstUseKey(cameraId))
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
