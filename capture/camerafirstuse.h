// The first-use check of a camera model, kept in OSTREL/OSTREL.ini under the config folder.
#pragma once

#include <string>

// $XDG_CONFIG_HOME/OSTREL/OSTREL.ini (default ~/.config).
std::string OstrelIniPath();
// Key of the model in section "CAMERA": "CAMERA_LUMO01" ..., else "CAMERA_UNKNOW".
std::string FirstUseKey(int cameraId);
// Reads the model's key (default 1). When it is 1, writes "0" to it and returns 1; any other
// value returns 0.
int IsFirstCameraUse(int cameraId);
