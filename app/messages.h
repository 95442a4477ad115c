// The system's private window messages: one name, one value, one meaning everywhere.
#pragma once

#include "platform/wintypes.h"

constexpr UINT WM_IMAGE_OP_DONE = WM_USER + 1;
constexpr UINT WM_IMAGE_OP_PROGRESS = WM_USER + 2;
constexpr UINT WM_CAMERA_ARRIVED = WM_USER + 246;
constexpr UINT WM_CAMERA_REMOVED = WM_USER + 247;
constexpr UINT WM_CAMERA_FILESAVED = WM_USER + 280;
constexpr UINT WM_CAMERA_CREATEFRAME = WM_USER + 289;

// Framework messages the bridge carries as well.
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_COMMAND = 0x0111;
