// The GUI the hub reaches: the hub links no GUI toolkit, so the program hands it small
// interfaces behind the window handles of the C functions, and may supply a message-box
// function. Tests implement the same interfaces directly.
#pragma once

#include <cstddef>

#include "vekcamera/VekCamera.h"

// The combo box of VekCamera_Registerpixel: the add-string and set-selection messages.
class IHubComboBox {
public:
    virtual int AddString(const char* text) = 0;
    virtual int SetCurSel(int index) = 0;

protected:
    ~IHubComboBox() = default;
};

// The display window of the video-device path (camera id 0): the hub places its video in the
// window's client area and hands it every frame while the video is shown.
class IHubVideoWindow {
public:
    virtual void GetClientSize(int* width, int* height) = 0;
    // Frames are bottom-up 24-bit blue-green-red, stride bytes a row (width × 3 rounded up to
    // a multiple of 4, as in a bitmap); called on the device's streaming thread, so the window
    // copies and repaints on its own thread.
    virtual void PresentFrame(const BYTE* bgr24, int width, int height, size_t stride) = 0;
    // Video placed at (x, y, width, height) of the client area and shown, or detached and hidden.
    virtual void PlaceVideo(int x, int y, int width, int height, bool visible) = 0;

protected:
    ~IHubVideoWindow() = default;
};

inline HWND HubComboBoxHandle(IHubComboBox* combo) { return reinterpret_cast<HWND>(combo); }
inline HWND HubVideoWindowHandle(IHubVideoWindow* window) { return reinterpret_cast<HWND>(window); }
inline IHubComboBox* HubComboBoxFromHandle(HWND handle) { return reinterpret_cast<IHubComboBox*>(handle); }
inline IHubVideoWindow* HubVideoWindowFromHandle(HWND handle) { return reinterpret_cast<IHubVideoWindow*>(handle); }

extern "C" {
// The program that loads the hub defines this (and exports it from its executable) to show the
// hub's message boxes; without it the texts go to the debug output.
__attribute__((weak)) void VekHostMessageBox(const char* text, const char* caption);
}

// Shows one of the hub's message boxes through the host, or writes it to the debug output.
void HubMessageBox(const char* text);
