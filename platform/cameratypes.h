// The handle and callback types the camera libraries' C interfaces share: the hub's exports and
// the functions it imports from the model drivers.
#pragma once

#include "platform/wintypes.h"

#ifndef QUILLORY_HWND_DEFINED
#define QUILLORY_HWND_DEFINED
// An opaque window handle; the hub never looks inside the display and notify windows it hands
// to a driver.
typedef struct HWND__* HWND;
#endif

#ifndef QUILLORY_FRAMECALLBACK_DEFINED
#define QUILLORY_FRAMECALLBACK_DEFINED
// Receives each processed 24-bit frame (bottom-up rows, blue-green-red); the result is ignored.
typedef int (*FrameCallback)(BYTE* frame);
#endif
