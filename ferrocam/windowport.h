// How the driver reaches windows: whether a handle still names a window, posting a message to
// it, and drawing a 24-bit bottom-up frame stretched to its client area. The program that owns
// the windows installs these; without them the engine draws nothing and posts nothing.
#pragma once

#include "ferrocam/ferrocam.h"
#include "platform/wintypes.h"

struct FerroWindowPort {
    bool (*isWindow)(HWND window);
    void (*postMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void (*drawFrame)(HWND window, const BITMAPINFOHEADER& header, const BYTE* pixels);
};

// nullptr removes the port. The port must outlive its use by the engine threads.
void SetFerroWindowPort(const FerroWindowPort* port);
const FerroWindowPort* GetFerroWindowPort();
